// The buttons, the buddy strip, the command link, help and theme, in process
// on the offscreen platform.
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QTimer>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "png_writer.h"
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

std::shared_ptr<PNGImage> SolidImage(int r, int g, int b, int a) {
  std::vector<uint8_t> rgba;
  for (int i = 0; i < 24 * 24; ++i) rgba.insert(rgba.end(), {uint8_t(r), uint8_t(g), uint8_t(b), uint8_t(a)});
  auto png = testing::EncodeRgba(24, 24, rgba);
  auto image = std::make_shared<PNGImage>();
  image->Decode(png.data(), png.size());
  return image;
}

QImage Render(QWidget* w) {
  QImage image(w->size(), QImage::Format_RGB32);
  image.fill(Qt::white);
  w->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
  return image;
}

// Where the text cursor stands, in edit coordinates (the rectangle the edit
// box reports is padded on both sides). The edit box works out its scrolling
// when it paints, so it paints first.
int CursorRight(QLineEdit* edit) {
  edit->repaint();
  return edit->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x();
}

}  // namespace

class WidgetsUiTest : public QObject {
  Q_OBJECT
 private slots:
  void browseButtonFollowsTheEditBox();
  void typingNeverReachesUnderTheButton();
  void buddyRecordGoesAwayWithTheEditBox();
  void attachRefusesMissingWidgets();
  void disabledImageButtonPaintsGray_data();
  void disabledImageButtonPaintsGray();
  void imageButtonStatePrecedence();
  void browseButtonPaintsDots();
  void attachedButtonsLetGoOfTheirButtons();
  void commandLinkLooksAndClicks();
  void helpOpensTheDocumentAtTheContext();
  void helpDoesNothingWithoutTheDocument();
  void themedBackground();
  void resourcesAreThere();
  void widgetPaintingBlendsExactly();
  void missingResourceShowsErrorBox();
};

// A window that paints a half-transparent black picture over white.
class BlendWindow : public QWidget {
 public:
  explicit BlendWindow(std::shared_ptr<PNGImage> image) : image_(std::move(image)) {
    setAutoFillBackground(false);
    resize(40, 40);
  }
  bool drawn = false;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.setClipRect(QRect(0, 20, 40, 20));  // only the lower rows may change
    drawn = image_->Draw(painter, 4, 8, false);
  }

 private:
  std::shared_ptr<PNGImage> image_;
};

void WidgetsUiTest::browseButtonFollowsTheEditBox() {
  QDialog dialog;
  dialog.resize(400, 200);
  auto* edit = new QLineEdit(&dialog);
  edit->setGeometry(10, 20, 200, 24);
  auto* button = new QPushButton(QStringLiteral("&Browse"), &dialog);
  button->resize(20, 20);
  BrowseButton browse;
  QVERIFY(browse.Attach(button));
  QVERIFY(AttachBuddyButton(edit, button));
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog, 120000));

  struct Step { QRect edit_geometry; } steps[] = {{QRect(10, 20, 200, 24)}, {QRect(10, 20, 320, 24)},
                                                  {QRect(40, 90, 150, 30)}, {QRect(5, 5, 120, 22)}};
  for (const auto& step : steps) {
    edit->setGeometry(step.edit_geometry);
    const QRect g = button->geometry();
    // Inside the edit box, against its right inner edge, the full inner height.
    QVERIFY2(step.edit_geometry.contains(g), qPrintable(QStringLiteral("%1,%2 %3x%4").arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height())));
    QCOMPARE(g.width(), 20);
    QVERIFY(step.edit_geometry.right() - g.right() <= 3);
    QVERIFY(g.top() - step.edit_geometry.top() <= 3);
    QVERIFY(step.edit_geometry.bottom() - g.bottom() <= 3);
    QVERIFY(g.height() >= step.edit_geometry.height() - 6);
  }
  // Clicks in the strip reach the button.
  QSignalSpy clicked(button, &QPushButton::clicked);
  QTest::mouseClick(button, Qt::LeftButton);
  QCOMPARE(clicked.count(), 1);
}

