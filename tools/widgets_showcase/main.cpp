// A test dialog laid out like the Format dialog, for looking at the widgets:
// widgets_showcase [--disabled] [--zoom=N] [screenshot.png]. With a file name it saves a
// grab of its window half a second after showing and quits.
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QPaintEngine>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTimer>
#include <QWindow>
#include <cstdio>

#include "widgets/app_resources.h"
#include "widgets/browse_button.h"
#include "widgets/buddy_button.h"
#include "widgets/command_link.h"
#include "widgets/help_support.h"
#include "widgets/png_button.h"
#include "widgets/theme.h"
#include "widgets/widgets_init.h"

using namespace tonvik;

namespace {

// The owner-drawn logo control.
class Picture : public QWidget {
 public:
  Picture(std::shared_ptr<PNGImage> image, QWidget* parent) : QWidget(parent), image_(std::move(image)) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    static bool told = false;
    if (!told) {
      told = true;
      std::fprintf(stderr, "logo painted on a %s device\n",
                   painter.paintEngine()->paintDevice()->devType() == QInternal::Image ? "image (exact blending)"
                                                                                       : "non-image");
    }
    image_->Draw(painter, 0, 0, false);
  }

 private:
  std::shared_ptr<PNGImage> image_;
};

std::shared_ptr<PNGImage> Load(int id) {
  auto image = std::make_shared<PNGImage>();
  image->Load(id);
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (ThemeAvailable()) app.setStyle(QStringLiteral("Fusion"));
  InitWidgets();
  bool disabled = false;
  int zoom = 1;
  QString shot;
  for (int i = 1; i < argc; ++i) {
    const QString arg = QString::fromLocal8Bit(argv[i]);
    if (arg == "--disabled") disabled = true;
    else if (arg.startsWith("--zoom=")) zoom = std::max(1, arg.mid(7).toInt());
    else shot = arg;
  }

  QDialog dialog;
  dialog.setWindowTitle(QStringLiteral("Tonvik"));
  dialog.setWindowIcon(AppIcon());
  // Dialog units of the Format dialog at 1.75 x 1.75 pixels each.
  auto du = [](int x, int y, int w, int h) { return QRect(x * 7 / 4, y * 7 / 4, w * 7 / 4, h * 7 / 4); };
  dialog.setFixedSize(du(0, 0, 267, 85).size());
  ApplyThemedBackground(&dialog);

  auto logo = Load(229);
  auto* picture = new Picture(logo, &dialog);
  picture->setGeometry(du(4, 4, 72, 63));

  auto* folder = new QGroupBox(QStringLiteral("Folder"), &dialog);
  folder->setGeometry(du(78, 1, 158, 32));
  auto* edit = new QLineEdit(QStringLiteral("/home/someone/Music"), &dialog);
  edit->setGeometry(du(84, 12, 146, 13));
  auto* browse_widget = new QPushButton(QStringLiteral("&Browse"), &dialog);
  browse_widget->setGeometry(du(211, 11, 14, 13));
  BrowseButton browse;
  browse.Attach(browse_widget);
  browse.SetText(QStringLiteral("&Browse"));
  AttachBuddyButton(edit, browse_widget);

  auto* quality = new QGroupBox(QStringLiteral("Quality (Normal; VBR)"), &dialog);
  quality->setGeometry(du(78, 35, 158, 32));
  auto* presets = new QComboBox(&dialog);
  presets->addItems({QStringLiteral("Low"), QStringLiteral("Normal"), QStringLiteral("High"), QStringLiteral("Custom")});
  presets->setCurrentIndex(1);
  presets->setGeometry(du(84, 46, 44, 14));
  auto* slider = new QSlider(Qt::Horizontal, &dialog);
  slider->setRange(0, 9);
  slider->setValue(8);
  slider->setTickPosition(QSlider::TicksBelow);
  slider->setEnabled(false);
  slider->setGeometry(du(133, 48, 95, 11));

  struct ButtonRow { int id; int y; const char* text; const char* tip; } rows[] = {
      {231, 5, "&Accept", "Accept settings and start converting disc"},
      {232, 26, "&Cancel", "Cancel converting disc and quit"},
      {230, 48, "&Configure", "Change converter's options"}};
  std::vector<std::unique_ptr<PNGButton>> buttons;
  for (const auto& s : rows) {
    auto* b = new QPushButton(&dialog);
    b->setGeometry(du(241, s.y, 21, 19));
    auto png = std::make_unique<PNGButton>();
    png->Attach(b);
    png->SetImage(Load(s.id));
    png->SetText(QString::fromUtf8(s.text));
    png->SetToolTipText(QString::fromUtf8(s.tip));
    if (s.id == 231) b->setDefault(true);
    if (disabled && s.id == 230) b->setEnabled(false);
    buttons.push_back(std::move(png));
  }

  auto* link = new CommandLink(
      QStringLiteral("Click here to load track titles and other disk information from the Internet"), &dialog,
      CommandLink::Look::HoverUnderline);
  link->setAlignment(Qt::AlignCenter);
  link->setGeometry(du(4, 72, 258, 10));
  QObject::connect(link, &CommandLink::clicked, [] { std::fprintf(stderr, "link clicked\n"); });

  CHelpSupport help(HelpContext::FormatDialog);
  help.InstallHelpKey(&dialog);

  dialog.show();
  if (!shot.isEmpty()) {
    QTimer::singleShot(600, [&] {
      QPixmap pixmap = dialog.screen()->grabWindow(dialog.winId());
      if (pixmap.isNull() || pixmap.width() < 10) pixmap = dialog.grab();
      if (zoom > 1) pixmap = pixmap.scaled(pixmap.size() * zoom, Qt::KeepAspectRatio, Qt::FastTransformation);
      const bool ok = pixmap.save(shot);
      std::fprintf(stderr, "%s %s (%dx%d)\n", ok ? "saved" : "could not save", qPrintable(shot), pixmap.width(),
                   pixmap.height());
      app.exit(ok ? 0 : 1);
    });
  }
  return dialog.exec() == QDialog::Accepted ? 0 : (shot.isEmpty() ? 2 : 0);
}
