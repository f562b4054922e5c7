// Helpers both stage plug-ins share: float constants given by their bit
// patterns, and the float-to-integer conversion of surface sizes.
#pragma once

#include <stdint.h>

// A float32 constant spelled by its bit pattern, so that the value used is
// exactly the one documented, not whatever a decimal literal rounds to.
constexpr float FloatFromBits(uint32_t bits) {
  return __builtin_bit_cast(float, bits);
}

// tan(40 * 3.1415926 / 180) in IEEE double: the angle is the double
// 0x3FE657184482875E. Kept as a constant so every frame, every host and
// every C runtime sees the same value; a test checks it against tan().
constexpr double tangentOfAngle = 0.83909961088356157;
constexpr uint64_t angleBits = 0x3FE657184482875EULL;

// Truncates toward zero like a C cast, but defined for every input: NaN
// gives 0 and values outside the int32 range saturate.
inline int32_t TruncateToInt32(float value) {
  if (value != value) return 0;
  if (value >= 2147483648.0f) return INT32_MAX;
  if (value <= -2147483648.0f) return INT32_MIN;
  return static_cast<int32_t>(value);
}
