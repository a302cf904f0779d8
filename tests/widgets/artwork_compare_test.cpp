// The artwork check must forgive what differs between processors (one step
// in a channel or a sample) and nothing else: a moved shape, another colour,
// another size or a missing file fail it.
#include <gtest/gtest.h>

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <functional>

#include "artwork_compare.h"

namespace tonvik::test {
namespace {

QImage Drawing(int dx = 0, QColor fill = QColor(0x20, 0x60, 0xC0, 0xE0), QSize size = {24, 24}) {
  QImage image(size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(fill);
  p.drawEllipse(QRectF(4 + dx, 5, 14, 13));
  return image;
}

// Adds delta to the blue channel of n pixels on the shape's edge.
QImage Nudged(QImage image, int delta, int n) {
  for (int i = 0; i < n; ++i) {
    const QRgb c = image.pixel(11, 5 + i);
    image.setPixel(11, 5 + i, qRgba(qRed(c), qGreen(c), std::clamp(qBlue(c) + delta, 0, 255), qAlpha(c)));
  }
  return image;
}

QByteArray Wave(const std::vector<int16_t>& samples, uint32_t rate = 44100) {
  QByteArray out;
  auto le = [&](uint32_t v, int n) {
    for (int i = 0; i < n; ++i) out.append(char(v >> (8 * i)));
  };
  out.append("RIFF");
  le(36 + 2 * uint32_t(samples.size()), 4);
  out.append("WAVEfmt ");
  le(16, 4), le(1, 2), le(1, 2), le(rate, 4), le(rate * 2, 4), le(2, 2), le(16, 2);
  out.append("data");
  le(2 * uint32_t(samples.size()), 4);
  for (int16_t s : samples) le(uint16_t(s), 2);
  return out;
}

class ArtworkCompare : public ::testing::Test {
 public:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    for (const char* side : {"expected", "actual"}) QDir(dir_.path()).mkpath(QString(side) + "/png");
    Put("expected", "png/1.png", Drawing());
    Put("expected", "png/2.png", Drawing(0, QColor(0xE0, 0x30, 0x30)));
    PutWave("expected", "sound.wav", Wave({0, 1000, -32768, 32767, -5}));
  }
  void Put(const char* side, const QString& name, const QImage& image) {
    ASSERT_TRUE(image.save(Path(side, name), "PNG"));
  }
  void PutWave(const char* side, const QString& name, const QByteArray& bytes) {
    QFile f(Path(side, name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
  }
  QString Path(const char* side, const QString& name) { return dir_.path() + "/" + side + "/" + name; }
  QStringList Compare() { return CompareArtworkTrees(dir_.path() + "/expected", dir_.path() + "/actual"); }

  QTemporaryDir dir_;
};

TEST_F(ArtworkCompare, ForgivesOneStepAndNothingMore) {
  struct Case {
    const char* label;
    std::function<void(ArtworkCompare&)> actual;
    int differences;
  };
  const Case cases[] = {
      {"the same drawing", [](auto& t) {
         t.Put("actual", "png/1.png", Drawing());
         t.Put("actual", "png/2.png", Drawing(0, QColor(0xE0, 0x30, 0x30)));
         t.PutWave("actual", "sound.wav", Wave({0, 1000, -32768, 32767, -5}));
       }, 0},
      {"one step in a few channels and samples", [](auto& t) {
         t.Put("actual", "png/1.png", Nudged(Drawing(), 1, 6));
         t.Put("actual", "png/2.png", Nudged(Drawing(0, QColor(0xE0, 0x30, 0x30)), -1, 3));
         t.PutWave("actual", "sound.wav", Wave({1, 999, -32767, 32766, -5}));
       }, 0},
      {"two steps in one channel", [](auto& t) {
         t.Put("actual", "png/1.png", Nudged(Drawing(), 2, 1));
         t.Put("actual", "png/2.png", Drawing(0, QColor(0xE0, 0x30, 0x30)));
         t.PutWave("actual", "sound.wav", Wave({0, 1000, -32768, 32767, -5}));
       }, 1},
      {"a moved shape and another colour", [](auto& t) {
         t.Put("actual", "png/1.png", Drawing(1));
         t.Put("actual", "png/2.png", Drawing(0, QColor(0xE0, 0x30, 0x38)));
         t.PutWave("actual", "sound.wav", Wave({0, 1000, -32768, 32767, -5}));
       }, 2},
      {"another size, another sample and another rate", [](auto& t) {
         t.Put("actual", "png/1.png", Drawing(0, QColor(0x20, 0x60, 0xC0, 0xE0), {24, 25}));
         t.Put("actual", "png/2.png", Drawing(0, QColor(0xE0, 0x30, 0x30)));
         t.PutWave("actual", "sound.wav", Wave({0, 1003, -32768, 32767, -5}, 22050));
       }, 2},
      {"a missing picture and one too many", [](auto& t) {
         t.Put("actual", "png/1.png", Drawing());
         t.Put("actual", "png/3.png", Drawing());
         t.PutWave("actual", "sound.wav", Wave({0, 1000, -32768, 32767, -5}));
       }, 2},
      {"a sound with one sample more", [](auto& t) {
         t.Put("actual", "png/1.png", Drawing());
         t.Put("actual", "png/2.png", Drawing(0, QColor(0xE0, 0x30, 0x30)));
         t.PutWave("actual", "sound.wav", Wave({0, 1000, -32768, 32767, -5, 0}));
       }, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    QDir(Path("actual", "")).removeRecursively();
    QDir(dir_.path()).mkpath("actual/png");
    c.actual(*this);
    const QStringList differences = Compare();
    EXPECT_EQ(differences.size(), c.differences) << differences.join('\n').toStdString();
  }
}

TEST_F(ArtworkCompare, AnUnreadablePictureIsADifference) {
  Put("actual", "png/1.png", Drawing());
  PutWave("actual", "sound.wav", Wave({0, 1000, -32768, 32767, -5}));
  QFile f(Path("actual", "png/2.png"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("\x89PNG\r\n\x1a\n broken");
  f.close();
  const QStringList differences = Compare();
  ASSERT_EQ(differences.size(), 1);
  EXPECT_TRUE(differences[0].startsWith("png/2.png: cannot decode")) << differences[0].toStdString();
}

}  // namespace
}  // namespace tonvik::test
