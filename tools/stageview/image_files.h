// stageview's images: a frame or a strip of frames side by side, as a
// 24-bit BMP or, through the platform's own codecs (the Windows Imaging
// Component), a PNG. Both are written under a temporary name and renamed
// when complete, so a failed write leaves no partial file.
#pragma once

#include <string>
#include <vector>

#include "stage_host.h"

// "bmp" or "png" from a file name's extension (any case); empty for others.
std::string ImageKind(const char *name);

// Writes the frames side by side in the kind the name asks for. On failure
// returns false with `why` set.
bool WriteFrames(const char *path, const std::vector<Frame *> &frames,
                 std::string &why);