void WidgetsUiTest::typingNeverReachesUnderTheButton() {
  QDialog dialog;
  auto* edit = new QLineEdit(&dialog);
  edit->setGeometry(10, 10, 160, 24);
  auto* button = new QPushButton(&dialog);
  button->resize(22, 20);
  QVERIFY(AttachBuddyButton(edit, button));
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog, 120000));
  edit->setFocus();
  QCOMPARE(edit->textMargins().right(), 22);
  const int button_left = edit->mapFromGlobal(button->mapToGlobal(QPoint(0, 0))).x();
  QTest::keyClicks(edit, QStringLiteral("/home/someone/Music/a rather long folder name that scrolls"));
  QVERIFY2(CursorRight(edit) < button_left, qPrintable(QString::number(CursorRight(edit))));
  edit->resize(100, 24);
  QTest::keyClicks(edit, QStringLiteral("WWWW"));
  const int left_after = edit->mapFromGlobal(button->mapToGlobal(QPoint(0, 0))).x();
  QVERIFY(CursorRight(edit) < left_after);
  QVERIFY(left_after < button_left);
}

void WidgetsUiTest::buddyRecordGoesAwayWithTheEditBox() {
  QDialog dialog;
  auto* edit = new QLineEdit(&dialog);
  edit->setGeometry(0, 0, 150, 24);
  auto* button = new QPushButton(&dialog);
  button->resize(18, 18);
  QVERIFY(AttachBuddyButton(edit, button));
  QPointer<BuddyButtonData> record = FindBuddyButtonData(edit);
  QVERIFY(record);
  QCOMPARE(record->width, 18);
  QCOMPARE(record->side, kBuddySideRight);
  QCOMPARE(record->button.data(), static_cast<QAbstractButton*>(button));
  QVERIFY(edit->property("BuddyButtonData").isValid());

  // Attaching again replaces the record instead of stacking a second margin.
  QVERIFY(AttachBuddyButton(edit, button));
  QVERIFY(record.isNull());
  QCOMPARE(edit->textMargins().right(), 18);
  record = FindBuddyButtonData(edit);

  const QRect before = button->geometry();
  delete edit;
  QVERIFY(record.isNull());
  QCOMPARE(button->geometry(), before);  // the button itself stays, untouched
}

void WidgetsUiTest::attachRefusesMissingWidgets() {
  QLineEdit edit;
  QPushButton button;
  QVERIFY(!AttachBuddyButton(nullptr, &button));
  QCOMPARE(LastBuddyError(), kErrorInvalidWindowHandle);
  QVERIFY(!AttachBuddyButton(&edit, nullptr));
  QCOMPARE(LastBuddyError(), kErrorInvalidWindowHandle);
  QVERIFY(FindBuddyButtonData(&edit) == nullptr);
  QCOMPARE(edit.textMargins().right(), 0);
}

void WidgetsUiTest::disabledImageButtonPaintsGray_data() {
  QTest::addColumn<bool>("themed");
  QTest::addColumn<bool>("enabled");
  QTest::addColumn<QRgb>("expected");
  QTest::newRow("themed enabled") << true << true << qRgb(255, 0, 0);
  QTest::newRow("themed disabled") << true << false << qRgb(127, 127, 127);
  QTest::newRow("classic enabled") << false << true << qRgb(255, 0, 0);
  QTest::newRow("classic disabled") << false << false << qRgb(127, 127, 127);
}

