#include "png_writer.h"

#include <png.h>

#include <csetjmp>
#include <stdexcept>

namespace tonvik::testing {

namespace {
void Append(png_structp png, png_bytep data, size_t size) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + size);
}
void Flush(png_structp) {}

bool Write(png_structp png, png_infop info, const PngLayout& layout, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_IHDR(png, info, layout.width, layout.height, layout.bit_depth, layout.colour_type,
               layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!layout.palette.empty()) {
    png_color colours[256];
    int n = static_cast<int>(layout.palette.size() / 3);
    for (int i = 0; i < n; ++i) colours[i] = {layout.palette[3 * i], layout.palette[3 * i + 1], layout.palette[3 * i + 2]};
    png_set_PLTE(png, info, colours, n);
  }
  if (!layout.palette_alpha.empty()) {
    png_set_tRNS(png, info, const_cast<uint8_t*>(layout.palette_alpha.data()),
                 static_cast<int>(layout.palette_alpha.size()), nullptr);
  }
  png_write_info(png, info);
  if (layout.bit_depth == 16) png_set_swap(png);  // rows are given little-endian
  png_set_interlace_handling(png);
  png_write_image(png, rows);
  png_write_end(png, info);
  return true;
}
}  // namespace

std::vector<uint8_t> EncodePng(const PngLayout& layout) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &out, Append, Flush);
  const size_t row_bytes = layout.rows.size() / layout.height;
  std::vector<png_bytep> rows(layout.height);
  for (int y = 0; y < layout.height; ++y) rows[y] = const_cast<uint8_t*>(layout.rows.data()) + y * row_bytes;
  bool ok = Write(png, info, layout, rows.data());
  png_destroy_write_struct(&png, &info);
  if (!ok) throw std::runtime_error("test picture could not be written");
  return out;
}

std::vector<uint8_t> EncodeRgba(int width, int height, const std::vector<uint8_t>& rgba, bool interlaced) {
  PngLayout layout;
  layout.width = width;
  layout.height = height;
  layout.interlaced = interlaced;
  layout.rows = rgba;
  return EncodePng(layout);
}

}  // namespace tonvik::testing
