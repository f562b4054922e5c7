// How our hosts and their tests name what a plug-in passed: a float by its
// bit pattern, a bitmap by its file name.
#pragma once

#include <stdint.h>
#include <string.h>

#include <string>

inline uint32_t FloatBits(float value) {
  uint32_t bits;
  memcpy(&bits, &value, sizeof bits);
  return bits;
}

// The part of a path after its last separator (either kind).
inline std::string FileNameOf(const std::string &path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}
