// The licence page: the agreement in a read-only rich-text box and the choice
// to accept it; Next is enabled exactly while "I accept the agreement" is chosen.
#pragma once
#include "install/ui/wizard_page.h"

class QLabel;
class QRadioButton;
class QTextBrowser;

namespace tonvik {
class CommandLink;
}

namespace tonvik::install {

// The agreement as HTML, from the program's resources.
QString LicenseAgreementHtml();

class LicenseDialog : public WizardPage {
  Q_OBJECT
 public:
  static constexpr int kDialogId = 202;
  static constexpr int kBackgroundId = 208;

  explicit LicenseDialog(const SetupFonts& fonts, QWidget* parent = nullptr);

  std::optional<int> Open() override;

  QTextBrowser* agreement() const { return agreement_; }
  QRadioButton* acceptRadio() const { return accept_; }
  QRadioButton* declineRadio() const { return decline_; }
  CommandLink* acceptLabel() const { return accept_label_; }
  CommandLink* declineLabel() const { return decline_label_; }

 private:
  void UpdateNext();

  QLabel* headline_ = nullptr;           // 1001
  QTextBrowser* agreement_ = nullptr;    // 1011
  QRadioButton* accept_ = nullptr;       // 1012
  QRadioButton* decline_ = nullptr;      // 1013
  CommandLink* accept_label_ = nullptr;  // 1018
  CommandLink* decline_label_ = nullptr; // 1019
};

}  // namespace tonvik::install
