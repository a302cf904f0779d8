#include "config/main_dlg.h"

#include <QAbstractEventDispatcher>
#include <QButtonGroup>
#include <QCheckBox>
#include <QEventLoop>
#include <QFocusEvent>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include "widgets/app_resources.h"
#include "widgets/command_link.h"
#include "widgets/dialog_units.h"
#include "widgets/help_support.h"
#include "widgets/png_image.h"
#include "widgets/theme.h"

namespace tonvik {
namespace {

// Control 1035: the side picture at its top-left corner.
class SidePicture : public QWidget {
 public:
  SidePicture(QWidget* parent, std::shared_ptr<PNGImage> image) : QWidget(parent), image_(std::move(image)) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    if (!image_) return;
    QPainter p(this);
    image_->Draw(p, 0, 0, false);
  }

 private:
  std::shared_ptr<PNGImage> image_;
};

// A check box shows 1 as checked and 2 as indeterminate; any other value is
// unchecked. Reading gives 0, 1 or 2 back.
void SetCheck(QCheckBox* box, int value) {
  if (value == 2) {
    box->setCheckState(Qt::PartiallyChecked);
  } else {
    box->setTristate(false);
    box->setCheckState(value == 1 ? Qt::Checked : Qt::Unchecked);
  }
}

int GetCheck(const QCheckBox* box) {
  switch (box->checkState()) {
    case Qt::Checked: return 1;
    case Qt::PartiallyChecked: return 2;
    default: return 0;
  }
}

}  // namespace

CMainDlg::CMainDlg(QWidget* parent)
    : QDialog(parent), help_(std::make_unique<CHelpSupport>(HelpContext::Configuration)) {
  BuildControls();
  help_->InstallHelpKey(this);
  Open();
}

CMainDlg::~CMainDlg() = default;

