// The pan strip's camera range and the band that marks each frame's
// camera position (pan_strip.h).
#include "pan_strip.h"

#include <stdio.h>
#include <string.h>
#include <windows.h>

#include <cmath>

#include "bitmap_file.h"

namespace {

const int kBandRows = 18, kTrackLeft = 16, kTrackRight = 480;
const uint32_t kBandColour = 0x101010, kTrackColour = 0x808080;

typedef uint32_t BandRow[kFrameWidth];

// The band's background, the track across its middle row, and the mark.
void DrawTrackAndMark(BandRow *band, double camera, double low, double high) {
  for (int row = 0; row < kBandRows; ++row)
    for (int col = 0; col < kFrameWidth; ++col)
      band[row][col] =
          row == kBandRows / 2 && col >= kTrackLeft && col <= kTrackRight
              ? kTrackColour
              : kBandColour;
  int mark = int(std::lround(kTrackLeft + (kTrackRight - kTrackLeft) *
                                              (camera - low) / (high - low)));
  for (int row = 2; row < kBandRows - 2; ++row)
    for (int col = mark - 2; col <= mark + 2; ++col)
      band[row][col] = kPanMarkColour;
}

// The camera's value as text right of the track, drawn by GDI into a copy
// of the band and copied back.
void DrawCameraValue(BandRow *band, double camera) {
  BITMAPINFO info = TopDownBitmapInfo(kFrameWidth, kBandRows);
  void *bits = nullptr;
  HDC dc = CreateCompatibleDC(NULL);
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, NULL, 0);
  if (!bitmap) {
    DeleteDC(dc);
    return;
  }
  memcpy(bits, band, sizeof(uint32_t) * kFrameWidth * kBandRows);
  HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
  HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  char text[32];
  int length = snprintf(text, sizeof text, "camera %+.2f", camera);
  GdiFlush();
  TextOutA(dc, kTrackRight + 20, 2, text, length);
  GdiFlush();
  memcpy(band, bits, sizeof(uint32_t) * kFrameWidth * kBandRows);
  for (int row = 0; row < kBandRows; ++row)
    for (int col = 0; col < kFrameWidth; ++col) band[row][col] &= 0xFFFFFF;
  SelectObject(dc, oldFont);
  SelectObject(dc, oldBitmap);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

}  // namespace

void PanRange(const FrameRequests &layers, const View &view, double *low,
              double *high) {
  if (CameraRange(layers, view, low, high) && *high - *low >= 0.02) return;
  *low = -1, *high = 1;
}

void MarkCameraPosition(Frame &frame, double camera, double low, double high) {
  BandRow *band = &frame.pixels[kFrameHeight - kBandRows];
  DrawTrackAndMark(band, camera, low, high);
  DrawCameraValue(band, camera);
}
