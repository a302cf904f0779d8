#include "install/ui/wizard_page.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

#include "install/ui/task_dialog.h"
#include "widgets/app_resources.h"

namespace tonvik::install {

WizardPage::WizardPage(const SetupFonts& fonts, int background_id, const QString& title, const QString& subtitle,
                       QWidget* parent)
    : QDialog(parent),
      fonts_(fonts),
      units_(font()),
      background_id_(background_id),
      title_(title),
      subtitle_(subtitle) {
  setWindowTitle(QString::fromLatin1(kSetupCaption));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setWindowIcon(AppIcon());
  setFixedSize(units_.X(kWidthUnits), units_.Y(kHeightUnits));
  // Where the picture ends the page goes on in its colour.
  QPalette p = palette();
  p.setColor(QPalette::Window, kControlBrush);
  setPalette(p);
  setAutoFillBackground(true);

  background_.Load(background_id_);

  back_ = new QPushButton(QStringLiteral("< &Back"), this);
  Place(back_, "1000", 356, 314, 50, 14);
  back_->setEnabled(false);
  next_ = new QPushButton(QStringLiteral("&Next >"), this);
  Place(next_, "1", 406, 314, 50, 14);
  next_->setDefault(true);
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  Place(cancel_, "2", 466, 314, 50, 14);
  connect(next_, &QPushButton::clicked, this, [this] { Next(); });
  connect(cancel_, &QPushButton::clicked, this, [this] { Cancel(); });
}

int WizardPage::exec() {
  if (std::optional<int> ended = Open()) {
    setResult(*ended);
    return *ended;
  }
  Centre();
  return QDialog::exec();
}

void WizardPage::Centre() {
  QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
  if (screen) move(screen->availableGeometry().center() - rect().center());
}

void WizardPage::reject() { Cancel(); }

void WizardPage::Next() { done(kPageGoOn); }

void WizardPage::Cancel() {
  if (ConfirmAbort(this)) CancelConfirmed();
}

void WizardPage::CancelConfirmed() { done(kPageStop); }

void WizardPage::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  background_.Draw(painter, 0, 0, false);
  painter.setPen(palette().color(QPalette::WindowText));
  const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;
  painter.setFont(fonts_.title);
  painter.drawText(QRect(kTitleAt, QSize(width() - kTitleAt.x(), height())), flags, title_);
  painter.setFont(fonts_.text);
  painter.drawText(QRect(kSubtitleAt, QSize(width() - kSubtitleAt.x(), height())), flags, subtitle_);
}

void WizardPage::SetStatusLater(QLabel* status, const std::u16string& text) {
  QMetaObject::invokeMethod(
      this,
      [this, status, text = QString::fromStdU16String(text)] {
        status->setText(text);
        update();
      },
      Qt::QueuedConnection);
}

void WizardPage::Place(QWidget* control, const char* id, int x, int y, int cx, int cy) {
  control->setObjectName(QString::fromLatin1(id));
  units_.Place(control, x, y, cx, cy);
}

QLabel* WizardPage::AddText(const char* id, const QString& text, const QFont& font, int x, int y, int cx, int cy) {
  auto* label = new QLabel(text, this);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setFont(font);
  Place(label, id, x, y, cx, cy);
  return label;
}

void WizardPage::OnControlBrush(QWidget* control) {
  QPalette p = control->palette();
  p.setColor(QPalette::Window, kControlBrush);
  p.setColor(QPalette::Button, kControlBrush);
  control->setPalette(p);
  control->setAutoFillBackground(true);
}

}  // namespace tonvik::install