void WidgetsUiTest::disabledImageButtonPaintsGray() {
  QFETCH(bool, themed);
  QFETCH(bool, enabled);
  QFETCH(QRgb, expected);
  OverrideThemeAvailableForTesting(themed);
  QPushButton button(QStringLiteral("&Accept"));
  button.resize(40, 40);
  PNGButton image_button;
  QVERIFY(image_button.Attach(&button));
  image_button.SetImage(SolidImage(255, 0, 0, 255));
  image_button.SetToolTipText(QStringLiteral("Accept settings and start converting disc"));
  button.setEnabled(enabled);
  const QImage shot = Render(&button);
  OverrideThemeAvailableForTesting(std::nullopt);
  QCOMPARE(button.toolTip(), QStringLiteral("Accept settings and start converting disc"));
  // The picture's middle, wherever the content rectangle starts.
  int matching = 0;
  for (int y = 0; y < shot.height(); ++y)
    for (int x = 0; x < shot.width(); ++x) matching += shot.pixel(x, y) == expected;
  QVERIFY2(matching >= 20 * 20, qPrintable(QString::number(matching)));
  const QRgb other = enabled ? qRgb(127, 127, 127) : qRgb(255, 0, 0);
  int wrong = 0;
  for (int y = 0; y < shot.height(); ++y)
    for (int x = 0; x < shot.width(); ++x) wrong += shot.pixel(x, y) == other;
  QCOMPARE(wrong, 0);
}

void WidgetsUiTest::imageButtonStatePrecedence() {
  QDialog dialog;
  auto* button = new QPushButton(&dialog);
  auto* other = new QPushButton(&dialog);
  other->move(0, 50);
  PNGButton b;
  QVERIFY(b.Attach(button));
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog, 120000));
  other->setFocus();
  QCOMPARE(b.CurrentState(), PNGButton::kNormal);
  button->setFocus();
  QCOMPARE(b.CurrentState(), PNGButton::kDefaulted);
  button->setDown(true);
  QCOMPARE(b.CurrentState(), PNGButton::kPressed);
  button->setDown(false);
  button->setEnabled(false);
  QCOMPARE(b.CurrentState(), PNGButton::kDisabled);
  b.SetText(QStringLiteral("&Cancel"));
  QCOMPARE(button->text(), QStringLiteral("&Cancel"));
}

void WidgetsUiTest::browseButtonPaintsDots() {
  for (bool themed : {true, false}) {
    OverrideThemeAvailableForTesting(themed);
    QPushButton button(QStringLiteral("&Browse"));
    button.resize(20, 20);
    BrowseButton browse;
    QVERIFY(browse.Attach(&button));
    browse.SetText(QStringLiteral("&Browse"));
    const QImage shot = Render(&button);
    // Dark text pixels near the middle, and no trace of the word "Browse":
    // the text is only a mnemonic.
    int dark_middle = 0, dark_elsewhere = 0;
    for (int y = 0; y < shot.height(); ++y)
      for (int x = 0; x < shot.width(); ++x) {
        const bool dark = qGray(shot.pixel(x, y)) < 90;
        const bool middle = y >= 8 && y <= 16 && x >= 4 && x <= 17;
        (middle ? dark_middle : dark_elsewhere) += dark;
      }
    QVERIFY2(dark_middle >= 3, qPrintable(QString::number(dark_middle)));
    QCOMPARE(button.text(), QStringLiteral("&Browse"));
    QCOMPARE(browse.CurrentState(), BrowseButton::kNormal);
    button.setEnabled(false);
    QCOMPARE(browse.CurrentState(), BrowseButton::kDisabled);
  }
  OverrideThemeAvailableForTesting(std::nullopt);
}