void CMainDlg::BuildControls() {
  setObjectName(QStringLiteral("CMainDlg"));
  setWindowTitle(QStringLiteral("Tonvik configuration"));
  setWindowFlags(Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::WindowTitleHint);
  DialogUnits du(font());
  setFixedSize(du.X(391), du.Y(224));

  side_picture_ = std::make_shared<PNGImage>();
  auto* side = new SidePicture(this, side_picture_);
  side->setObjectName(QStringLiteral("picture_1035"));
  du.Place(side, 14, 13, 70, 202);

  auto* line = new QFrame(this);
  line->setObjectName(QStringLiteral("line"));
  line->setFrameShape(QFrame::VLine);
  line->setFrameShadow(QFrame::Sunken);
  du.Place(line, 84, 0, 1, 225);
  line->resize(2, line->height());  // an etched line: a dark and a light pixel

  // Disc lookup.
  auto* cddb_box = new QGroupBox(QStringLiteral(" CDDB settings "), this);
  cddb_box->setObjectName(QStringLiteral("group_1027"));
  du.Place(cddb_box, 99, 9, 278, 91);
  auto* cddb_group = new QButtonGroup(this);
  auto_config_ = new QRadioButton(QStringLiteral("&Automatic configuration"), this);
  auto_config_->setObjectName(QStringLiteral("radio_1000"));
  du.Place(auto_config_, 112, 24, 252, 10);
  manual_config_ = new QRadioButton(QStringLiteral("&Manual configuration (currently not available)"), this);
  manual_config_->setObjectName(QStringLiteral("radio_1001"));
  manual_config_->setEnabled(false);
  du.Place(manual_config_, 112, 36, 252, 10);
  cddb_group->addButton(auto_config_, 0);
  cddb_group->addButton(manual_config_, 1);
  auto* server_label = new QLabel(QStringLiteral("CDDB &server"), this);
  server_label->setObjectName(QStringLiteral("static_1023"));
  server_label->setEnabled(false);
  du.Place(server_label, 124, 50, 49, 8);
  server_edit_ = new QLineEdit(this);
  server_edit_->setObjectName(QStringLiteral("edit_1002"));
  server_edit_->setEnabled(false);
  server_label->setBuddy(server_edit_);
  du.Place(server_edit_, 176, 48, 187, 12);
  auto_load_ = new QCheckBox(
      QStringLiteral("Don't ask me and always load disk information automatically"), this);
  auto_load_->setObjectName(QStringLiteral("check_1032"));
  du.Place(auto_load_, 112, 69, 203, 10);
  cddb_link_ = new CommandLink(QStringLiteral("Click here to learn more about CDDB settings"), this,
                               CommandLink::Look::AlwaysUnderline);
  cddb_link_->setObjectName(QStringLiteral("link_1026"));
  cddb_link_->setAlignment(Qt::AlignCenter);
  du.Place(cddb_link_, 112, 82, 253, 8);

  // File names.
  auto* names_box = new QGroupBox(QStringLiteral(" File names "), this);
  names_box->setObjectName(QStringLiteral("group_1028"));
  du.Place(names_box, 100, 106, 126, 87);
  naming_group_ = new QButtonGroup(this);
  const char* labels[] = {"Artist - Title", "Title", "(TrackNo) Title", "Custom"};
  for (int i = 0; i < 4; ++i) {
    naming_[i] = new QRadioButton(QString::fromLatin1(labels[i]), this);
    naming_[i]->setObjectName(QStringLiteral("radio_%1").arg(1008 + i));
    du.Place(naming_[i], 112, 118 + 12 * i, i == kCustomChoice ? 40 : 107, 10);
    naming_group_->addButton(naming_[i], i);
    naming_[i]->installEventFilter(this);
  }
  custom_edit_ = new QLineEdit(this);
  custom_edit_->setObjectName(QStringLiteral("edit_1012"));
  du.Place(custom_edit_, 155, 153, 63, 12);
  naming_link_ = new CommandLink(QStringLiteral("Click here to learn more about file naming"), this,
                                 CommandLink::Look::AlwaysUnderline);
  naming_link_->setObjectName(QStringLiteral("link_1029"));
  naming_link_->setAlignment(Qt::AlignCenter);
  naming_link_->setWordWrap(true);
  du.Place(naming_link_, 124, 169, 80, 17);

  // After ripping.
  auto* options_box = new QGroupBox(QStringLiteral(" Options "), this);
  options_box->setObjectName(QStringLiteral("group_1030"));
  du.Place(options_box, 232, 106, 145, 87);
  eject_ = new QCheckBox(QStringLiteral("&Eject CD when done"), this);
  eject_->setObjectName(QStringLiteral("check_1013"));
  du.Place(eject_, 241, 122, 126, 10);
  open_folder_ = new QCheckBox(QStringLiteral("Open destination folder when done"), this);
  open_folder_->setObjectName(QStringLiteral("check_1034"));
  du.Place(open_folder_, 241, 137, 126, 10);
  beep_ = new QCheckBox(QStringLiteral("Beep when do&ne"), this);
  beep_->setObjectName(QStringLiteral("check_1033"));
  du.Place(beep_, 241, 152, 126, 10);
  force_cbr_ = new QCheckBox(QStringLiteral("&Force CBR for MP3 custom preset"), this);
  force_cbr_->setObjectName(QStringLiteral("check_1019"));
  du.Place(force_cbr_, 241, 167, 126, 10);

  ok_ = new QPushButton(QStringLiteral("&OK"), this);
  ok_->setObjectName(QStringLiteral("ok_1"));
  ok_->setDefault(true);
  du.Place(ok_, 211, 200, 50, 14);
  cancel_ = new QPushButton(QStringLiteral("&Cancel"), this);
  cancel_->setObjectName(QStringLiteral("cancel_2"));
  du.Place(cancel_, 269, 200, 50, 14);
  help_button_ = new QPushButton(QStringLiteral("Help (F1)"), this);
  help_button_->setObjectName(QStringLiteral("help_1022"));
  du.Place(help_button_, 327, 200, 50, 14);

  // Keyboard order as the controls are laid out.
  QWidget* order[] = {auto_config_, manual_config_, server_edit_, auto_load_, cddb_link_,
                      naming_[0],   naming_[1],     naming_[2],   naming_[3], custom_edit_,
                      naming_link_, eject_,         open_folder_, beep_,      force_cbr_,
                      ok_,          cancel_,        help_button_};
  for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

  // An indeterminate box the user clicks becomes a plain two-state box.
  for (QCheckBox* box : {auto_load_, eject_, open_folder_, beep_, force_cbr_})
    connect(box, &QCheckBox::clicked, box, [box] { box->setTristate(false); });

  connect(ok_, &QPushButton::clicked, this, &CMainDlg::Ok);
  connect(cancel_, &QPushButton::clicked, this, &CMainDlg::reject);
  connect(help_button_, &QPushButton::clicked, this, &CMainDlg::OpenHelp);
  connect(cddb_link_, &CommandLink::clicked, this, &CMainDlg::OpenHelp);
  connect(naming_link_, &CommandLink::clicked, this, &CMainDlg::OpenHelp);
}

