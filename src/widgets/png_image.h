// An image from a PNG resource, painted with per-pixel alpha over what the
// target already shows. Images are owned by their users; buttons share theirs
// through std::shared_ptr so one image can serve several buttons.
#pragma once
#include <QImage>
#include <QRect>
#include <QRgb>
#include <QString>
#include <functional>
#include <string>

#include "widgets/png_image_base.h"

class QPainter;

namespace tonvik {

class PNGImage : public PNGImageBase {
 public:
  // Virtual accessors, in slot order. Drawing reads the picture through them
  // and checks their size against the header ("bad png" on a mismatch).
  virtual const uint8_t* PixelData() const { return Pixels(); }
  virtual bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < Width() && y < ImageHeight(); }
  virtual size_t RowBytes() const { return BitmapRowBytes(static_cast<size_t>(Width()), BitsPerPixel()); }
  virtual int Height() const { return ImageHeight(); }

  // Decodes PNG resource `resource_id` (":/png/<id>.png"). A resource that
  // cannot be found or read is reported through the resource error sink, then
  // decoding goes on and fails with ImageDecodeError.
  void Load(int resource_id);
  // The same for any resource or file path Qt can open.
  void LoadPath(const QString& path);

  // Blends the whole picture with its top-left at (x, y) into target, limited
  // to the clip box (empty: the whole target). grayscale paints every pixel in
  // its lightness. False when there is nothing to paint (no picture, null
  // target, image disabled). Throws UIException "bad png" when the accessors
  // disagree with the header.
  bool Draw(QImage& target, int x, int y, bool grayscale, const QRect& clip = QRect()) const;
  // On a raster painter whose device is an image (a widget's backing store, or
  // a QImage) with an integer translation, the same exact arithmetic on the
  // device's pixels within the painter's clip. Elsewhere (printers, scaled or
  // rotated painters) the prepared picture is composed by QPainter.
  bool Draw(QPainter& painter, int x, int y, bool grayscale) const;

  // Paints at (0, 0) over a solid colour instead of the target's content.
  bool DrawOnColour(QImage& target, QRgb colour, const QRect& clip = QRect()) const;
  bool DrawOnColour(QPainter& painter, QRgb colour) const;

  // The picture over a solid colour as an opaque image (what DrawOnColour paints).
  QImage OnColour(QRgb colour, bool grayscale = false) const;
  // The picture with its effective alpha, for composition by QPainter (icons).
  QImage ToImage(bool grayscale = false) const;

 private:
  void CheckWorkingSize() const;
  // Colour and effective alpha of picture pixel (ix, iy), top-down coordinates.
  void Pixel(int ix, int iy, bool grayscale, int* r, int* g, int* b, int* a, bool* keyed) const;
  bool Blend(QImage& target, int x, int y, bool grayscale, const QRect& clip) const;
};

// Where the resource steps report a failure (the text of the system error).
// The widgets library installs a message box with the caption "ERROR"; the
// default writes one line to standard error.
using ResourceErrorSink = std::function<void(const std::u16string& text)>;
void SetResourceErrorSink(ResourceErrorSink sink);
void ReportResourceError(int error_code);

}  // namespace tonvik
