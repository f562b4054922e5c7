// Reading a stage author's bitmap (bitmap_file.h): the layout checked
// against the file, then the pixels decoded by Windows from headers
// rewritten in the one form every Windows decodes.
#include "bitmap_file.h"

#include <stdio.h>
#include <string.h>
#include <windows.h>

#include <algorithm>
#include <new>

#include "wide_text.h"

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
  HANDLE file =
      CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
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

// The three families of header: OS/2 1.x (12 bytes, 16-bit sizes, 3-byte
// colours), OS/2 2.x (16 to 64 bytes, any prefix of the 64-byte header;
// the fields it leaves out count as 0) and Windows (40, 52, 56, 108, 124
// bytes). A 40-byte OS/2 2.x header reads as a Windows one: the two agree
// on every field a 40-byte header holds.
enum class HeaderKind { kOs2Core, kOs2v2, kWindows };

// Where everything lies in a bitmap file: its header fields, checked
// against the file's real size and this reader's limits before anything
// is decoded.
struct BitmapLayout {
  HeaderKind kind = HeaderKind::kWindows;
  uint32_t headerSize = 0;
  uint32_t pixelOffset = 0;
  int64_t width = 0, height = 0;  // height negative for top-down rows
  int64_t rows = 0;
  int planes = 0, bits = 0;
  uint32_t compression = BI_RGB, coloursUsed = 0;
  bool rle = false;
  size_t tableStart = 0;  // where the headers and masks end
  size_t colours = 0;     // palette entries in the file (up to 2^bits)
  size_t pixelBytes = 0;  // what the platform may read from pixelOffset
};

// What a file that is no BMP is, when its first bytes say: an image saved
// in another format under a .bmp name is the likeliest case.
std::string NotBmp(const std::vector<uint8_t> &file) {
  const struct {
    const char *signature;
    size_t length, at;
    const char *format;
  } kinds[] = {
      {"\x89PNG\r\n\x1A\n", 8, 0, "a PNG"},
      {"\xFF\xD8\xFF", 3, 0, "a JPEG"},
      {"GIF8", 4, 0, "a GIF"},
      {"WEBP", 4, 8, "a WebP"},
      {"II*\0", 4, 0, "a TIFF"},
      {"MM\0*", 4, 0, "a TIFF"},
      {"qoif", 4, 0, "a QOI"},
  };
  for (const auto &k : kinds)
    if (file.size() >= k.at + k.length &&
        memcmp(file.data() + k.at, k.signature, k.length) == 0)
      return std::string(k.format) +
             " image, not a BMP file: save it as BMP (24-bit) under this name";
  return "not a BMP file (it does not start with \"BM\")";
}

