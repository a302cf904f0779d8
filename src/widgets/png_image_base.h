// A PNG decoded into a device-independent bitmap: a 40-byte information header,
// the palette (none here: every picture is decoded to 24 bits) and the pixel
// rows bottom-up in blue-green-red order, each row padded to 4 bytes, plus an
// optional alpha plane of width x height bytes, also bottom-up.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tonvik {

// The text error of the image loader. Its message is the loader's own text
// ("Failed to create PNG structure", "Failed to initialize PNG info structure")
// or empty for a failure inside libpng; Detail() keeps libpng's own words for
// logs. Not an AppException: the main flow does not catch it as one.
class ImageDecodeError : public std::runtime_error {
 public:
  ImageDecodeError(const std::string& text, std::string detail)
      : std::runtime_error(text), detail_(std::move(detail)) {}
  const std::string& Detail() const { return detail_; }

 private:
  std::string detail_;
};

// The layout of BITMAPINFOHEADER, little-endian in the block.
struct BitmapInfoHeader {
  uint32_t size = 40;
  int32_t width = 0;
  int32_t height = 0;  // positive: rows are stored bottom-up
  uint16_t planes = 1;
  uint16_t bit_count = 0;
  uint32_t compression = 0;  // none
  uint32_t size_image = 0;   // bytes of the pixel rows
  int32_t x_pels_per_meter = 0;
  int32_t y_pels_per_meter = 0;
  uint32_t clr_used = 0;
  uint32_t clr_important = 0;
};

// Bytes of one bitmap row: ((width x bits + 31) / 32) x 4.
constexpr size_t BitmapRowBytes(size_t width, unsigned bits) {
  return ((width * bits + 31) / 32) * 4;
}

// Bits per pixel of the bitmap for a PNG row of png_bits per pixel.
constexpr unsigned BitmapBitsPerPixel(unsigned png_bits) {
  return png_bits > 16 ? 24u : png_bits == 16 ? 8u : png_bits;
}

// The largest edge a resource may claim; larger headers are refused before
// anything is allocated.
inline constexpr uint32_t kMaxImageEdge = 4096;

class PNGImageBase {
 public:
  static constexpr int kNoTransparentColour = -1;

  PNGImageBase() { Reset(); }
  virtual ~PNGImageBase() = default;

  // Decodes a PNG held in memory. Throws ImageDecodeError; afterwards the image
  // is empty. Any colour type and depth is accepted: palette, grey and 16-bit
  // pictures are expanded to 8-bit RGB(A), so the bitmap is always 24 bits.
  void Decode(const uint8_t* data, size_t size);

  bool Empty() const { return block_.empty(); }
  int Width() const { return header_.width; }
  int ImageHeight() const { return header_.height; }
  unsigned BitsPerPixel() const { return header_.bit_count; }
  const BitmapInfoHeader& Header() const { return header_; }
  // Whole block: header, palette, rows.
  const std::vector<uint8_t>& Block() const { return block_; }
  // Bottom-up, width x height; empty when the picture has no alpha channel.
  const std::vector<uint8_t>& AlphaPlane() const { return alpha_; }
  bool HasAlpha() const { return !alpha_.empty(); }

  uint8_t Opacity() const { return opacity_; }
  void SetOpacity(uint8_t opacity) { opacity_ = opacity; }
  // 0xRRGGBB, or kNoTransparentColour.
  int TransparentColour() const { return transparent_; }
  void SetTransparentColour(int rgb) { transparent_ = rgb < 0 ? kNoTransparentColour : rgb & 0xFFFFFF; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled) { enabled_ = enabled; }

 protected:
  void Reset();
  uint8_t* MutablePixels() { return block_.data() + header_.size; }
  const uint8_t* Pixels() const { return block_.empty() ? nullptr : block_.data() + header_.size; }

  BitmapInfoHeader header_;
  std::vector<uint8_t> block_;
  std::vector<uint8_t> alpha_;
  uint8_t opacity_ = 255;
  int transparent_ = kNoTransparentColour;
  bool enabled_ = true;

 private:
  friend struct PngReadState;
  void WriteHeader();
};

}  // namespace tonvik