namespace {

// Counts the paint events that reach it. Installed on a button before a
// painter attaches, it runs after the painter's filter: it sees only what the
// painter lets through to the button's own painting.
class PaintSpy : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

template <typename Painter>
void CheckAttachingAndLettingGo() {
  QPushButton first(QStringLiteral("&First")), second(QStringLiteral("&Second"));
  first.resize(40, 24);
  second.resize(40, 24);
  PaintSpy own_first, own_second;
  first.installEventFilter(&own_first);
  second.installEventFilter(&own_second);
  {
    Painter painter;
    QVERIFY(!painter.Attach(nullptr));
    QVERIFY(painter.Attach(&first));
    Render(&first);
    Render(&second);
    QCOMPARE(own_first.paints, 0);
    QVERIFY(own_second.paints > 0);

    // Attached elsewhere, it gives the first button its own painting back.
    QVERIFY(painter.Attach(&second));
    QCOMPARE(painter.Button(), &second);
    own_first.paints = own_second.paints = 0;
    Render(&first);
    Render(&second);
    QVERIFY(own_first.paints > 0);
    QCOMPARE(own_second.paints, 0);
    painter.SetText(QStringLiteral("&Other"));
    QCOMPARE(second.text(), QStringLiteral("&Other"));
    QCOMPARE(second.accessibleName(), QStringLiteral("Other"));

    // A button destroyed while attached (shown, so the destruction hides it
    // and sends events) is let go of; what follows does nothing.
    auto* doomed = new QPushButton(QStringLiteral("&Doomed"));
    QVERIFY(painter.Attach(doomed));
    doomed->show();
    QVERIFY(QTest::qWaitForWindowExposed(doomed, 120000));
    delete doomed;
    QVERIFY(painter.Button() == nullptr);
    painter.SetText(QStringLiteral("&Gone"));
    QCOMPARE(painter.CurrentState(), Painter::kNormal);
    QVERIFY(painter.Attach(&second));
  }
  // A painter destroyed first leaves the button to paint itself.
  own_second.paints = 0;
  Render(&second);
  QVERIFY(own_second.paints > 0);
}

}  // namespace

void WidgetsUiTest::attachedButtonsLetGoOfTheirButtons() {
  CheckAttachingAndLettingGo<PNGButton>();
  if (QTest::currentTestFailed()) return;
  CheckAttachingAndLettingGo<BrowseButton>();
}

void WidgetsUiTest::commandLinkLooksAndClicks() {
  QDialog dialog;
  dialog.resize(300, 100);
  auto* link = new CommandLink(QStringLiteral("Click here to load track titles"), &dialog);
  link->setGeometry(0, 0, 300, 20);
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog, 120000));
  QSignalSpy clicked(link, &CommandLink::clicked);
  QVERIFY(link->toolTip().isEmpty());
  QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);

  // Hover look: underlined only while the mouse is over it.
  QVERIFY(!link->Underlined());
  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
  QCoreApplication::sendEvent(link, &enter);
  QVERIFY(link->Underlined());
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(link, &leave);
  QVERIFY(!link->Underlined());

  link->SetLook(CommandLink::Look::AlwaysUnderline);
  QVERIFY(link->Underlined());
  QCOMPARE(link->palette().color(QPalette::WindowText), dialog.palette().color(QPalette::Link));
  link->SetLook(CommandLink::Look::NeverUnderlineBlack);
  QCoreApplication::sendEvent(link, &enter);
  QVERIFY(!link->Underlined());
  QCOMPARE(link->palette().color(QPalette::WindowText), QColor(Qt::black));

  QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(10, 10));
  QCOMPARE(clicked.count(), 1);
  // Pressed on the link, released outside: no click.
  QTest::mousePress(link, Qt::LeftButton, {}, QPoint(10, 10));
  QTest::mouseRelease(link, Qt::LeftButton, {}, QPoint(10, 60));
  QCOMPARE(clicked.count(), 1);
  link->setFocus();
  QTest::keyClick(link, Qt::Key_Space);
  QCOMPARE(clicked.count(), 2);

  link->Detach();
  QVERIFY(!link->IsLink());
  QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(10, 10));
  QCOMPARE(clicked.count(), 2);
  QCOMPARE(link->cursor().shape(), Qt::ArrowCursor);
  QCOMPARE(link->palette().color(QPalette::WindowText), dialog.palette().color(QPalette::WindowText));
}