void CMainDlg::Open() {
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  setWindowIcon(AppIcon());

  // The message loop runs the idle update whenever it is about to wait.
  if (auto* dispatcher = QAbstractEventDispatcher::instance(thread()))
    connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &CMainDlg::IdleUpdate);

  side_picture_->Load(kSidePictureId);

  // The lookup is always configured automatically, at the service's address.
  settings_.SetCDDBAutoConfig(1);
  auto_config_->setChecked(true);
  settings_.SetCDDBServer(kLookupServiceAddress);
  server_edit_->setText(QString::fromStdU16String(kLookupServiceAddress));

  auto_load_value_ = settings_.CDDBAutoLoad;
  naming_choice_ = kCustomChoice;
  for (int i = 0; i < kCustomChoice; ++i) {
    if (settings_.NameTemplate == kNamingTemplates[i]) naming_choice_ = i;
  }
  if (naming_choice_ == kCustomChoice) custom_template_ = QString::fromStdU16String(settings_.NameTemplate);
  eject_value_ = settings_.EjectWhenDone;
  force_cbr_value_ = settings_.MP3ForceCBR;
  beep_value_ = settings_.BeepWhenDone;
  open_folder_value_ = settings_.OpenFolderWhenDone;
  MembersToControls();

  IdleUpdate();
  ApplyThemedBackground(this);
}

int CMainDlg::NamingChoice() const { return naming_group_->checkedId(); }

void CMainDlg::ControlsToMembers() {
  auto_load_value_ = GetCheck(auto_load_);
  naming_choice_ = NamingChoice();
  custom_template_ = custom_edit_->text();
  eject_value_ = GetCheck(eject_);
  force_cbr_value_ = GetCheck(force_cbr_);
  beep_value_ = GetCheck(beep_);
  open_folder_value_ = GetCheck(open_folder_);
}

void CMainDlg::MembersToControls() {
  SetCheck(auto_load_, auto_load_value_);
  if (naming_choice_ >= 0 && naming_choice_ <= kCustomChoice) {
    naming_[naming_choice_]->setChecked(true);
  } else {
    naming_group_->setExclusive(false);
    for (QRadioButton* radio : naming_) radio->setChecked(false);
    naming_group_->setExclusive(true);
  }
  if (custom_edit_->text() != custom_template_) custom_edit_->setText(custom_template_);
  SetCheck(eject_, eject_value_);
  SetCheck(force_cbr_, force_cbr_value_);
  SetCheck(beep_, beep_value_);
  SetCheck(open_folder_, open_folder_value_);
}

void CMainDlg::IdleUpdate() {
  if (result_ != 0) return;  // closed: nothing left to keep up to date
  ControlsToMembers();
  const bool custom = naming_choice_ == kCustomChoice;
  if (custom_edit_->isEnabled() != custom) {
    custom_edit_->setEnabled(custom);  // the text stays, greyed
    MembersToControls();
  }
}

void CMainDlg::Ok() {
  ControlsToMembers();
  settings_.SetCDDBAutoLoad(auto_load_value_);
  Written(u"CDDBAutoLoad");
  if (naming_choice_ >= 0 && naming_choice_ < kCustomChoice) {
    settings_.SetNameTemplate(kNamingTemplates[naming_choice_]);
    Written(u"NameTemplate");
  } else if (naming_choice_ == kCustomChoice) {
    settings_.SetNameTemplate(custom_template_.toStdU16String());  // as typed, even empty
    Written(u"NameTemplate");
  }
  settings_.SetEjectWhenDone(eject_value_);
  Written(u"EjectWhenDone");
  settings_.SetMP3ForceCBR(force_cbr_value_);
  Written(u"MP3ForceCBR");
  settings_.SetBeepWhenDone(beep_value_);
  Written(u"BeepWhenDone");
  settings_.SetOpenFolderWhenDone(open_folder_value_);
  Written(u"OpenFolderWhenDone");
  done(1);
}

void CMainDlg::OpenHelp() { help_->OpenHelp(); }

bool CMainDlg::eventFilter(QObject* watched, QEvent* event) {
  // Tabbing into the naming choices lands on the checked one, so the arrow
  // keys move on from the current choice.
  if (event->type() == QEvent::FocusIn) {
    const auto reason = static_cast<QFocusEvent*>(event)->reason();
    QAbstractButton* checked = naming_group_->checkedButton();
    if ((reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason) && checked &&
        checked != watched && naming_group_->buttons().contains(qobject_cast<QAbstractButton*>(watched)))
      checked->setFocus(reason);
  }
  return QDialog::eventFilter(watched, event);
}

void CMainDlg::done(int result) {
  result_ = result;
  QDialog::done(result);
}

void CMainDlg::reject() { done(2); }

int CMainDlg::Run() {
  if (result_ != 0) return result_;
  QEventLoop loop;
  connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
  show();
  loop.exec();
  return result_;
}

}  // namespace tonvik
