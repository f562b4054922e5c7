// The host's bitmap reader: every depth and row order in its own colours,
// and damaged files refused, never a crash (a bounded fuzz over mutations).
#include "bitmap_file.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "test_files.h"

namespace {

void Put32(Bytes &b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}
void Put16(Bytes &b, size_t at, uint16_t v) {
  b[at] = uint8_t(v), b[at + 1] = uint8_t(v >> 8);
}

// A 2 x 2 picture: red, green on the top row; blue, white below.
const uint32_t kPicture[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};

// A BMP of that picture with a 40-byte header: `bits` 1, 4, 8 (palette of
// the four colours, index = position), 16 (555), 24 or 32; top-down when
// asked; RLE8 when asked (8 bits only).
Bytes MakeBmp(int bits, bool topDown, bool rle8 = false) {
  const int w = 2, h = 2;
  size_t colours = bits <= 8 ? (size_t(1) << bits) : 0;
  if (colours > 4) colours = 4;
  Bytes pixels;
  size_t stride = ((size_t(w) * bits + 31) / 32) * 4;
  for (int fileRow = 0; fileRow < h; ++fileRow) {
    int row = topDown ? fileRow : h - 1 - fileRow;  // picture row
    if (rle8) {
      pixels.insert(pixels.end(),
                    {1, uint8_t(row * 2), 1, uint8_t(row * 2 + 1), 0, 0});
      continue;
    }
    Bytes line(stride, 0);
    for (int x = 0; x < w; ++x) {
      int index = row * 2 + x;
      uint32_t c = kPicture[index];
      uint8_t r = c >> 16, g = c >> 8, b = uint8_t(c);
      if (bits == 1) line[0] |= uint8_t((index & 1) << (7 - x));
      if (bits == 4) line[0] |= uint8_t(index << (x ? 0 : 4));
      if (bits == 8) line[x] = uint8_t(index);
      if (bits == 16)
        Put16(line, x * 2, uint16_t((r >> 3) << 10 | (g >> 3) << 5 | b >> 3));
      if (bits >= 24) {
        size_t at = size_t(x) * (bits / 8);
        line[at] = b, line[at + 1] = g, line[at + 2] = r;
      }
    }
    for (uint8_t byte : line) pixels.push_back(byte);
  }
  if (rle8) pixels.insert(pixels.end(), {0, 1});
  size_t offset = 14 + 40 + colours * 4;
  Bytes file(offset, 0);
  file[0] = 'B', file[1] = 'M';
  Put32(file, 2, uint32_t(offset + pixels.size()));
  Put32(file, 10, uint32_t(offset));
  Put32(file, 14, 40);
  Put32(file, 18, w);
  Put32(file, 22, uint32_t(topDown ? -h : h));
  Put16(file, 26, 1);
  Put16(file, 28, uint16_t(bits));
  Put32(file, 30, rle8 ? BI_RLE8 : BI_RGB);
  Put32(file, 34, uint32_t(pixels.size()));
  Put32(file, 46, uint32_t(colours));
  for (size_t i = 0; i < colours; ++i) Put32(file, 54 + i * 4, kPicture[i]);
  file.resize(offset + pixels.size());
  std::copy(pixels.begin(), pixels.end(), file.begin() + offset);
  return file;
}

// A 2 x 2 8-bit BMP of kPicture (pixel i has index i) with any header: 12
// bytes (OS/2 1.x: 16-bit sizes, 3-byte colours), 16 to 64 (OS/2 2.x, the
// fields its size leaves out absent) or a Windows size. `tableEntries`
// colours are written (kPicture's four, then grey), `coloursUsed` goes in
// the header when the header holds that field, and the pixels follow the
// table directly.
Bytes MakeIndexedBmp(uint32_t headerSize, size_t tableEntries,
                     uint32_t coloursUsed = 0,
                     const uint8_t (&indices)[4] = {0, 1, 2, 3}) {
  const size_t entry = headerSize == 12 ? 3 : 4;
  const size_t offset = 14 + headerSize + tableEntries * entry;
  Bytes file(offset + 8, 0);
  file[0] = 'B', file[1] = 'M';
  Put32(file, 2, uint32_t(file.size()));
  Put32(file, 10, uint32_t(offset));
  Put32(file, 14, headerSize);
  if (headerSize == 12) {
    Put16(file, 18, 2), Put16(file, 20, 2), Put16(file, 22, 1);
    Put16(file, 24, 8);
  } else {
    Put32(file, 18, 2), Put32(file, 22, 2), Put16(file, 26, 1);
    Put16(file, 28, 8);
    if (headerSize >= 36) Put32(file, 46, coloursUsed);
  }
  for (size_t i = 0; i < tableEntries; ++i) {
    uint32_t c = i < 4 ? kPicture[i] : 0x808080;
    file[14 + headerSize + i * entry] = uint8_t(c);  // blue, green, red
    file[14 + headerSize + i * entry + 1] = uint8_t(c >> 8);
    file[14 + headerSize + i * entry + 2] = uint8_t(c >> 16);
  }
  // Bottom-up rows of 4 bytes: the picture's lower row first.
  file[offset] = indices[2], file[offset + 1] = indices[3];
  file[offset + 4] = indices[0], file[offset + 5] = indices[1];
  return file;
}

struct Case {
  const char *name;
  Bytes bytes;
};

std::vector<Case> Seeds() {
  return {
      {"1-bit", MakeBmp(1, false)},
      {"4-bit", MakeBmp(4, false)},
      {"8-bit", MakeBmp(8, false)},
      {"8-bit top-down", MakeBmp(8, true)},
      {"16-bit", MakeBmp(16, false)},
      {"24-bit", MakeBmp(24, false)},
      {"24-bit top-down", MakeBmp(24, true)},
      {"32-bit", MakeBmp(32, false)},
      {"RLE8", MakeBmp(8, false, true)},
      {"OS/2 1.x 8-bit", MakeIndexedBmp(12, 256)},
      {"OS/2 2.x 16-byte header, short palette", MakeIndexedBmp(16, 4)},
      {"OS/2 2.x 64-byte header, 4 colours used", MakeIndexedBmp(64, 4, 4)}};
}

bool Read(TempFolder &folder, const Bytes &bytes, BitmapPixels &bitmap,
          std::string &why) {
  std::string path = folder.Join("test.bmp");
  WriteBytes(path, bytes);
  return ReadBitmapFile(path.c_str(), bitmap, why);
}

TEST(BitmapFile, EveryDepthAndRowOrderInItsOwnColours) {
  TempFolder folder;
  for (const Case &c : Seeds()) {
    SCOPED_TRACE(c.name);
    BitmapPixels bitmap;
    std::string why;
    ASSERT_TRUE(Read(folder, c.bytes, bitmap, why)) << why;
    ASSERT_EQ(bitmap.width, 2);
    ASSERT_EQ(bitmap.height, 2);
    // One bit holds two palette entries; 16 bits keep 5 of each 8.
    std::string name = c.name;
    uint32_t mask = name == "16-bit" ? 0xF8F8F8 : 0xFFFFFF;
    for (int i = 0; i < 4; ++i) {
      uint32_t expected = name == "1-bit" ? kPicture[i & 1] : kPicture[i];
      EXPECT_EQ(bitmap.pixels[i] & mask, expected & mask) << "pixel " << i;
    }
  }
}

TEST(BitmapFile, DamagedFilesAreRefusedWithAReason) {
  TempFolder folder;
  Bytes good = MakeBmp(24, false);
  struct Damage {
    const char *name;
    Bytes bytes;
  };
  Bytes badOffset = good, huge = good, negativeWidth = good, zero = good;
  Put32(badOffset, 10, 100000);
  Put32(huge, 18, 20000), Put32(huge, 22, 20000);
  Put32(negativeWidth, 18, uint32_t(-5));
  Put32(zero, 18, 0), Put32(zero, 22, 0);
  Damage damages[] = {
      {"empty", {}},
      {"header only", Bytes(good.begin(), good.begin() + 54)},
      {"cut short", Bytes(good.begin(), good.end() - 3)},
      {"PNG renamed",
       {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 13, 'I', 'H', 'D',
        'R',  0,   0,   0,   1,  0,  0,  0,  1, 8, 2, 0,  0,   0}},
      {"pixel offset past the end", badOffset},
      {"20000 x 20000", huge},
      {"negative width", negativeWidth},
      {"0 x 0", zero},
  };
  for (const Damage &d : damages) {
    BitmapPixels bitmap;
    std::string why;
    EXPECT_FALSE(Read(folder, d.bytes, bitmap, why)) << d.name;
    EXPECT_FALSE(why.empty()) << d.name;
  }
}

// OS/2 2.x headers of every length and palettes shorter than the depth
// allows decode to the same picture as the plain OS/2 1.x file with a full
// palette.
TEST(BitmapFile, Os2HeadersAndShortPalettesGiveThePlainFilesPicture) {
  TempFolder folder;
  BitmapPixels plain;
  std::string why;
  ASSERT_TRUE(Read(folder, MakeIndexedBmp(12, 256), plain, why)) << why;
  ASSERT_EQ(plain.pixels, std::vector<uint32_t>(kPicture, kPicture + 4));
  const Case cases[] = {
      {"OS/2 1.x, 4 colours before the pixels", MakeIndexedBmp(12, 4)},
      {"OS/2 2.x 16-byte, full palette", MakeIndexedBmp(16, 256)},
      {"OS/2 2.x 16-byte, 4 colours before the pixels", MakeIndexedBmp(16, 4)},
      {"OS/2 2.x 20-byte, 5 colours before the pixels", MakeIndexedBmp(20, 5)},
      {"OS/2 2.x 36-byte, 4 colours used", MakeIndexedBmp(36, 4, 4)},
      {"OS/2 2.x 64-byte, full palette", MakeIndexedBmp(64, 256)},
      {"OS/2 2.x 64-byte, 4 colours used", MakeIndexedBmp(64, 4, 4)},
      {"OS/2 2.x 64-byte, 4 colours before the pixels", MakeIndexedBmp(64, 4)},
      {"Windows 40-byte, 4 colours before the pixels", MakeIndexedBmp(40, 4)},
      {"Windows 124-byte, 4 colours used", MakeIndexedBmp(124, 4, 4)},
  };
  for (const Case &c : cases) {
    BitmapPixels bitmap;
    EXPECT_TRUE(Read(folder, c.bytes, bitmap, why)) << c.name << ": " << why;
    EXPECT_EQ(bitmap.pixels, plain.pixels) << c.name;
  }
}

// A pixel whose index lies past a short palette is black.
TEST(BitmapFile, IndicesPastAShortPaletteAreBlack) {
  TempFolder folder;
  const Case cases[] = {
      {"OS/2 1.x, 2 colours", MakeIndexedBmp(12, 2, 0, {0, 1, 2, 255})},
      {"OS/2 2.x, 2 colours used", MakeIndexedBmp(64, 2, 2, {0, 1, 2, 255})},
      {"Windows, 2 colours", MakeIndexedBmp(40, 2, 0, {0, 1, 2, 255})},
  };
  for (const Case &c : cases) {
    BitmapPixels bitmap;
    std::string why;
    ASSERT_TRUE(Read(folder, c.bytes, bitmap, why)) << c.name << ": " << why;
    EXPECT_EQ(bitmap.pixels,
              (std::vector<uint32_t>{kPicture[0], kPicture[1], 0, 0}))
        << c.name;
  }
}

// Each refusal names its own cause.
TEST(BitmapFile, RefusalsNameTheirTrueReason) {
  TempFolder folder;
  Bytes insideHeaders = MakeIndexedBmp(40, 4), pastEnd = insideHeaders;
  Put32(insideHeaders, 10, 50);
  Put32(pastEnd, 10, uint32_t(pastEnd.size()));
  Bytes tooManyUsed = MakeIndexedBmp(64, 4, 4), noTable = tooManyUsed;
  Put32(tooManyUsed, 46, 256);
  Put32(noTable, 46, 0), Put32(noTable, 10, 14 + 64);
  Bytes huffman = MakeIndexedBmp(64, 4, 4), rle24 = huffman;
  Put32(huffman, 30, 3), Put32(rle24, 30, 4);
  Bytes size65 = MakeIndexedBmp(64, 4, 4), size14 = size65;
  Put32(size65, 14, 65), Put32(size14, 14, 14);
  const struct {
    const char *name;
    Bytes bytes;
    const char *reason;
  } cases[] = {
      {"offset inside the headers", insideHeaders,
       "pixel offset 50 inside the headers (they end at 54)"},
      {"offset at the end", pastEnd,
       "pixel offset 78 at or past the end of the file (78 bytes)"},
      {"more colours used than fit", tooManyUsed,
       "a table of 256 colours does not fit before the pixel offset 94 "
       "(room for 4)"},
      {"no room for a colour", noTable,
       "no colour table: the pixel offset 78 is where the headers end"},
      {"OS/2 Huffman", huffman, "OS/2 Huffman 1D compression is not read"},
      {"OS/2 RLE24", rle24, "OS/2 RLE24 compression is not read"},
      {"65-byte header", size65, "unknown header size 65"},
      {"14-byte header", size14, "unknown header size 14"},
  };
  for (const auto &c : cases) {
    BitmapPixels bitmap;
    std::string why;
    EXPECT_FALSE(Read(folder, c.bytes, bitmap, why)) << c.name;
    EXPECT_EQ(why, c.reason) << c.name;
  }
}

// Mutated copies of every seed: random bytes and fields changed, the file
// cut at random places. Whatever the reader answers, it must answer. At
// most 2000 files or 30 s.
TEST(BitmapFile, FuzzedFilesNeverCrashTheReader) {
  TempFolder folder;
  std::vector<Case> seeds = Seeds();
  uint32_t random = 20261209;
  auto next = [&random] { return random = random * 1664525u + 1013904223u; };
  const ULONGLONG deadline = GetTickCount64() + 30000;
  int tried = 0, accepted = 0;
  for (; tried < 2000 && GetTickCount64() < deadline; ++tried) {
    Bytes bytes = seeds[next() % seeds.size()].bytes;
    int changes = 1 + next() % 4;
    for (int i = 0; i < changes && !bytes.empty(); ++i) {
      uint32_t kind = next() % 4;
      size_t at = next() % std::min<size_t>(bytes.size(), 64);
      if (kind == 0) bytes[at] = uint8_t(next());
      if (kind == 1 && at + 4 <= bytes.size()) Put32(bytes, at, next());
      if (kind == 2) bytes.resize(next() % bytes.size());
      if (kind == 3 && at + 4 <= bytes.size())
        Put32(bytes, at, uint32_t(int32_t(next() % 65536) - 32768));
    }
    BitmapPixels bitmap;
    std::string why;
    if (Read(folder, bytes, bitmap, why)) {
      ++accepted;
      ASSERT_GT(bitmap.width, 0);
      ASSERT_LE(bitmap.width, kMaxBitmapSide);
      ASSERT_LE(bitmap.height, kMaxBitmapSide);
      ASSERT_EQ(bitmap.pixels.size(), size_t(bitmap.width) * bitmap.height);
    }
  }
  EXPECT_GT(tried, 500) << "too few files in the time";
  RecordProperty("accepted", accepted);
}

}  // namespace
