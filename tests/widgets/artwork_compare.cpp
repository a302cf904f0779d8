#include "artwork_compare.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QSet>
#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace tonvik::test {

namespace {

QStringList FilesUnder(const QString& root) {
  QStringList names;
  QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) names << QDir(root).relativeFilePath(it.next());
  names.sort();
  return names;
}

QStringList ComparePictures(const QString& expected_path, const QString& actual_path, int tolerance) {
  QImage expected(expected_path), actual(actual_path);
  if (expected.isNull()) return {"cannot decode " + expected_path};
  if (actual.isNull()) return {"cannot decode " + actual_path};
  if (expected.size() != actual.size()) {
    return {QStringLiteral("size %1x%2, expected %3x%4")
                .arg(actual.width())
                .arg(actual.height())
                .arg(expected.width())
                .arg(expected.height())};
  }
  if (expected.format() != actual.format()) {
    return {QStringLiteral("pixel format %1, expected %2")
                .arg(int(actual.format()))
                .arg(int(expected.format()))};
  }
  // Straight (not premultiplied) 8-bit channels, so a transparent pixel's
  // colour counts as well.
  expected = expected.convertToFormat(QImage::Format_ARGB32);
  actual = actual.convertToFormat(QImage::Format_ARGB32);
  int over = 0, worst = 0, first_x = -1, first_y = -1;
  for (int y = 0; y < expected.height(); ++y) {
    const auto* e = reinterpret_cast<const QRgb*>(expected.constScanLine(y));
    const auto* a = reinterpret_cast<const QRgb*>(actual.constScanLine(y));
    for (int x = 0; x < expected.width(); ++x) {
      const int d = std::max({std::abs(qRed(e[x]) - qRed(a[x])), std::abs(qGreen(e[x]) - qGreen(a[x])),
                              std::abs(qBlue(e[x]) - qBlue(a[x])), std::abs(qAlpha(e[x]) - qAlpha(a[x]))});
      if (d > tolerance) {
        if (over++ == 0) first_x = x, first_y = y;
        worst = std::max(worst, d);
      }
    }
  }
  if (over == 0) return {};
  return {QStringLiteral("%1 pixels differ by more than %2 (up to %3), the first at (%4, %5)")
              .arg(over)
              .arg(tolerance)
              .arg(worst)
              .arg(first_x)
              .arg(first_y)};
}

struct Wave {
  QByteArray format;  // the "fmt " chunk's body
  QByteArray data;    // the "data" chunk's body
};

bool ReadWave(const QString& path, Wave* out) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QByteArray bytes = file.readAll();
  if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE") return false;
  qsizetype at = 12;
  while (at + 8 <= bytes.size()) {
    const QByteArray id = bytes.mid(at, 4);
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.constData() + at + 4);
    const qsizetype size = qsizetype(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24);
    if (size > bytes.size() - at - 8) return false;
    if (id == "fmt ") out->format = bytes.mid(at + 8, size);
    if (id == "data") out->data = bytes.mid(at + 8, size);
    at += 8 + size + (size & 1);
  }
  return !out->format.isEmpty() && at == bytes.size();
}

QStringList CompareSounds(const QString& expected_path, const QString& actual_path, int tolerance) {
  Wave expected, actual;
  if (!ReadWave(expected_path, &expected)) return {"not a WAV file: " + expected_path};
  if (!ReadWave(actual_path, &actual)) return {"not a WAV file: " + actual_path};
  if (expected.format != actual.format) return {"the sample format differs"};
  // 16-bit PCM is all the artwork holds.
  if (expected.format.size() < 16 || expected.format[14] != 16) return {"not 16-bit PCM"};
  if (expected.data.size() != actual.data.size()) {
    return {QStringLiteral("%1 bytes of samples, expected %2")
                .arg(actual.data.size())
                .arg(expected.data.size())};
  }
  int over = 0, worst = 0;
  for (qsizetype i = 0; i + 1 < expected.data.size(); i += 2) {
    const auto sample = [](const QByteArray& b, qsizetype at) {
      return int(int16_t(uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8)));
    };
    const int d = std::abs(sample(expected.data, i) - sample(actual.data, i));
    if (d > tolerance) ++over, worst = std::max(worst, d);
  }
  if (over == 0) return {};
  return {QStringLiteral("%1 samples differ by more than %2 (up to %3)")
              .arg(over)
              .arg(tolerance)
              .arg(worst)};
}

}  // namespace

QStringList CompareArtworkFiles(const QString& expected, const QString& actual, ArtworkTolerance tolerance) {
  if (expected.endsWith(QLatin1String(".png"))) return ComparePictures(expected, actual, tolerance.channel);
  if (expected.endsWith(QLatin1String(".wav"))) return CompareSounds(expected, actual, tolerance.sample);
  QFile a(expected), b(actual);
  if (!a.open(QIODevice::ReadOnly) || !b.open(QIODevice::ReadOnly)) return {"cannot be read"};
  return a.readAll() == b.readAll() ? QStringList{} : QStringList{"the bytes differ"};
}

QStringList CompareArtworkTrees(const QString& expected, const QString& actual, ArtworkTolerance tolerance) {
  const QStringList want = FilesUnder(expected), have = FilesUnder(actual);
  QStringList differences;
  if (want.isEmpty()) differences << expected + ": no artwork found";
  for (const QString& name : want) {
    if (!have.contains(name)) {
      differences << name + ": missing";
      continue;
    }
    for (const QString& line :
         CompareArtworkFiles(QDir(expected).filePath(name), QDir(actual).filePath(name), tolerance))
      differences << name + ": " + line;
  }
  for (const QString& name : have) {
    if (!want.contains(name)) differences << name + ": not in " + expected;
  }
  return differences;
}

}  // namespace tonvik::test
