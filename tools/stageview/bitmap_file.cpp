// Reading a stage author's bitmap (bitmap_file.h): the layout checked
// against the file, then the pixels decoded by Windows.
#include "bitmap_file.h"

#include <stdio.h>
#include <string.h>
#include <windows.h>

#include <new>

namespace {

uint32_t Read32(const std::vector<uint8_t> &b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}
uint16_t Read16(const std::vector<uint8_t> &b, size_t at) {
  return uint16_t(b[at] | b[at + 1] << 8);
}

bool Fail(std::string &why, const std::string &reason) {
  why = reason;
  return false;
}

bool ReadWholeFile(const char *path, std::vector<uint8_t> &bytes,
                   std::string &why) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return Fail(
        why,
        error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
            ? "missing"
            : "cannot be opened (Windows error " + std::to_string(error) + ")");
  }
  LARGE_INTEGER size;
  bool ok = GetFileSizeEx(file, &size) && size.QuadPart <= kMaxBitmapFileBytes;
  if (ok) {
    bytes.resize(size_t(size.QuadPart));
    DWORD got = 0;
    ok = bytes.empty() ||
         (ReadFile(file, bytes.data(), DWORD(bytes.size()), &got, nullptr) &&
          got == bytes.size());
  }
  CloseHandle(file);
  return ok || Fail(why, "cannot be read (or larger than 256 MiB)");
}

// Where everything lies in a bitmap file: its header fields, checked
// against the file's real size and this reader's limits before anything
// is decoded.
struct BitmapLayout {
  uint32_t headerSize = 0;
  uint32_t pixelOffset = 0;
  int64_t width = 0, height = 0;  // height negative for top-down rows
  int64_t rows = 0;
  int planes = 0, bits = 0;
  uint32_t compression = BI_RGB, coloursUsed = 0;
  bool rle = false;
  size_t tableEnd = 0;    // where the headers, masks and colours end
  size_t pixelBytes = 0;  // what the platform may read from pixelOffset
};

// The signature, the header's size and its fields.
bool ReadHeaderFields(const std::vector<uint8_t> &file, BitmapLayout &layout,
                      std::string &why) {
  const size_t size = file.size();
  if (size < 14 + 12) return Fail(why, "cut short: no bitmap headers");
  if (file[0] != 'B' || file[1] != 'M') return Fail(why, "not a BMP file");
  layout.pixelOffset = Read32(file, 10);
  const uint32_t headerSize = layout.headerSize = Read32(file, 14);
  if (headerSize != 12 && headerSize != 40 && headerSize != 52 &&
      headerSize != 56 && headerSize != 108 && headerSize != 124)
    return Fail(why, "unknown header size " + std::to_string(headerSize));
  if (14 + headerSize > size) return Fail(why, "cut short inside the header");
  if (headerSize == 12) {
    layout.width = Read16(file, 18);
    layout.height = int16_t(Read16(file, 20));
    layout.planes = Read16(file, 22);
    layout.bits = Read16(file, 24);
  } else {
    layout.width = int32_t(Read32(file, 18));
    layout.height = int32_t(Read32(file, 22));
    layout.planes = Read16(file, 26);
    layout.bits = Read16(file, 28);
    layout.compression = Read32(file, 30);
    layout.coloursUsed = Read32(file, 46);
  }
  return true;
}

// The size within the limits, and a depth and compression Windows decodes.
bool CheckPixelFormat(BitmapLayout &layout, std::string &why) {
  const int64_t width = layout.width, height = layout.height;
  const int bits = layout.bits;
  const uint32_t compression = layout.compression;
  const bool topDown = height < 0;
  const int64_t rows = layout.rows = topDown ? -height : height;
  if (width <= 0 || rows == 0)
    return Fail(
        why, "size " + std::to_string(width) + " x " + std::to_string(height));
  if (width > kMaxBitmapSide || rows > kMaxBitmapSide)
    return Fail(why, "larger than 16384 pixels a side");
  if (width * rows > kMaxBitmapPixels)
    return Fail(why, "more than 32 Mi pixels");
  if (layout.planes != 1)
    return Fail(why, "planes " + std::to_string(layout.planes));
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 &&
      bits != 32)
    return Fail(why, "unsupported bit depth " + std::to_string(bits));
  const bool rle = layout.rle =
      compression == BI_RLE8 || compression == BI_RLE4;
  if (!(compression == BI_RGB || (compression == BI_RLE8 && bits == 8) ||
        (compression == BI_RLE4 && bits == 4) ||
        (compression == BI_BITFIELDS && (bits == 16 || bits == 32))))
    return Fail(why, "unsupported compression " + std::to_string(compression) +
                         " at " + std::to_string(bits) + " bits");
  if (rle && topDown) return Fail(why, "RLE rows must be bottom-up");
  return true;
}

