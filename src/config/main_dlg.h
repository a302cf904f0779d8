// The configuration program's only window: the disc-lookup options, the file
// name template and what happens after ripping. Opening stores the lookup
// server; OK stores the rest, one value at a time; Cancel stores nothing more.
#pragma once
#include <QDialog>
#include <functional>
#include <memory>
#include <string>

#include "core/settings.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tonvik {

class PNGImage;
class CommandLink;
class CHelpSupport;

// The address the disc lookup asks: the root of the MusicBrainz web service
// at the host and port the lookup library uses by default.
inline constexpr char16_t kLookupServiceAddress[] = u"http://musicbrainz.org/ws/2/";

// The three ready templates, by naming choice 0..2; choice 3 is the custom text.
inline constexpr const char16_t* kNamingTemplates[] = {u"%1 - %2", u"%2", u"(%6) %2"};
inline constexpr int kCustomChoice = 3;

class CMainDlg : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kDialogId = 129;
  static constexpr int kSidePictureId = 202;

  // Loads the settings and opens: throws what the side picture's loader
  // throws when PNG 202 cannot be decoded.
  explicit CMainDlg(QWidget* parent = nullptr);
  ~CMainDlg() override;

  // Shows the dialog and runs until it is closed: 1 after OK, 2 after Cancel,
  // Escape or the close box.
  int Run();
  // How the dialog ended (0 while it is open).
  int Result() const { return result_; }

  // Called with the value's name after each write of OK, once it is stored.
  using WriteObserver = std::function<void(const char16_t* name)>;
  void SetWriteObserver(WriteObserver observer) { observer_ = std::move(observer); }

  // The controls, for tests.
  QRadioButton* namingRadio(int choice) const { return naming_[choice]; }
  QLineEdit* customEdit() const { return custom_edit_; }
  QLineEdit* serverEdit() const { return server_edit_; }
  QCheckBox* autoLoadBox() const { return auto_load_; }
  QCheckBox* ejectBox() const { return eject_; }
  QCheckBox* forceCbrBox() const { return force_cbr_; }
  QCheckBox* beepBox() const { return beep_; }
  QCheckBox* openFolderBox() const { return open_folder_; }
  CommandLink* cddbLink() const { return cddb_link_; }
  CommandLink* namingLink() const { return naming_link_; }
  QPushButton* okButton() const { return ok_; }
  QPushButton* cancelButton() const { return cancel_; }
  QPushButton* helpButton() const { return help_button_; }
  // The naming choice the controls show: -1 (none) or 0..3.
  int NamingChoice() const;

 public slots:
  // What the message loop runs whenever it has nothing else to do: the custom
  // template is editable exactly while "Custom" is checked.
  void IdleUpdate();
  void Ok();
  void OpenHelp();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void done(int result) override;
  void reject() override;

 private:
  void BuildControls();
  void Open();
  // Members <-> controls.
  void ControlsToMembers();
  void MembersToControls();
  void Written(const char16_t* name) const {
    if (observer_) observer_(name);
  }

  Settings settings_;
  std::unique_ptr<CHelpSupport> help_;
  std::shared_ptr<PNGImage> side_picture_;
  WriteObserver observer_;
  int result_ = 0;

  // Members, as the controls show them.
  int auto_load_value_ = 0;
  int naming_choice_ = -1;
  QString custom_template_;
  int eject_value_ = 0;
  int force_cbr_value_ = 0;
  int beep_value_ = 0;
  int open_folder_value_ = 0;

  QRadioButton* auto_config_ = nullptr;    // 1000
  QRadioButton* manual_config_ = nullptr;  // 1001
  QLineEdit* server_edit_ = nullptr;       // 1002
  QCheckBox* auto_load_ = nullptr;         // 1032
  QButtonGroup* naming_group_ = nullptr;
  QRadioButton* naming_[4] = {};           // 1008..1011
  QLineEdit* custom_edit_ = nullptr;       // 1012
  QCheckBox* eject_ = nullptr;             // 1013
  QCheckBox* open_folder_ = nullptr;       // 1034
  QCheckBox* beep_ = nullptr;              // 1033
  QCheckBox* force_cbr_ = nullptr;         // 1019
  CommandLink* cddb_link_ = nullptr;       // 1026
  CommandLink* naming_link_ = nullptr;     // 1029
  QPushButton* ok_ = nullptr;              // 1
  QPushButton* cancel_ = nullptr;          // 2
  QPushButton* help_button_ = nullptr;     // 1022
};

}  // namespace tonvik
