// Writes test pictures with libpng's own encoder, so the decoder is checked
// against an independent writer.
#pragma once
#include <cstdint>
#include <vector>

namespace tonvik::testing {

struct PngLayout {
  int width = 1;
  int height = 1;
  int colour_type = 6;  // PNG_COLOR_TYPE_RGB_ALPHA
  int bit_depth = 8;
  bool interlaced = false;
  // Packed rows as libpng takes them (width x channels x depth bits, top-down).
  std::vector<uint8_t> rows;
  // Palette (RGB triples) and tRNS alphas for palette pictures.
  std::vector<uint8_t> palette;
  std::vector<uint8_t> palette_alpha;
};

std::vector<uint8_t> EncodePng(const PngLayout& layout);

// An 8-bit RGBA picture from top-down RGBA quads.
std::vector<uint8_t> EncodeRgba(int width, int height, const std::vector<uint8_t>& rgba,
                                bool interlaced = false);

}  // namespace tonvik::testing
