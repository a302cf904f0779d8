// tonvik_artwork <resources folder>: writes every picture, icon and sound of
// the program under png/, icon/ and sound/, named by resource number.
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QStringList>
#include <cstdio>

#include "artwork.h"

namespace {

bool Save(const QImage& image, const QString& path) {
  // Straight alpha, so the files carry 8-bit RGBA as the decoder expects.
  if (!image.convertToFormat(QImage::Format_ARGB32).save(path, "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

}  // namespace

// Every picture scaled up on one light and one dark strip, for looking at them.
int ContactSheet(const QDir& in, const QString& path) {
  QStringList files;
  for (const char* name : {"png/229", "png/230", "png/231", "png/232", "png/241", "png/242", "png/243",
                           "png/256", "png/257", "png/258", "png/259", "icon/244", "icon/247", "icon/250",
                           "icon/128-16", "icon/128-32", "icon/128-48", "png/202", "png/209", "png/208", "png/207"})
    files << in.filePath(QStringLiteral("%1.png").arg(name));
  QImage sheet(1700, 980, QImage::Format_ARGB32_Premultiplied);
  sheet.fill(QColor(0xF0, 0xF0, 0xF0));
  QPainter p(&sheet);
  p.fillRect(0, 200, 1700, 200, QColor(0x30, 0x30, 0x30));
  int x = 10;
  for (int i = 0; i < files.size(); ++i) {
    QImage image(files[i]);
    if (i >= 17) {
      const QImage big = image.height() > 400 ? image.scaledToHeight(275, Qt::SmoothTransformation) : image;
      static int bx = 10;
      p.drawImage(bx, 420 + (i == 17 ? 0 : 0), big);
      p.drawImage(bx, 700, big.scaledToHeight(275));
      bx += big.width() + 10;
      continue;
    }
    const int scale = image.width() <= 16 ? 6 : image.width() <= 24 ? 4 : image.width() > 60 ? 1 : 2;
    const QImage big = image.scaled(image.size() * scale, Qt::KeepAspectRatio, Qt::FastTransformation);
    p.drawImage(x, 10, big);
    p.drawImage(x, 210, big);
    x += big.width() + 8;
  }
  p.end();
  return sheet.save(path) ? 0 : 1;
}

int main(int argc, char** argv) {
  if (argc == 4 && QString::fromLocal8Bit(argv[1]) == "--contact-sheet")
    return ContactSheet(QDir(QString::fromLocal8Bit(argv[2])), QString::fromLocal8Bit(argv[3]));
  if (argc != 2) {
    std::fprintf(stderr, "usage: tonvik_artwork <resources folder>\n");
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  for (const char* sub : {"png", "icon", "sound"}) out.mkpath(sub);
  auto png = [&](int id) { return out.filePath(QStringLiteral("png/%1.png").arg(id)); };
  auto icon = [&](const QString& name) { return out.filePath(QStringLiteral("icon/%1.png").arg(name)); };
  using namespace artwork;
  bool ok = true;
  ok &= Save(Logo(100), png(229));
  ok &= Save(ConfigureGlyph(), png(230));
  ok &= Save(AcceptGlyph(), png(231));
  ok &= Save(CancelGlyph(), png(232));
  ok &= Save(ResumeGlyph(), png(241));
  ok &= Save(HideGlyph(), png(242));
  ok &= Save(PauseGlyph(), png(243));
  ok &= Save(SidePicture(), png(202));
  ok &= Save(WizardPage(2), png(207));
  ok &= Save(WizardPage(1), png(208));
  ok &= Save(WizardPage(0), png(209));
  for (int i = 0; i < 8; ++i) ok &= Save(Disc(16, i * 45.0, false), png(256 + i));
  for (int i = 0; i < 12; ++i) ok &= Save(Disc(16, i * 30.0, true), icon(QString::number(244 + i)));
  // At 16 pixels the note badge turns to mush; the small icon is the ringed disc.
  ok &= Save(Disc(16, 200.0, true), icon(QStringLiteral("128-16")));
  for (int size : {32, 48, 256}) ok &= Save(Logo(size), icon(QStringLiteral("128-%1").arg(size)));
  QFile wav(out.filePath("sound/221.wav"));
  ok &= wav.open(QIODevice::WriteOnly) && wav.write(Chime()) > 0;
  return ok ? 0 : 1;
}