void WidgetsUiTest::helpOpensTheDocumentAtTheContext() {
  QTemporaryDir app_dir;
  QVERIFY(app_dir.isValid());
  QFile document(app_dir.filePath(QStringLiteral("pellorin.html")));
  QVERIFY(document.open(QIODevice::WriteOnly));
  document.write(HelpDocumentBytes());
  document.close();
  Settings settings;
  settings.AppPath = (app_dir.path() + QLatin1Char('/')).toStdU16String();

  QList<QUrl> opened;
  CHelpSupport::SetOpener([&](const QUrl& url) { opened << url; return true; });
  for (int context : {kHelpContextFormat, kHelpContextProgress, kHelpContextConfiguration}) {
    CHelpSupport help(context, settings);
    QCOMPARE(QString::fromStdU16String(help.HelpPath()), app_dir.filePath(QStringLiteral("pellorin.html")));
    QVERIFY(help.OpenHelp());
    QCOMPARE(opened.last().toLocalFile(), app_dir.filePath(QStringLiteral("pellorin.html")));
    QCOMPARE(opened.last().fragment(), QStringLiteral("context-%1").arg(context));
  }

  // F1 in the dialog asks for the same.
  QDialog dialog;
  auto* edit = new QLineEdit(&dialog);
  CHelpSupport help(kHelpContextProgress, settings);
  help.InstallHelpKey(&dialog);
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog, 120000));
  edit->setFocus();
  opened.clear();
  QTest::keyClick(edit, Qt::Key_F1);
  QCOMPARE(opened.size(), 1);
  QCOMPARE(opened[0].fragment(), QStringLiteral("context-2"));
  CHelpSupport::SetOpener(nullptr);
}

void WidgetsUiTest::helpDoesNothingWithoutTheDocument() {
  QTemporaryDir empty_dir;
  QList<QUrl> opened;
  CHelpSupport::SetOpener([&](const QUrl& url) { opened << url; return true; });
  Settings missing;
  missing.AppPath = (empty_dir.path() + QLatin1Char('/')).toStdU16String();
  QVERIFY(!CHelpSupport(1, missing).OpenHelp());
  Settings unset;
  unset.AppPath.clear();
  QVERIFY(!CHelpSupport(1, unset).OpenHelp());
  Settings relative;
  relative.AppPath = u"lib/tonvik/";
  QVERIFY(!CHelpSupport(1, relative).OpenHelp());
  QVERIFY(opened.isEmpty());
  // A desktop that refuses the address: false, and nothing else happens.
  QFile(empty_dir.filePath(QStringLiteral("pellorin.html"))).open(QIODevice::WriteOnly);
  CHelpSupport::SetOpener([&](const QUrl& url) { opened << url; return false; });
  QVERIFY(!CHelpSupport(3, missing).OpenHelp());
  QCOMPARE(opened.size(), 1);
  CHelpSupport::SetOpener(nullptr);
}

void WidgetsUiTest::themedBackground() {
  QVERIFY(ThemeAvailable());  // Fusion is part of qtbase
  QDialog themed;
  ApplyThemedBackground(&themed);
  QVERIFY(themed.autoFillBackground());
  QCOMPARE(themed.palette().brush(QPalette::Window).style(), Qt::LinearGradientPattern);
  OverrideThemeAvailableForTesting(false);
  QDialog plain;
  ApplyThemedBackground(&plain);
  QVERIFY(!plain.autoFillBackground());
  QCOMPARE(plain.palette().brush(QPalette::Window).style(), Qt::SolidPattern);
  OverrideThemeAvailableForTesting(std::nullopt);
}

