#include "install/ui/license_dialog.h"

#include <QButtonGroup>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTextBrowser>
#include <mutex>

#include "widgets/command_link.h"

// Q_INIT_RESOURCE declares a function at global scope; from a static library
// the agreement would not register itself.
static void RegisterLicenseResource() { Q_INIT_RESOURCE(license); }

namespace tonvik::install {

QString LicenseAgreementHtml() {
  static std::once_flag once;
  std::call_once(once, RegisterLicenseResource);
  QFile file(QStringLiteral(":/license/gpl-3.html"));
  if (!file.open(QIODevice::ReadOnly)) return QString();
  return QString::fromUtf8(file.readAll());
}

LicenseDialog::LicenseDialog(const SetupFonts& fonts, QWidget* parent)
    : WizardPage(fonts, kBackgroundId, QStringLiteral("License agreement"),
                 QStringLiteral("Read license terms and conditions before installing Tonvik"), parent) {
  headline_ = AddText("1001",
                      QStringLiteral("Please read the following License Agreement. You have to accept the terms of "
                                     "this agreement to install this product."),
                      fonts.text, 90, 52, 420, 22);
  QPalette black = headline_->palette();
  black.setColor(QPalette::WindowText, Qt::black);
  headline_->setPalette(black);

  agreement_ = new QTextBrowser(this);
  Place(agreement_, "1011", 90, 76, 420, 160);
  agreement_->setReadOnly(true);
  agreement_->setOpenLinks(false);
  agreement_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  agreement_->setLineWrapMode(QTextEdit::WidgetWidth);

  // Bare circles: the texts beside them are the links.
  auto* group = new QButtonGroup(this);
  accept_ = new QRadioButton(this);
  Place(accept_, "1012", 90, 244, 10, 10);
  decline_ = new QRadioButton(this);
  Place(decline_, "1013", 90, 258, 10, 10);
  for (QRadioButton* radio : {accept_, decline_}) {
    OnControlBrush(radio);
    radio->setPalette([&] {
      QPalette p = radio->palette();
      p.setColor(QPalette::WindowText, Qt::black);
      return p;
    }());
    group->addButton(radio);
    connect(radio, &QRadioButton::toggled, this, &LicenseDialog::UpdateNext);
  }

  accept_label_ = new CommandLink(QStringLiteral("I accept the agreement"), this, CommandLink::Look::NeverUnderlineBlack);
  Place(accept_label_, "1018", 102, 244, 200, 10);
  decline_label_ =
      new CommandLink(QStringLiteral("I do not accept the agreement"), this, CommandLink::Look::NeverUnderlineBlack);
  Place(decline_label_, "1019", 102, 258, 200, 10);
  for (CommandLink* label : {accept_label_, decline_label_}) {
    label->setFont(fonts.text);
    label->SetLook(CommandLink::Look::NeverUnderlineBlack);  // again, over the new font
    label->setToolTip(QString());
    OnControlBrush(label);
  }
  connect(accept_label_, &CommandLink::clicked, accept_, &QRadioButton::click);
  connect(decline_label_, &CommandLink::clicked, decline_, &QRadioButton::click);
  UpdateNext();
}

std::optional<int> LicenseDialog::Open() {
  agreement_->setHtml(LicenseAgreementHtml());
  UpdateNext();
  return std::nullopt;
}

void LicenseDialog::UpdateNext() { nextButton()->setEnabled(accept_->isChecked()); }

}  // namespace tonvik::install
