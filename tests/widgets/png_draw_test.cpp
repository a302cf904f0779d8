// The blending arithmetic of image drawing on real QImage targets.
#include <gtest/gtest.h>

#include <QPainter>

#include "core/app_exception.h"
#include "png_writer.h"
#include "widgets/png_image.h"

namespace tonvik {
namespace {

using testing::EncodeRgba;

// A w x h picture of one colour and alpha.
PNGImage Solid(int w, int h, int r, int g, int b, int a) {
  std::vector<uint8_t> rgba;
  for (int i = 0; i < w * h; ++i) rgba.insert(rgba.end(), {uint8_t(r), uint8_t(g), uint8_t(b), uint8_t(a)});
  auto png = EncodeRgba(w, h, rgba);
  PNGImage image;
  image.Decode(png.data(), png.size());
  return image;
}

PNGImage FromPng(const testing::PngLayout& layout) {
  auto png = testing::EncodePng(layout);
  PNGImage image;
  image.Decode(png.data(), png.size());
  return image;
}

QImage Filled(int w, int h, QRgb colour, QImage::Format format = QImage::Format_RGB32) {
  QImage target(w, h, format);
  target.fill(colour);
  return target;
}

struct BlendCase {
  const char* name;
  int r, g, b, a;      // picture pixel
  int opacity;
  bool grayscale;
  QRgb background;
  QRgb expected;
};

TEST(PngDraw, AlphaOpacityAndGrayscaleArithmetic) {
  const BlendCase cases[] = {
      {"alpha 0 leaves background", 0, 0, 0, 0, 255, false, qRgb(255, 255, 255), qRgb(255, 255, 255)},
      {"alpha 255 replaces", 10, 20, 30, 255, 255, false, qRgb(255, 255, 255), qRgb(10, 20, 30)},
      {"alpha 128 black over white", 0, 0, 0, 128, 255, false, qRgb(255, 255, 255), qRgb(126, 126, 126)},
      {"alpha 128 white over black", 255, 255, 255, 128, 255, false, qRgb(0, 0, 0), qRgb(127, 127, 127)},
      {"alpha 1 over white", 0, 0, 0, 1, 255, false, qRgb(255, 255, 255), qRgb(253, 253, 253)},
      {"opacity halves", 0, 0, 0, 255, 127, false, qRgb(255, 255, 255), qRgb(127, 127, 127)},
      {"opacity 0 hides", 0, 0, 0, 255, 0, false, qRgb(200, 100, 50), qRgb(200, 100, 50)},
      {"grayscale red", 255, 0, 0, 255, 255, true, qRgb(0, 0, 255), qRgb(127, 127, 127)},
      {"grayscale mixed", 200, 50, 101, 255, 255, true, qRgb(0, 0, 0), qRgb(125, 125, 125)},
      {"grayscale blended", 255, 0, 0, 128, 255, true, qRgb(255, 255, 255), qRgb(190, 190, 190)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PNGImage image = Solid(2, 2, c.r, c.g, c.b, c.a);
    image.SetOpacity(uint8_t(c.opacity));
    QImage target = Filled(4, 4, c.background);
    ASSERT_TRUE(image.Draw(target, 1, 1, c.grayscale));
    EXPECT_EQ(target.pixel(1, 1), c.expected) << std::hex << target.pixel(1, 1);
    EXPECT_EQ(target.pixel(2, 2), c.expected);
    EXPECT_EQ(target.pixel(0, 0), c.background);  // outside the picture
    EXPECT_EQ(target.pixel(3, 3), c.background);
  }
}

TEST(PngDraw, ClipBoxLimitsBlendingToItsRows) {
  PNGImage image = Solid(24, 24, 0, 0, 0, 128);
  QImage target = Filled(24, 24, qRgb(255, 255, 255));
  ASSERT_TRUE(image.Draw(target, 0, 0, false, QRect(0, 12, 24, 12)));
  for (int y = 0; y < 24; ++y) {
    for (int x = 0; x < 24; ++x) {
      ASSERT_EQ(target.pixel(x, y), y < 12 ? qRgb(255, 255, 255) : qRgb(126, 126, 126)) << x << "," << y;
    }
  }
}

TEST(PngDraw, PainterOnImageUsesClipAndTranslation) {
  PNGImage image = Solid(24, 24, 0, 0, 0, 128);
  QImage target = Filled(40, 40, qRgb(255, 255, 255));
  {
    QPainter painter(&target);
    painter.translate(8, 4);
    painter.setClipRect(QRect(0, 12, 24, 12));  // lower half, in picture coordinates
    ASSERT_TRUE(image.Draw(painter, 0, 0, false));
  }
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 40; ++x) {
      const bool blended = x >= 8 && x < 32 && y >= 16 && y < 28;
      ASSERT_EQ(target.pixel(x, y), blended ? qRgb(126, 126, 126) : qRgb(255, 255, 255)) << x << "," << y;
    }
  }
}

TEST(PngDraw, PartlyOutsideTargetsAndOtherFormats) {
  PNGImage image = Solid(4, 4, 0, 0, 0, 128);
  QImage target = Filled(3, 3, qRgb(255, 255, 255));
  ASSERT_TRUE(image.Draw(target, -2, 1, false));
  EXPECT_EQ(target.pixel(0, 0), qRgb(255, 255, 255));
  EXPECT_EQ(target.pixel(1, 2), qRgb(126, 126, 126));
  EXPECT_EQ(target.pixel(2, 2), qRgb(255, 255, 255));
  ASSERT_TRUE(image.Draw(target, 100, 100, false));  // entirely outside: nothing

  for (auto format : {QImage::Format_ARGB32_Premultiplied, QImage::Format_RGB888, QImage::Format_ARGB32}) {
    SCOPED_TRACE(int(format));
    QImage other = Filled(4, 4, qRgb(255, 255, 255), format);
    ASSERT_TRUE(image.Draw(other, 0, 0, false));
    EXPECT_EQ(other.format(), format);
    EXPECT_EQ(other.pixel(3, 3), qRgb(126, 126, 126));
  }
}

TEST(PngDraw, PictureWithoutAlphaIsCopiedAndTransparentColourIsKept) {
  testing::PngLayout layout{2, 1, 2 /* RGB */, 8, false, {255, 0, 255, 1, 2, 3}};
  PNGImage image = FromPng(layout);
  ASSERT_FALSE(image.HasAlpha());
  QImage target = Filled(2, 1, qRgb(9, 9, 9));
  ASSERT_TRUE(image.Draw(target, 0, 0, false));
  EXPECT_EQ(target.pixel(0, 0), qRgb(255, 0, 255));
  EXPECT_EQ(target.pixel(1, 0), qRgb(1, 2, 3));

  image.SetTransparentColour(0xFF00FF);
  target = Filled(2, 1, qRgb(9, 9, 9));
  ASSERT_TRUE(image.Draw(target, 0, 0, false));
  EXPECT_EQ(target.pixel(0, 0), qRgb(9, 9, 9));
  EXPECT_EQ(target.pixel(1, 0), qRgb(1, 2, 3));
}

TEST(PngDraw, NothingToPaint) {
  QImage target = Filled(2, 2, qRgb(1, 2, 3));
  PNGImage empty;
  EXPECT_FALSE(empty.Draw(target, 0, 0, false));
  PNGImage disabled = Solid(2, 2, 0, 0, 0, 255);
  disabled.SetEnabled(false);
  EXPECT_FALSE(disabled.Draw(target, 0, 0, false));
  EXPECT_FALSE(disabled.DrawOnColour(target, qRgb(0, 0, 0)));
  QImage null_target;
  PNGImage image = Solid(2, 2, 0, 0, 0, 255);
  EXPECT_FALSE(image.Draw(null_target, 0, 0, false));
  EXPECT_EQ(target.pixel(0, 0), qRgb(1, 2, 3));
}

TEST(PngDraw, OnColourBlendsWithTheSolidColour) {
  struct Case { int a; QRgb expected; } cases[] = {
      {0, qRgb(240, 240, 240)}, {255, qRgb(0, 100, 200)}, {128, qRgb(119, 169, 219)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.a);
    PNGImage image = Solid(3, 3, 0, 100, 200, c.a);
    QImage target = Filled(5, 5, qRgb(7, 7, 7));
    ASSERT_TRUE(image.DrawOnColour(target, qRgb(240, 240, 240)));
    EXPECT_EQ(target.pixel(2, 2), c.expected);
    EXPECT_EQ(target.pixel(4, 4), qRgb(7, 7, 7));
    QImage painted = Filled(5, 5, qRgb(7, 7, 7));
    QPainter painter(&painted);
    ASSERT_TRUE(image.DrawOnColour(painter, qRgb(240, 240, 240)));
    painter.end();
    EXPECT_EQ(painted.pixel(0, 0), c.expected);
  }
}

// A picture whose accessors no longer agree with its header.
class ShrunkImage : public PNGImage {
 public:
  int Height() const override { return PNGImage::Height() - 1; }
};

TEST(PngDraw, AccessorsDisagreeingWithHeaderThrowBadPng) {
  std::vector<uint8_t> rgba(4 * 4 * 4, 0x80);
  auto png = EncodeRgba(4, 4, rgba);
  ShrunkImage image;
  image.Decode(png.data(), png.size());
  QImage target = Filled(4, 4, qRgb(0, 0, 0));
  try {
    image.Draw(target, 0, 0, false);
    ADD_FAILURE() << "drawn";
  } catch (const UIException& e) {
    EXPECT_STREQ(e.what(), "bad png");
  }
  EXPECT_EQ(target.pixel(0, 0), qRgb(0, 0, 0));
}

}  // namespace
}  // namespace tonvik
