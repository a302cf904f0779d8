// Decoding PNG pictures into the bottom-up BGR bitmap with its alpha plane.
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstring>
#include <string>

#include "png_writer.h"
#include "widgets/app_resources.h"
#include "widgets/png_image.h"

namespace tonvik {
namespace {

using testing::EncodePng;
using testing::EncodeRgba;
using testing::PngLayout;

struct Rgba {
  int r, g, b, a;
  bool operator==(const Rgba&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Rgba& p) {
  return os << "(" << p.r << "," << p.g << "," << p.b << "," << p.a << ")";
}

// Reads picture pixel (x, y), top-down, straight out of the block and plane.
Rgba At(const PNGImageBase& image, int x, int y) {
  const size_t row_bytes = BitmapRowBytes(image.Width(), image.BitsPerPixel());
  const int row = image.ImageHeight() - 1 - y;
  const uint8_t* p = image.Block().data() + 40 + row * row_bytes + x * 3;
  int a = image.HasAlpha() ? image.AlphaPlane()[row * image.Width() + x] : 255;
  return {p[2], p[1], p[0], a};
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

void Decode(PNGImageBase& image, const std::vector<uint8_t>& png) { image.Decode(png.data(), png.size()); }

TEST(PngDecode, RgbaGoesBottomUpInBlueGreenRedWithAlphaPlane) {
  // 5 x 2: row bytes 15 padded to 16.
  std::vector<uint8_t> rgba;
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 5; ++x) rgba.insert(rgba.end(), {uint8_t(10 * x), uint8_t(100 + y), 200, uint8_t(50 * x + y)});
  PNGImageBase image;
  Decode(image, EncodeRgba(5, 2, rgba));
  EXPECT_EQ(image.Width(), 5);
  EXPECT_EQ(image.ImageHeight(), 2);
  EXPECT_EQ(image.BitsPerPixel(), 24u);
  ASSERT_EQ(image.Block().size(), 40u + 16 * 2);
  // The header as the block carries it.
  const auto& block = image.Block();
  EXPECT_EQ(Le32(block, 0), 40u);
  EXPECT_EQ(Le32(block, 4), 5u);
  EXPECT_EQ(Le32(block, 8), 2u);
  EXPECT_EQ(block[12] | block[13] << 8, 1);   // planes
  EXPECT_EQ(block[14] | block[15] << 8, 24);  // bits
  EXPECT_EQ(Le32(block, 16), 0u);             // no compression
  EXPECT_EQ(Le32(block, 20), 32u);            // image size
  // First stored row is the picture's bottom row (y = 1), blue first.
  EXPECT_EQ(block[40], 200);
  EXPECT_EQ(block[41], 101);
  EXPECT_EQ(block[42], 0);
  ASSERT_EQ(image.AlphaPlane().size(), 10u);
  EXPECT_EQ(image.AlphaPlane()[0], 1);   // (0, 1)
  EXPECT_EQ(image.AlphaPlane()[5], 0);   // (0, 0)
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(At(image, x, y), (Rgba{10 * x, 100 + y, 200, 50 * x + y}));
  EXPECT_EQ(image.Opacity(), 255);
  EXPECT_EQ(image.TransparentColour(), PNGImageBase::kNoTransparentColour);
  EXPECT_TRUE(image.Enabled());
}

struct ColourTypeCase {
  const char* name;
  PngLayout layout;
  bool alpha;
  std::vector<Rgba> expected;  // top-down, left to right
};

std::vector<ColourTypeCase> ColourTypeCases() {
  std::vector<ColourTypeCase> cases;
  {
    PngLayout s{2, 2, PNG_COLOR_TYPE_RGB, 8, false, {255, 0, 0, 0, 255, 0, 0, 0, 255, 7, 8, 9}};
    cases.push_back({"rgb", s, false, {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {7, 8, 9, 255}}});
  }
  {
    PngLayout s{2, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, {40, 255, 200, 128}};
    cases.push_back({"grey alpha", s, true, {{40, 40, 40, 255}, {200, 200, 200, 128}}});
  }
  {
    PngLayout s{3, 1, PNG_COLOR_TYPE_GRAY, 8, false, {0, 128, 255}};
    cases.push_back({"grey", s, false, {{0, 0, 0, 255}, {128, 128, 128, 255}, {255, 255, 255, 255}}});
  }
  {
    // 8 pixels of 1 bit: 10110000 -> white black white white black...
    PngLayout s{4, 1, PNG_COLOR_TYPE_GRAY, 1, false, {0xB0}};
    cases.push_back({"grey 1 bit", s, false, {{255, 255, 255, 255}, {0, 0, 0, 255}, {255, 255, 255, 255}, {255, 255, 255, 255}}});
  }
  {
    // 4-bit palette: indexes 0,1,2 ; entry 1 half transparent through tRNS.
    PngLayout s{3, 1, PNG_COLOR_TYPE_PALETTE, 4, false, {0x01, 0x20}};
    s.palette = {10, 20, 30, 40, 50, 60, 70, 80, 90};
    s.palette_alpha = {255, 128};
    cases.push_back({"palette with tRNS", s, true, {{10, 20, 30, 255}, {40, 50, 60, 128}, {70, 80, 90, 255}}});
  }
  {
    PngLayout s{2, 1, PNG_COLOR_TYPE_PALETTE, 8, false, {1, 0}};
    s.palette = {1, 2, 3, 250, 251, 252};
    cases.push_back({"palette", s, false, {{250, 251, 252, 255}, {1, 2, 3, 255}}});
  }
  {
    // 16-bit RGBA, little-endian samples (the writer swaps them).
    PngLayout s{1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 16, false, {0x00, 0xFF, 0x00, 0x80, 0x00, 0x10, 0xFF, 0xFF}};
    cases.push_back({"rgba 16 bit", s, true, {{255, 128, 16, 255}}});
  }
  return cases;
}

TEST(PngDecode, EveryColourTypeGivesTheSamePictureIn24Bits) {
  for (const auto& c : ColourTypeCases()) {
    SCOPED_TRACE(c.name);
    PNGImageBase image;
    Decode(image, EncodePng(c.layout));
    EXPECT_EQ(image.BitsPerPixel(), 24u);
    EXPECT_EQ(image.HasAlpha(), c.alpha);
    ASSERT_EQ(image.Width() * image.ImageHeight(), int(c.expected.size()));
    for (int y = 0; y < image.ImageHeight(); ++y)
      for (int x = 0; x < image.Width(); ++x)
        EXPECT_EQ(At(image, x, y), c.expected[y * image.Width() + x]) << x << "," << y;
  }
}

TEST(PngDecode, InterlacedPictureMatchesTheSequentialOne) {
  // Odd sizes reach every Adam7 pass with partial blocks.
  for (auto [w, h] : {std::pair{13, 11}, {1, 1}, {3, 9}, {24, 24}}) {
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    std::vector<uint8_t> rgba;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        rgba.insert(rgba.end(), {uint8_t(x * 17), uint8_t(y * 23), uint8_t(x * y), uint8_t(255 - x - y)});
    PNGImageBase sequential, interlaced;
    Decode(sequential, EncodeRgba(w, h, rgba, false));
    Decode(interlaced, EncodeRgba(w, h, rgba, true));
    EXPECT_EQ(interlaced.Block(), sequential.Block());
    EXPECT_EQ(interlaced.AlphaPlane(), sequential.AlphaPlane());
    EXPECT_EQ(At(interlaced, w - 1, h - 1), (Rgba{(w - 1) * 17 & 255, (h - 1) * 23 & 255, (w - 1) * (h - 1) & 255, 255 - (w - 1) - (h - 1)}));
  }
}

TEST(PngDecode, BrokenDataGivesTextErrorAndLeavesImageEmpty) {
  std::vector<uint8_t> rgba(24 * 24 * 4, 0x5A);
  const std::vector<uint8_t> good = EncodeRgba(24, 24, rgba);
  std::vector<uint8_t> truncated(good.begin(), good.begin() + good.size() / 2);
  std::vector<uint8_t> header_only(good.begin(), good.begin() + 33);
  std::vector<uint8_t> bad_crc = good;
  bad_crc[good.size() - 20] ^= 0x40;  // inside IDAT
  std::vector<uint8_t> not_png(200, 'x');
  // A header claiming 100000 x 1 pixels with a valid CRC.
  std::vector<uint8_t> huge = good;
  huge[16] = 0; huge[17] = 1; huge[18] = 0x86; huge[19] = 0xA0;
  uLong crc = crc32(0, huge.data() + 12, 17);
  for (int i = 0; i < 4; ++i) huge[29 + i] = (crc >> (24 - 8 * i)) & 0xFF;

  struct Case { const char* name; std::vector<uint8_t> bytes; } cases[] = {
      {"truncated", truncated}, {"header only", header_only}, {"bad crc", bad_crc},
      {"not a png", not_png}, {"empty", {}}, {"huge header", huge}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PNGImageBase image;
    Decode(image, good);
    try {
      image.Decode(c.bytes.data(), c.bytes.size());
      ADD_FAILURE() << "decoded";
    } catch (const ImageDecodeError& e) {
      EXPECT_STREQ(e.what(), "");
      EXPECT_FALSE(e.Detail().empty());
    }
    EXPECT_TRUE(image.Empty());
    EXPECT_FALSE(image.HasAlpha());
  }
  PNGImageBase image;
  EXPECT_THROW(image.Decode(nullptr, 100), ImageDecodeError);
}

TEST(PngResource, ShippedPicturesHaveTheirSizes) {
  struct Case { int id, w, h; } cases[] = {
      {229, 100, 100}, {230, 24, 24}, {231, 24, 24}, {232, 24, 24}, {241, 24, 24}, {242, 24, 24},
      {243, 24, 24}, {202, 103, 326}, {207, 800, 550}, {208, 800, 550}, {209, 800, 550},
      {256, 16, 16}, {263, 16, 16}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    PNGImage image;
    image.Load(c.id);
    EXPECT_EQ(image.Width(), c.w);
    EXPECT_EQ(image.Height(), c.h);
    EXPECT_TRUE(image.HasAlpha());
  }
}

TEST(PngResource, MissingResourceIsReportedThenFailsToDecode) {
  std::vector<std::u16string> reports;
  SetResourceErrorSink([&](const std::u16string& text) { reports.push_back(text); });
  PNGImage image;
  image.Load(229);
  EXPECT_THROW(image.Load(9999), ImageDecodeError);
  SetResourceErrorSink(nullptr);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0], u"No such file or directory");
  EXPECT_TRUE(image.Empty());
}

}  // namespace
}  // namespace tonvik
