// SPDX-License-Identifier: MIT
#include "transformers/colour.h"

#include <algorithm>

#include "transformers/numeric.h"

namespace zel {
namespace {

constexpr double kPi = 3.141592653589793;

}  // namespace

double DegreesToRadians(double degrees) {
  return degrees * kPi / 180;
}

double RadiansToDegrees(double radians) {
  return radians * 180 / kPi;
}

void RGBToHSV(float* hue, float* saturation, float* value, float red, float green, float blue) {
  if (red == green && red == blue) {
    *hue = 0;
    *saturation = 0;
    *value = red;
    return;
  }
  const float largest = std::max({red, green, blue});
  const float smallest = std::min({red, green, blue});
  const double delta = static_cast<double>(largest) - static_cast<double>(smallest);
  // Sixths of the circle; each component difference is taken in single precision. Red is tested
  // first, so it wins a tie for the largest.
  float sixths;
  if (largest == red)
    sixths = static_cast<float>((green - blue) / delta);
  else if (largest == green)
    sixths = static_cast<float>((blue - red) / delta + 2);
  else
    sixths = static_cast<float>((red - green) / delta + 4);
  if (sixths <= 0)
    sixths += 6;
  *hue = sixths / 6;
  *saturation = static_cast<float>(delta / largest);
  *value = largest;
}

void HSVToRGB(float* red, float* green, float* blue, float hue, float saturation, float value) {
  const int64_t sector = truncateToLong(static_cast<double>(hue) * 6);
  const float fraction = hue * 6 - static_cast<float>(sector);
  const double p = (1 - static_cast<double>(saturation)) * value;
  const double q = (1 - static_cast<double>(saturation) * fraction) * value;
  const double t = p - q + value;
  double r, g, b;
  switch (sector) {
    case 1:
      r = q, g = value, b = p;
      break;
    case 2:
      r = p, g = value, b = t;
      break;
    case 3:
      r = p, g = q, b = value;
      break;
    case 4:
      r = t, g = p, b = value;
      break;
    case 5:
      r = value, g = p, b = q;
      break;
    default:
      r = value, g = t, b = p;
      break;
  }
  *red = static_cast<float>(r);
  *green = static_cast<float>(g);
  *blue = static_cast<float>(b);
}

}  // namespace zel