// The colour table and the pixels within the file.
bool CheckExtent(size_t size, BitmapLayout &layout, std::string &why) {
  const int bits = layout.bits;
  // The colour table (or the three masks of a 40-byte header) follows.
  const size_t entry = layout.headerSize == 12 ? 3 : 4;
  size_t colours = 0;
  if (bits <= 8) {
    size_t most = size_t(1) << bits;
    if (layout.coloursUsed > most)
      return Fail(why, std::to_string(layout.coloursUsed) + " colours at " +
                           std::to_string(bits) + " bits");
    colours = layout.coloursUsed ? layout.coloursUsed : most;
  }
  size_t masks =
      layout.compression == BI_BITFIELDS && layout.headerSize == 40 ? 12 : 0;
  const size_t tableEnd = layout.tableEnd =
      14 + layout.headerSize + masks + colours * entry;
  if (tableEnd > size) return Fail(why, "cut short inside the colour table");
  const uint32_t pixelOffset = layout.pixelOffset;
  if (pixelOffset < tableEnd || pixelOffset >= size)
    return Fail(why, "pixel offset " + std::to_string(pixelOffset) +
                         " outside the file");
  const size_t available = size - pixelOffset;
  const size_t stride = ((size_t(layout.width) * bits + 31) / 32) * 4;
  const size_t needed = stride * size_t(layout.rows);
  if (!layout.rle && needed > available)
    return Fail(why, "cut short: " + std::to_string(available) + " of " +
                         std::to_string(needed) + " pixel bytes");
  layout.pixelBytes = layout.rle ? available : needed;
  return true;
}

bool CheckBitmapLayout(const std::vector<uint8_t> &file, BitmapLayout &layout,
                       std::string &why) {
  return ReadHeaderFields(file, layout, why) && CheckPixelFormat(layout, why) &&
         CheckExtent(file.size(), layout, why);
}

// Windows' own DIB conversion decodes the checked file into a top-down
// 32-bit DIB section.
bool DecodePixels(const std::vector<uint8_t> &file, const BitmapLayout &layout,
                  BitmapPixels &bitmap, std::string &why) {
  // A copy of the headers for the platform, with the data size it may
  // read set to what the file really holds.
  std::vector<uint8_t> info(file.begin() + 14, file.begin() + layout.tableEnd);
  if (layout.headerSize != 12) {
    uint32_t sizeImage = uint32_t(layout.pixelBytes);
    memcpy(&info[20], &sizeImage, 4);
  }
  try {
    bitmap.pixels.assign(size_t(layout.width * layout.rows), 0);
  } catch (const std::bad_alloc &) {
    return Fail(why, "no memory for its pixels");
  }
  bitmap.width = int(layout.width);
  bitmap.height = int(layout.rows);
  bitmap.bitsPerPixel = layout.bits;

  BITMAPINFO target = TopDownBitmapInfo(bitmap.width, bitmap.height);
  void *targetBits = nullptr;
  HDC screen = GetDC(NULL);
  HBITMAP section =
      CreateDIBSection(screen, &target, DIB_RGB_COLORS, &targetBits, NULL, 0);
  int converted = section
                      ? SetDIBits(screen, section, 0, UINT(layout.rows),
                                  file.data() + layout.pixelOffset,
                                  reinterpret_cast<BITMAPINFO *>(info.data()),
                                  DIB_RGB_COLORS)
                      : 0;
  ReleaseDC(NULL, screen);
  if (converted > 0) {
    GdiFlush();
    const uint32_t *from = static_cast<const uint32_t *>(targetBits);
    for (size_t i = 0; i < bitmap.pixels.size(); ++i)
      bitmap.pixels[i] = from[i] & 0xFFFFFF;  // BGRA in memory = 0xRRGGBB
  }
  if (section) DeleteObject(section);
  if (converted <= 0) {
    bitmap.pixels.clear();
    return Fail(why, "the platform could not decode its pixels");
  }
  return true;
}

}  // namespace

BITMAPINFO TopDownBitmapInfo(int width, int height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // negative: row 0 on top
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

bool ReadBitmapFile(const char *path, BitmapPixels &bitmap, std::string &why) {
  std::vector<uint8_t> file;
  BitmapLayout layout;
  return ReadWholeFile(path, file, why) &&
         CheckBitmapLayout(file, layout, why) &&
         DecodePixels(file, layout, bitmap, why);
}
