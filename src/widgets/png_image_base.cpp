#include "widgets/png_image_base.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace tonvik {

// Lives on the decoder's stack for one Decode; libpng reaches it through its
// io and error pointers.
struct PngReadState {
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t position = 0;
  char message[256] = {};
};

namespace {

struct PictureInfo {
  uint32_t width = 0;
  uint32_t height = 0;
  unsigned channels = 0;  // after the expansions: 3 (RGB) or 4 (RGBA)
  size_t png_row_bytes = 0;
};

void ReadFromResource(png_structp png, png_bytep out, size_t count) {
  auto* state = static_cast<PngReadState*>(png_get_io_ptr(png));
  if (count > state->size - state->position) png_error(png, "read past the end of the resource");
  std::memcpy(out, state->data + state->position, count);
  state->position += count;
}

[[noreturn]] void OnPngError(png_structp png, png_const_charp message) {
  auto* state = static_cast<PngReadState*>(png_get_error_ptr(png));
  if (state) std::snprintf(state->message, sizeof state->message, "%s", message ? message : "");
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// The two phases that can longjmp hold no object with a destructor; everything
// owned lives in Decode's frame, which the jump never crosses.
bool ReadPictureInfo(png_structp png, png_infop info, PictureInfo* out) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_user_limits(png, kMaxImageEdge, kMaxImageEdge);
  png_read_info(png, info);
  const int colour_type = png_get_color_type(png, info);
  const int depth = png_get_bit_depth(png, info);
  // Same picture, one layout: 8-bit RGB or RGBA.
  if (colour_type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if ((colour_type & PNG_COLOR_MASK_COLOR) == 0 && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
  if (depth == 16) png_set_strip_16(png);
  if ((colour_type & PNG_COLOR_MASK_COLOR) == 0) png_set_gray_to_rgb(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  out->width = png_get_image_width(png, info);
  out->height = png_get_image_height(png, info);
  out->channels = png_get_channels(png, info);
  out->png_row_bytes = png_get_rowbytes(png, info);
  return true;
}

// All interlace passes go through the full set of rows, so every pass
// refines the picture in place.
bool ReadPictureRows(png_structp png, png_infop info, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, rows);
  png_read_end(png, info);
  return true;
}

class ReadStructs {
 public:
  ~ReadStructs() {
    if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
  }
  png_structp png = nullptr;
  png_infop info = nullptr;
};

}  // namespace

void PNGImageBase::Reset() {
  header_ = BitmapInfoHeader{};
  block_.clear();
  alpha_.clear();
  opacity_ = 255;
  transparent_ = kNoTransparentColour;
  enabled_ = true;
}

void PNGImageBase::WriteHeader() {
  uint8_t* p = block_.data();
  auto put16 = [&p](uint16_t v) { *p++ = v & 0xFF; *p++ = v >> 8; };
  auto put32 = [&p](uint32_t v) { for (int i = 0; i < 4; ++i) *p++ = (v >> (8 * i)) & 0xFF; };
  put32(header_.size);
  put32(static_cast<uint32_t>(header_.width));
  put32(static_cast<uint32_t>(header_.height));
  put16(header_.planes);
  put16(header_.bit_count);
  put32(header_.compression);
  put32(header_.size_image);
  put32(static_cast<uint32_t>(header_.x_pels_per_meter));
  put32(static_cast<uint32_t>(header_.y_pels_per_meter));
  put32(header_.clr_used);
  put32(header_.clr_important);
}

void PNGImageBase::Decode(const uint8_t* data, size_t size) {
  Reset();
  PngReadState state;
  state.data = data;
  state.size = data ? size : 0;

  ReadStructs s;
  s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, OnPngError, OnPngWarning);
  if (!s.png) throw ImageDecodeError("Failed to create PNG structure", {});
  s.info = png_create_info_struct(s.png);
  if (!s.info) throw ImageDecodeError("Failed to initialize PNG info structure", {});
  png_set_read_fn(s.png, &state, ReadFromResource);

  PictureInfo picture;
  if (!ReadPictureInfo(s.png, s.info, &picture)) throw ImageDecodeError("", state.message);
  if (picture.channels != 3 && picture.channels != 4) {
    throw ImageDecodeError("", "unexpected channel count after expansion");
  }

  const unsigned png_bits = picture.channels * 8;
  // The row buffer holds the widest row libpng may hand out, with the slack of
  // ten bytes the decoder always kept.
  const size_t row_buffer_bytes =
      std::max(picture.png_row_bytes, (png_bits + 7) / 8 * size_t{picture.width} + 10);
  std::vector<uint8_t> rows(row_buffer_bytes * picture.height);
  std::vector<png_bytep> row_pointers(picture.height);
  for (uint32_t i = 0; i < picture.height; ++i) row_pointers[i] = rows.data() + i * row_buffer_bytes;
  if (!ReadPictureRows(s.png, s.info, row_pointers.data())) throw ImageDecodeError("", state.message);

  const unsigned bits = BitmapBitsPerPixel(png_bits);
  const size_t row_bytes = BitmapRowBytes(picture.width, bits);
  header_.width = static_cast<int32_t>(picture.width);
  header_.height = static_cast<int32_t>(picture.height);
  header_.bit_count = static_cast<uint16_t>(bits);
  header_.size_image = static_cast<uint32_t>(row_bytes * picture.height);
  block_.assign(header_.size + header_.size_image, 0);
  WriteHeader();
  const bool with_alpha = picture.channels == 4;
  if (with_alpha) alpha_.assign(size_t{picture.width} * picture.height, 0);

  uint8_t* pixels = MutablePixels();
  for (uint32_t i = 0; i < picture.height; ++i) {
    const uint32_t bitmap_row = picture.height - 1 - i;
    const uint8_t* in = row_pointers[i];
    uint8_t* out = pixels + bitmap_row * row_bytes;
    uint8_t* alpha_out = with_alpha ? alpha_.data() + size_t{bitmap_row} * picture.width : nullptr;
    for (uint32_t x = 0; x < picture.width; ++x, in += picture.channels, out += 3) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
      if (alpha_out) alpha_out[x] = in[3];
    }
  }
}

}  // namespace tonvik