void WidgetsUiTest::resourcesAreThere() {
  const QIcon icon = AppIcon();
  for (int size : {16, 32, 48, 256}) QVERIFY(icon.availableSizes().contains(QSize(size, size)));
  for (int i = 0; i < kTrayIconCount; ++i) QVERIFY(!TrayIcon(i).pixmap(16, 16).isNull());
  QVERIFY(TrayIcon(kTrayIconCount).isNull());
  // Consecutive tray frames differ (the disc turns), the first and a full turn agree.
  QVERIFY(TrayIcon(0).pixmap(16, 16).toImage() != TrayIcon(1).pixmap(16, 16).toImage());

  // The chime: a RIFF/WAVE PCM file, 44100 Hz mono 16-bit, under a second,
  // not clipped, and silent at its end.
  const QByteArray wav = SoundBytes();
  QVERIFY(wav.size() > 44);
  QCOMPARE(wav.left(4), QByteArray("RIFF"));
  QCOMPARE(wav.mid(8, 8), QByteArray("WAVEfmt "));
  auto le16 = [&](int at) { return qFromLittleEndian<qint16>(wav.constData() + at); };
  auto le32 = [&](int at) { return qFromLittleEndian<quint32>(wav.constData() + at); };
  QCOMPARE(le16(20), qint16(1));
  QCOMPARE(le16(22), qint16(1));
  QCOMPARE(le32(24), 44100u);
  QCOMPARE(le16(34), qint16(16));
  QCOMPARE(wav.mid(36, 4), QByteArray("data"));
  const quint32 bytes = le32(40);
  QCOMPARE(quint32(wav.size() - 44), bytes);
  QVERIFY(bytes / 2 > 44100 / 4 && bytes / 2 < 44100);
  int peak = 0;
  for (quint32 i = 0; i < bytes / 2; ++i) peak = std::max(peak, std::abs(int(le16(44 + 2 * i))));
  QVERIFY(peak > 8000 && peak < 32767);
  QVERIFY(std::abs(le16(44 + bytes - 2)) < 50);

  // The help document carries one anchor per help context.
  const QByteArray help = HelpDocumentBytes();
  for (int context : {1, 2, 3}) QVERIFY(help.contains(QStringLiteral("id=\"context-%1\"").arg(context).toUtf8()));
}

void WidgetsUiTest::widgetPaintingBlendsExactly() {
  BlendWindow window(SolidImage(0, 0, 0, 128));
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window, 120000));
  window.repaint();
  QVERIFY(window.drawn);
  const QImage shot = window.screen()->grabWindow(window.winId()).toImage();
  QCOMPARE(shot.size(), QSize(40, 40));
  // The picture covers x 4..27, y 8..31; the clip lets only y >= 20 change.
  QCOMPARE(shot.pixel(10, 12), qRgb(255, 255, 255));
  QCOMPARE(shot.pixel(10, 25), qRgb(126, 126, 126));
  QCOMPARE(shot.pixel(27, 31), qRgb(126, 126, 126));
  QCOMPARE(shot.pixel(28, 25), qRgb(255, 255, 255));
  QCOMPARE(shot.pixel(10, 32), qRgb(255, 255, 255));
}

void WidgetsUiTest::missingResourceShowsErrorBox() {
  InstallResourceErrorBox();
  QString caption, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    caption = box->windowTitle();
    text = box->text();
    icon = box->icon();
    box->accept();
  });
  PNGImage image;
  QVERIFY_THROWS_EXCEPTION(ImageDecodeError, image.Load(4242));
  SetResourceErrorSink(nullptr);
  QCOMPARE(caption, QStringLiteral("ERROR"));
  QCOMPARE(text, QStringLiteral("No such file or directory"));
  QCOMPARE(icon, QMessageBox::Critical);
}

int main(int argc, char** argv) {
  // Our own hives in a sandbox, so Settings never reads the developer's.
  QTemporaryDir sandbox;
  qputenv("XDG_CONFIG_HOME", sandbox.filePath(QStringLiteral("user")).toUtf8());
  qputenv("XDG_CONFIG_DIRS", sandbox.filePath(QStringLiteral("machine")).toUtf8());
  QApplication app(argc, argv);
  app.setStyle(QStringLiteral("Fusion"));
  WidgetsUiTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "widgets_ui_test.moc"
