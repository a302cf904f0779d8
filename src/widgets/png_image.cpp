#include "widgets/png_image.h"

#include <QPaintEngine>
#include <QPainter>
#include <QFile>
#include <QResource>
#include <QTransform>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <mutex>

#include "core/app_exception.h"
#include "platform/syserror.h"
#include "platform/text.h"
#include "widgets/app_resources.h"
#include "widgets/blend.h"

namespace tonvik {

namespace {

std::mutex sink_mutex;
ResourceErrorSink& Sink() {
  static ResourceErrorSink sink;
  return sink;
}

bool DirectFormat(QImage::Format f) {
  return f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 ||
         f == QImage::Format_ARGB32_Premultiplied;
}

// Reads and writes one pixel of a 32-bit target as straight (unpremultiplied)
// colour; written pixels are opaque, as the off-screen copy they come from has
// no alpha.
struct TargetPixels {
  QImage& image;
  bool premultiplied;
  QRgb Read(int x, int y) const {
    QRgb v = reinterpret_cast<const QRgb*>(image.constScanLine(y))[x];
    return premultiplied ? qUnpremultiply(v) : v;
  }
  void Write(int x, int y, int r, int g, int b) {
    reinterpret_cast<QRgb*>(image.scanLine(y))[x] = qRgb(r, g, b);
  }
};

}  // namespace

void SetResourceErrorSink(ResourceErrorSink sink) {
  std::lock_guard lock(sink_mutex);
  Sink() = std::move(sink);
}

void ReportResourceError(int error_code) {
  std::u16string text = SystemErrorText(error_code);
  ResourceErrorSink sink;
  {
    std::lock_guard lock(sink_mutex);
    sink = Sink();
  }
  if (sink) {
    sink(text);
  } else {
    std::fprintf(stderr, "ERROR: %s\n", ToUtf8(text).c_str());
  }
}

void PNGImage::Load(int resource_id) { LoadPath(QStringLiteral(":/png/%1.png").arg(resource_id)); }

void PNGImage::LoadPath(const QString& path) {
  InitResources();
  Reset();
  // Find, load, lock, size: each step reports its failure and the decoding
  // goes on with what there is, so a missing picture ends in ImageDecodeError.
  QByteArray bytes;
  if (path.startsWith(u':')) {
    QResource resource(path);
    if (!resource.isValid()) {
      ReportResourceError(ENOENT);
    } else {
      bytes = resource.uncompressedData();
      if (bytes.isEmpty() && resource.size() > 0) ReportResourceError(EIO);
    }
  } else {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
      ReportResourceError(file.exists() ? EACCES : ENOENT);
    } else {
      bytes = file.readAll();
      if (file.error() != QFileDevice::NoError) ReportResourceError(EIO);
    }
  }
  Decode(reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<size_t>(bytes.size()));
}

void PNGImage::CheckWorkingSize() const {
  // The drawing loops walk the picture by the accessors; they must describe
  // the block the header describes.
  if (Width() != header_.width || Height() != header_.height ||
      RowBytes() != BitmapRowBytes(static_cast<size_t>(header_.width), header_.bit_count)) {
    throw UIException("bad png");
  }
}

void PNGImage::Pixel(int ix, int iy, bool grayscale, int* r, int* g, int* b, int* a,
                     bool* keyed) const {
  const int bitmap_row = Height() - 1 - iy;
  const uint8_t* p = PixelData() + static_cast<size_t>(bitmap_row) * RowBytes() + ix * 3;
  *b = p[0];
  *g = p[1];
  *r = p[2];
  const int stored = HasAlpha() ? alpha_[static_cast<size_t>(bitmap_row) * Width() + ix] : 255;
  *a = blend::ScaleAlpha(stored, opacity_);
  if (grayscale) *r = *g = *b = blend::Lightness(*r, *g, *b);
  *keyed = transparent_ != kNoTransparentColour && qRgb(*r, *g, *b) == (0xFF000000u | unsigned(transparent_));
}

