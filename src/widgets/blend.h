// The integer arithmetic of image drawing: how much of an image pixel shows
// over what is already there. Channels and alphas are 0..255.
#pragma once
#include <algorithm>
#include <cstdint>

namespace tonvik::blend {

// Alpha of a pixel after the image's global opacity (255 = as stored).
constexpr int ScaleAlpha(int alpha, int opacity) { return alpha * (opacity + 1) / 256; }

// One channel of a pixel with alpha a over the destination channel. The divisor
// is 256, not 255: a half-transparent black pixel over white gives 126.
constexpr int Channel(int destination, int source, int a) {
  return ((255 - a) * destination + a * source) / 256;
}

// The gray of a pixel in its lightness: the mean of its largest and smallest
// channel, truncated (pure red gives 127). Computed in integers so that every
// even sum maps exactly onto its half.
constexpr int Lightness(int r, int g, int b) {
  return (std::max({r, g, b}) + std::min({r, g, b})) / 2;
}

}  // namespace tonvik::blend
