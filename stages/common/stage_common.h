// What both stage plug-ins share beyond the interface header: float
// constants given by their bit patterns, the rounding F, the tangent of the
// placement angle, the float-to-integer conversion of surface sizes, and
// the path of a bitmap in the stage's directory. C++ only; not part of the
// interface that hosts build against.
#pragma once

#include <emmintrin.h>
#include <stdint.h>
#include <stdio.h>

#include "stage_plugin.h"

// A float32 constant spelled by its bit pattern, so that the value used is
// exactly the one documented, not whatever a decimal literal rounds to.
constexpr float FloatFromBits(uint32_t bits) {
  return __builtin_bit_cast(float, bits);
}

// F: a double rounded to the nearest float32 (ties to even), the one place
// where a computed value becomes float32.
inline float F(double value) { return static_cast<float>(value); }

// tan(40 * 3.1415926 / 180) in IEEE double (the angle is the double
// 0x3FE657184482875E). Kept as a constant so every frame, every host and
// every C runtime sees the same value; a test checks it against tan().
constexpr double tangentOfAngle = 0.83909961088356157;

// Truncates toward zero like a C cast, but defined for every input: NaN
// gives 0 and values outside the int32 range saturate.
inline int32_t TruncateToInt32(float value) {
  // The processor's truncation gives INT32_MIN for NaN and for everything
  // out of range; only then is there more to decide.
  int32_t truncated = _mm_cvtt_ss2si(_mm_set_ss(value));
  if (truncated != INT32_MIN) return truncated;
  if (value != value) return 0;
  return value > 0 ? INT32_MAX : INT32_MIN;
}

// The SourceRect of the whole image: {0, 0, width, height}, each size
// truncated toward zero. Written as one 16-byte store: passing the record
// by value copies it with one 16-byte load, which four 4-byte stores could
// not forward to (the processor stalls until they reach the cache).
inline SourceRect WholeImage(const Surface *surface) {
  SourceRect source;
  _mm_storeu_si128(reinterpret_cast<__m128i *>(&source),
                   _mm_setr_epi32(0, 0, TruncateToInt32(surface->width),
                                  TruncateToInt32(surface->height)));
  return source;
}

// The 256-byte path buffer of a layer's bitmap.
typedef char StagePath[256];

// Writes "DIRECTORY\FILE" into `path`. A directory too long for the buffer
// gives 0 (the layer stays absent) rather than a cut path.
inline int BuildStagePath(StagePath path, const char *directory,
                          const char *file) {
  int length = _snprintf(path, sizeof(StagePath), "%s\\%s", directory, file);
  return length >= 0 && length < static_cast<int>(sizeof(StagePath));
}
