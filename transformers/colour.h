// SPDX-License-Identifier: MIT
// Angles and colours.
//
// Angles are double-precision degrees or radians (π is 3.141592653589793; the product is formed
// before the division). Colours are single-precision: RGB components, saturation and value in 0
// to 1; the hue a fraction of the full circle. RGBToHSV gives a hue above 0 up to and including
// 1 (0 only for greys; pure red is 1.0); HSVToRGB takes 0 to 1, and a hue of 1.0 gives the colour
// of 0. Values outside these domains give numbers without a meaning.
#pragma once

namespace zel {

double DegreesToRadians(double degrees);
double RadiansToDegrees(double radians);

void RGBToHSV(float* hue, float* saturation, float* value, float red, float green, float blue);
void HSVToRGB(float* red, float* green, float* blue, float hue, float saturation, float value);

}  // namespace zel
