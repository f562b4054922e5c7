// PNG output through the platform's own image codecs (the Windows Imaging
// Component), for stageview's --out NAME.png.
#pragma once

#include <stdint.h>

#include <string>

// Writes `width` x `height` pixels (0xRRGGBB, row 0 on top) as a 24-bit
// PNG. Written under a temporary name and renamed when complete. On
// failure returns false with `why` set.
bool WritePng(const char *path, const uint32_t *pixels, int width, int height,
              std::string &why);
