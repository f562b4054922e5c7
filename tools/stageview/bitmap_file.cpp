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

}  // namespace

bool ReadBitmapFile(const char *path, BitmapPixels &bitmap, std::string &why) {
  std::vector<uint8_t> file;
  if (!ReadWholeFile(path, file, why)) return false;
  const size_t size = file.size();
  if (size < 14 + 12) return Fail(why, "cut short: no bitmap headers");
  if (file[0] != 'B' || file[1] != 'M') return Fail(why, "not a BMP file");
  const uint32_t pixelOffset = Read32(file, 10);
  const uint32_t headerSize = Read32(file, 14);
  if (headerSize != 12 && headerSize != 40 && headerSize != 52 &&
      headerSize != 56 && headerSize != 108 && headerSize != 124)
    return Fail(why, "unknown header size " + std::to_string(headerSize));
  if (14 + headerSize > size) return Fail(why, "cut short inside the header");

  int64_t width, height;
  int planes, bits;
  uint32_t compression = BI_RGB, coloursUsed = 0;
  if (headerSize == 12) {
    width = Read16(file, 18);
    height = int16_t(Read16(file, 20));
    planes = Read16(file, 22);
    bits = Read16(file, 24);
  } else {
    width = int32_t(Read32(file, 18));
    height = int32_t(Read32(file, 22));
    planes = Read16(file, 26);
    bits = Read16(file, 28);
    compression = Read32(file, 30);
    coloursUsed = Read32(file, 46);
  }
  const bool topDown = height < 0;
  const int64_t rows = topDown ? -height : height;
  if (width <= 0 || rows == 0)
    return Fail(
        why, "size " + std::to_string(width) + " x " + std::to_string(height));
  if (width > kMaxBitmapSide || rows > kMaxBitmapSide)
    return Fail(why, "larger than 16384 pixels a side");
  if (width * rows > kMaxBitmapPixels)
    return Fail(why, "more than 32 Mi pixels");
  if (planes != 1) return Fail(why, "planes " + std::to_string(planes));
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 &&
      bits != 32)
    return Fail(why, "unsupported bit depth " + std::to_string(bits));
  const bool rle = compression == BI_RLE8 || compression == BI_RLE4;
  if (!(compression == BI_RGB || (compression == BI_RLE8 && bits == 8) ||
        (compression == BI_RLE4 && bits == 4) ||
        (compression == BI_BITFIELDS && (bits == 16 || bits == 32))))
    return Fail(why, "unsupported compression " + std::to_string(compression) +
                         " at " + std::to_string(bits) + " bits");
  if (rle && topDown) return Fail(why, "RLE rows must be bottom-up");

  // The colour table (or the three masks of a 40-byte header) follows.
  const size_t entry = headerSize == 12 ? 3 : 4;
  size_t colours = 0;
  if (bits <= 8) {
    size_t most = size_t(1) << bits;
    if (coloursUsed > most)
      return Fail(why, std::to_string(coloursUsed) + " colours at " +
                           std::to_string(bits) + " bits");
    colours = coloursUsed ? coloursUsed : most;
  }
  size_t masks = compression == BI_BITFIELDS && headerSize == 40 ? 12 : 0;
  const size_t tableEnd = 14 + headerSize + masks + colours * entry;
  if (tableEnd > size) return Fail(why, "cut short inside the colour table");
  if (pixelOffset < tableEnd || pixelOffset >= size)
    return Fail(why, "pixel offset " + std::to_string(pixelOffset) +
                         " outside the file");
  const size_t available = size - pixelOffset;
  const size_t stride = ((size_t(width) * bits + 31) / 32) * 4;
  if (!rle && stride * size_t(rows) > available)
    return Fail(why, "cut short: " + std::to_string(available) + " of " +
                         std::to_string(stride * size_t(rows)) +
                         " pixel bytes");

  // A copy of the headers for the platform, with the data size it may
  // read set to what the file really holds.
  std::vector<uint8_t> info(file.begin() + 14, file.begin() + tableEnd);
  if (headerSize != 12) {
    uint32_t sizeImage = uint32_t(rle ? available : stride * size_t(rows));
    memcpy(&info[20], &sizeImage, 4);
  }

  try {
    bitmap.pixels.assign(size_t(width * rows), 0);
  } catch (const std::bad_alloc &) {
    return Fail(why, "no memory for its pixels");
  }
  bitmap.width = int(width);
  bitmap.height = int(rows);
  bitmap.bitsPerPixel = bits;

  BITMAPINFO target = {};
  target.bmiHeader.biSize = sizeof target.bmiHeader;
  target.bmiHeader.biWidth = int(width);
  target.bmiHeader.biHeight = -int(rows);  // top-down, like the frame
  target.bmiHeader.biPlanes = 1;
  target.bmiHeader.biBitCount = 32;
  target.bmiHeader.biCompression = BI_RGB;
  void *targetBits = nullptr;
  HDC screen = GetDC(NULL);
  HBITMAP section =
      CreateDIBSection(screen, &target, DIB_RGB_COLORS, &targetBits, NULL, 0);
  int converted =
      section ? SetDIBits(
                    screen, section, 0, UINT(rows), file.data() + pixelOffset,
                    reinterpret_cast<BITMAPINFO *>(info.data()), DIB_RGB_COLORS)
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