// The signature, the header's size and its fields.
bool ReadHeaderFields(const std::vector<uint8_t> &file, BitmapLayout &layout,
                      std::string &why) {
  const size_t size = file.size();
  // Another format is named even when the file is too short to be a BMP.
  if (size >= 2 && (file[0] != 'B' || file[1] != 'M'))
    return Fail(why, NotBmp(file));
  if (size < 14 + 4) return Fail(why, "cut short: no bitmap headers");
  layout.pixelOffset = Read32(file, 10);
  const uint32_t headerSize = layout.headerSize = Read32(file, 14);
  const bool windows = headerSize == 40 || headerSize == 52 ||
                       headerSize == 56 || headerSize == 108 ||
                       headerSize == 124;
  layout.kind = headerSize == 12 ? HeaderKind::kOs2Core
                : windows        ? HeaderKind::kWindows
                                 : HeaderKind::kOs2v2;
  if (headerSize != 12 && !windows && (headerSize < 16 || headerSize > 64))
    return Fail(why, "unknown header size " + std::to_string(headerSize));
  if (14 + size_t(headerSize) > size)
    return Fail(why, "cut short inside the header");
  if (layout.kind == HeaderKind::kOs2Core) {
    layout.width = Read16(file, 18);
    layout.height = int16_t(Read16(file, 20));
    layout.planes = Read16(file, 22);
    layout.bits = Read16(file, 24);
    return true;
  }
  // The first 40 bytes of the header (of all but the shortest OS/2 2.x
  // headers), zero past the header's end.
  std::vector<uint8_t> header(40, 0);
  std::copy(file.begin() + 14,
            file.begin() + 14 + std::min<size_t>(headerSize, 40),
            header.begin());
  layout.width = int32_t(Read32(header, 4));
  layout.height = int32_t(Read32(header, 8));
  layout.planes = Read16(header, 12);
  layout.bits = Read16(header, 14);
  layout.compression = Read32(header, 16);
  layout.coloursUsed = Read32(header, 32);
  if (layout.kind == HeaderKind::kOs2v2 && layout.compression == 3)
    return Fail(why, "OS/2 Huffman 1D compression is not read");
  if (layout.kind == HeaderKind::kOs2v2 && layout.compression == 4)
    return Fail(why, "OS/2 RLE24 compression is not read");
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

// The colour table and the pixels within the file. A palette may be
// shorter than the depth allows: as the header's colour count says, or,
// without one, as many entries as fit between the headers and the pixels.
bool CheckExtent(size_t size, BitmapLayout &layout, std::string &why) {
  const int bits = layout.bits;
  const size_t masks =
      layout.compression == BI_BITFIELDS && layout.headerSize == 40 ? 12 : 0;
  const size_t tableStart = layout.tableStart =
      14 + size_t(layout.headerSize) + masks;
  const uint32_t pixelOffset = layout.pixelOffset;
  const std::string offset = "pixel offset " + std::to_string(pixelOffset);
  if (pixelOffset < tableStart)
    return Fail(why, offset + " inside the headers (they end at " +
                         std::to_string(tableStart) + ")");
  if (pixelOffset >= size)
    return Fail(why, offset + " at or past the end of the file (" +
                         std::to_string(size) + " bytes)");
  if (bits <= 8) {
    const size_t entry = layout.kind == HeaderKind::kOs2Core ? 3 : 4;
    const size_t most = size_t(1) << bits;
    const size_t room = (pixelOffset - tableStart) / entry;
    if (layout.coloursUsed > most)
      return Fail(why, std::to_string(layout.coloursUsed) + " colours at " +
                           std::to_string(bits) + " bits");
    if (layout.coloursUsed > room)
      return Fail(why, "a table of " + std::to_string(layout.coloursUsed) +
                           " colours does not fit before the " + offset +
                           " (room for " + std::to_string(room) + ")");
    layout.colours =
        layout.coloursUsed ? layout.coloursUsed : std::min(most, room);
    if (layout.colours == 0)
      return Fail(
          why, "no colour table: the " + offset + " is where the headers end");
  }
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

// What the platform is given: a Windows header (an OS/2 one rewritten as a
// 40-byte header), the masks, and for 1 to 8 bits a full table of 2^bits
// RGBQUAD colours. Entries a short palette leaves out are black, so a pixel
// that indexes past the file's palette is drawn black.
std::vector<uint8_t> PlatformInfo(const std::vector<uint8_t> &file,
                                  const BitmapLayout &layout) {
  std::vector<uint8_t> info;
  if (layout.kind == HeaderKind::kWindows) {
    info.assign(file.begin() + 14, file.begin() + layout.tableStart);
  } else {
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = LONG(layout.width);
    header.biHeight = LONG(layout.height);
    header.biPlanes = 1;
    header.biBitCount = WORD(layout.bits);
    header.biCompression = layout.compression;
    const uint8_t *bytes = reinterpret_cast<const uint8_t *>(&header);
    info.assign(bytes, bytes + sizeof header);
  }
  uint32_t sizeImage = uint32_t(layout.pixelBytes), coloursUsed = 0;
  memcpy(&info[20], &sizeImage, 4);
  memcpy(&info[32], &coloursUsed, 4);  // 0: the full 2^bits table below
  if (layout.bits <= 8) {
    const size_t entry = layout.kind == HeaderKind::kOs2Core ? 3 : 4;
    std::vector<uint8_t> table((size_t(1) << layout.bits) * 4, 0);
    for (size_t i = 0; i < layout.colours; ++i)
      memcpy(&table[i * 4], &file[layout.tableStart + i * entry], 3);
    info.insert(info.end(), table.begin(), table.end());
  }
  return info;
}

// Windows' own DIB conversion decodes the checked file into a top-down
// 32-bit DIB section.
bool DecodePixels(const std::vector<uint8_t> &file, const BitmapLayout &layout,
                  BitmapPixels &bitmap, std::string &why) {
  std::vector<uint8_t> info = PlatformInfo(file, layout);
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

// A 32-bit file's alpha: the header's alpha mask (headers of 56 bytes or
// more with bit fields) or the fourth byte of each pixel. Used when the
// values are not all 0 (the usual unused byte) and not all opaque: the
// count of pixels that are not opaque; otherwise 0.
int64_t TranslucentPixels(const std::vector<uint8_t> &file,
                          const BitmapLayout &layout) {
  if (layout.bits != 32) return 0;
  uint32_t mask = 0xFF000000;
  if (layout.compression == BI_BITFIELDS)
    mask = layout.headerSize >= 56 ? Read32(file, 14 + 52) : 0;
  if (!mask) return 0;
  int shift = 0;
  while (!((mask >> shift) & 1)) ++shift;
  const uint32_t opaque = mask >> shift;
  const size_t count = size_t(layout.width * layout.rows);
  int64_t notOpaque = 0, zero = 0;
  for (size_t i = 0; i < count; ++i) {
    uint32_t alpha = (Read32(file, layout.pixelOffset + i * 4) & mask) >> shift;
    notOpaque += alpha != opaque;
    zero += alpha == 0;
  }
  return zero == int64_t(count) ? 0 : notOpaque;
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
  if (!(ReadWholeFile(path, file, why) &&
        CheckBitmapLayout(file, layout, why) &&
        DecodePixels(file, layout, bitmap, why)))
    return false;
  bitmap.translucentPixels = TranslucentPixels(file, layout);
  return true;
}