bool PNGImage::Blend(QImage& target, int x, int y, bool grayscale, const QRect& clip) const {
  CheckWorkingSize();
  QRect box = QRect(x, y, Width(), Height()) & target.rect();
  if (!clip.isNull()) box &= clip;
  if (box.isEmpty()) return true;
  TargetPixels out{target, target.format() == QImage::Format_ARGB32_Premultiplied};
  const bool plain_copy = !HasAlpha() && transparent_ == kNoTransparentColour;
  for (int ty = box.top(); ty <= box.bottom(); ++ty) {
    for (int tx = box.left(); tx <= box.right(); ++tx) {
      int r, g, b, a;
      bool keyed;
      Pixel(tx - x, ty - y, grayscale, &r, &g, &b, &a, &keyed);
      if (plain_copy) {
        out.Write(tx, ty, r, g, b);
        continue;
      }
      if (keyed || a == 0) continue;
      if (a == 255) {
        out.Write(tx, ty, r, g, b);
        continue;
      }
      const QRgb d = out.Read(tx, ty);
      out.Write(tx, ty, blend::Channel(qRed(d), r, a), blend::Channel(qGreen(d), g, a),
                blend::Channel(qBlue(d), b, a));
    }
  }
  return true;
}

bool PNGImage::Draw(QImage& target, int x, int y, bool grayscale, const QRect& clip) const {
  if (Empty() || !enabled_ || target.isNull()) return false;
  if (DirectFormat(target.format())) return Blend(target, x, y, grayscale, clip);
  const QImage::Format original = target.format();
  QImage work = target.convertToFormat(QImage::Format_ARGB32);
  Blend(work, x, y, grayscale, clip);
  target = work.convertToFormat(original);
  return true;
}

bool PNGImage::Draw(QPainter& painter, int x, int y, bool grayscale) const {
  if (Empty() || !enabled_ || !painter.isActive()) return false;
  QPaintEngine* engine = painter.paintEngine();
  QPaintDevice* device = engine ? engine->paintDevice() : nullptr;
  const QTransform t = painter.deviceTransform();
  const bool integer_shift = t.type() <= QTransform::TxTranslate && t.dx() == std::floor(t.dx()) &&
                             t.dy() == std::floor(t.dy());
  if (device && device->devType() == QInternal::Image && integer_shift) {
    auto* image = static_cast<QImage*>(device);
    if (DirectFormat(image->format()) && image->devicePixelRatio() == 1.0) {
      const int dx = static_cast<int>(t.dx()), dy = static_cast<int>(t.dy());
      QRect clip = image->rect();
      if (painter.hasClipping()) clip &= painter.clipBoundingRect().toAlignedRect().translated(dx, dy);
      const QRegion system_clip = engine->systemClip();
      if (!system_clip.isEmpty()) clip &= system_clip.boundingRect();
      if (clip.isEmpty()) return true;
      return Blend(*image, x + dx, y + dy, grayscale, clip);
    }
  }
  CheckWorkingSize();
  painter.drawImage(QPoint(x, y), ToImage(grayscale));
  return true;
}

QImage PNGImage::OnColour(QRgb colour, bool grayscale) const {
  QImage out(Width(), Height(), QImage::Format_RGB32);
  out.fill(colour);
  Blend(out, 0, 0, grayscale, QRect());
  return out;
}

bool PNGImage::DrawOnColour(QImage& target, QRgb colour, const QRect& clip) const {
  if (Empty() || !enabled_ || target.isNull()) return false;
  const QImage picture = OnColour(colour);
  QRect box = QRect(0, 0, Width(), Height()) & target.rect();
  if (!clip.isNull()) box &= clip;
  if (box.isEmpty()) return true;
  const QImage::Format original = target.format();
  QImage work = DirectFormat(original) ? QImage() : target.convertToFormat(QImage::Format_ARGB32);
  QImage& out = DirectFormat(original) ? target : work;
  for (int y = box.top(); y <= box.bottom(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    const auto* in = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
    for (int x = box.left(); x <= box.right(); ++x) line[x] = in[x];  // opaque: same in every 32-bit form
  }
  if (!DirectFormat(original)) target = work.convertToFormat(original);
  return true;
}

bool PNGImage::DrawOnColour(QPainter& painter, QRgb colour) const {
  if (Empty() || !enabled_ || !painter.isActive()) return false;
  // Over a solid colour the result is opaque, so QPainter only copies it.
  painter.drawImage(QPoint(0, 0), OnColour(colour));
  return true;
}

QImage PNGImage::ToImage(bool grayscale) const {
  if (Empty()) return QImage();
  CheckWorkingSize();
  QImage out(Width(), Height(), QImage::Format_ARGB32);
  for (int y = 0; y < Height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < Width(); ++x) {
      int r, g, b, a;
      bool keyed;
      Pixel(x, y, grayscale, &r, &g, &b, &a, &keyed);
      line[x] = qRgba(r, g, b, keyed ? 0 : a);
    }
  }
  return out;
}

}  // namespace tonvik
