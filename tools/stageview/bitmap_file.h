// Reading a stage author's bitmap safely. The platform's own loader faults
// on some damaged files (cut short after the headers, a pixel offset past
// the end) and draws top-down files black, so the file is checked here,
// field by field against its real size and against the limits below, and
// only then handed to the platform's DIB conversion, which decodes every
// depth, top-down rows and RLE.
#pragma once

#include <stdint.h>
#include <windows.h>

#include <string>
#include <vector>

const int kMaxBitmapSide = 16384;           // pixels, each way
const int64_t kMaxBitmapPixels = 32 << 20;  // 32 Mi pixels (128 MiB)
const int64_t kMaxBitmapFileBytes = 256 << 20;

struct BitmapPixels {
  int width = 0, height = 0;
  int bitsPerPixel = 0;
  std::vector<uint32_t> pixels;  // 0xRRGGBB, row 0 on top
  // 32-bit files only: pixels whose alpha says they are not opaque, when
  // the file uses alpha at all (not all 0, not all opaque).
  int64_t translucentPixels = 0;
};

// Reads `path` (UTF-8) into `bitmap`. On failure returns false with `why`
// set to a short reason ("cut short: ...", "width 0", "a PNG image, not a
// BMP file: ...").
bool ReadBitmapFile(const char *path, BitmapPixels &bitmap, std::string &why);

// How GDI is told of pixels laid out as this host keeps them (32-bit
// 0xRRGGBB, row 0 on top): for a DIB section or SetDIBitsToDevice.
BITMAPINFO TopDownBitmapInfo(int width, int height);
