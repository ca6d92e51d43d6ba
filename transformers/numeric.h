// SPDX-License-Identifier: MIT
// Number conversions shared by the conversions, each defined for every input (the plain C++
// casts they stand for are undefined outside the target's range). Internal to the library.
#pragma once

#include <cmath>
#include <cstdint>

namespace zel {

// The low 32 bits of `n` as a signed 32-bit number: 32-bit arithmetic that wraps.
inline int32_t low32(uint64_t n) {
  return static_cast<int32_t>(static_cast<uint32_t>(n));
}

// `x` truncated toward zero to a 64-bit integer; NaN gives 0, values beyond the range saturate.
inline int64_t truncateToLong(double x) {
  if (std::isnan(x))
    return 0;
  if (x >= 9223372036854775807.0)
    return INT64_MAX;
  if (x <= -9223372036854775808.0)
    return INT64_MIN;
  return static_cast<int64_t>(x);
}

// `x` rounded to the nearest integer, halves to the even neighbour (100.5 gives 100, 101.5 gives
// 102), with the limits of truncateToLong. Assumes the default rounding mode, which nothing in
// this program changes.
inline int64_t roundToLong(double x) {
  return truncateToLong(std::nearbyint(x));
}

}  // namespace zel
