#include "rip/ui/format_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QScreen>
#include <QSlider>
#include <QTimerEvent>
#include <algorithm>

#include "core/version.h"
#include "encoders/format_table.h"
#include "lookup/bounded_lookup.h"
#include "lookup/ui/ccddb_dlg.h"
#include "output/disc_metadata.h"
#include "platform/shell.h"
#include "rip/disc_record.h"
#include "rip/rip_session.h"
#include "widgets/dialog_units.h"
#include "widgets/browse_button.h"
#include "widgets/buddy_button.h"
#include <QPushButton>
#include "widgets/command_link.h"
#include "widgets/help_support.h"
#include "widgets/png_button.h"
#include "widgets/png_image.h"
#include "widgets/app_resources.h"
#include "widgets/theme.h"

namespace tonvik {
namespace {

constexpr char kLinkText[] =
    "Click here to load track titles and other disk information from the Internet";
constexpr char kLoaded[] = "Information for your disk loaded successfully";
constexpr char kNotLoaded[] = "Information for your disc was not loaded";

// Control 1018: paints the logo at its top-left corner.
class Logo : public QWidget {
 public:
  Logo(QWidget* parent, std::shared_ptr<PNGImage> image) : QWidget(parent), image_(std::move(image)) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    image_->Draw(p, 0, 0, false);
  }

 private:
  std::shared_ptr<PNGImage> image_;
};

}  // namespace

FormatDialog::FormatDialog(RipSession& session, QWidget* parent)
    : QDialog(parent),
      session_(session),
      info_(FindFormat(session.format.format_number)),
      help_(std::make_unique<CHelpSupport>(HelpContext::FormatDialog)) {
  // The service wants to know who asks: the product and where to reach its makers.
  if (!settings_.HomeURL.empty())
    service_.user_agent = std::string("Tonvik/") + kProductVersion + " ( " +
                          QString::fromStdU16String(settings_.HomeURL).toStdString() + " )";
  // Until a lookup says otherwise the disc's own CD-Text names the files.
  if (session_.metadata.titles.empty()) session_.metadata = ChooseDiscRecord(std::nullopt, session_.disc);
  BuildControls();
  help_->InstallHelpKey(this);
  Open();
}

// A lookup still running is handed over by its own destructor, never waited for.
FormatDialog::~FormatDialog() = default;

int FormatDialog::Run() { return exec() == 1 ? 1 : 2; }

void FormatDialog::BuildControls() {
  setObjectName(QStringLiteral("FormatDialog"));
  setWindowTitle(QStringLiteral("Tonvik"));
  setWindowFlags(Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::WindowTitleHint);
  DialogUnits du(font());
  setFixedSize(du.X(267), du.Y(85));

  accept_ = new QPushButton(this);
  accept_look_ = new PNGButton(this);
  accept_look_->Attach(accept_);
  accept_->setObjectName(QStringLiteral("accept_1"));
  du.Place(accept_, 241, 5, 21, 19);
  cancel_ = new QPushButton(this);
  cancel_look_ = new PNGButton(this);
  cancel_look_->Attach(cancel_);
  cancel_->setObjectName(QStringLiteral("cancel_2"));
  du.Place(cancel_, 241, 26, 21, 19);
  configure_ = new QPushButton(this);
  configure_look_ = new PNGButton(this);
  configure_look_->Attach(configure_);
  configure_->setObjectName(QStringLiteral("configure_1000"));
  du.Place(configure_, 241, 48, 21, 19);

  logo_ = std::make_shared<PNGImage>();
  logo_->Load(229);
  auto* logo = new Logo(this, logo_);
  logo->setObjectName(QStringLiteral("logo_1018"));
  du.Place(logo, 4, 4, 72, 63);

  auto* folder_box = new QGroupBox(QStringLiteral("Folder"), this);
  du.Place(folder_box, 78, 1, 158, 32);
  folder_edit_ = new QLineEdit(this);
  folder_edit_->setObjectName(QStringLiteral("folder_1001"));
  folder_edit_->setMaxLength(259);
  du.Place(folder_edit_, 84, 12, 146, 13);
  browse_ = new QPushButton(this);
  browse_look_ = new BrowseButton(this);
  browse_look_->Attach(browse_);
  browse_->setObjectName(QStringLiteral("browse_1002"));
  du.Place(browse_, 211, 11, 14, 13);

  quality_box_ = new QGroupBox(QStringLiteral("Quality"), this);
  quality_box_->setObjectName(QStringLiteral("quality_1006"));
  du.Place(quality_box_, 78, 35, 158, 32);
  preset_list_ = new QComboBox(this);
  preset_list_->setObjectName(QStringLiteral("preset_1003"));
  du.Place(preset_list_, 84, 46, 44, 13);
  slider_ = new QSlider(Qt::Horizontal, this);
  slider_->setObjectName(QStringLiteral("slider_1004"));
  slider_->setTickPosition(QSlider::TicksBelow);
  slider_->setTickInterval(1);
  slider_->setPageStep(1);
  du.Place(slider_, 133, 48, 95, 11);

  link_ = new CommandLink(QString::fromLatin1(kLinkText), this, CommandLink::Look::HoverUnderline);
  link_->setObjectName(QStringLiteral("link_1008"));
  link_->setAlignment(Qt::AlignCenter);
  du.Place(link_, 4, 72, 258, 10);

  // Tab order as the controls were laid out.
  setTabOrder(folder_edit_, browse_);
  setTabOrder(browse_, preset_list_);
  setTabOrder(preset_list_, slider_);
  setTabOrder(slider_, link_);
  setTabOrder(link_, accept_);
  setTabOrder(accept_, cancel_);
  setTabOrder(cancel_, configure_);

  connect(accept_, &QPushButton::clicked, this, &FormatDialog::Accept);
  connect(cancel_, &QPushButton::clicked, this, &FormatDialog::reject);
  connect(configure_, &QPushButton::clicked, this, &FormatDialog::Configure);
  connect(browse_, &QPushButton::clicked, this, &FormatDialog::Browse);
  connect(link_, &CommandLink::clicked, this, &FormatDialog::Lookup);
}

void FormatDialog::Open() {
  // 1. Centre over the owner, or over the screen's work area.
  if (QWidget* owner = parentWidget()) {
    move(owner->geometry().center() - rect().center());
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  setWindowIcon(AppIcon());
  ApplyThemedBackground(this);

  cancel_image_ = std::make_shared<PNGImage>();
  cancel_image_->Load(232);
  accept_image_ = std::make_shared<PNGImage>();
  accept_image_->Load(231);
  configure_image_ = std::make_shared<PNGImage>();
  configure_image_->Load(230);
  cancel_look_->SetImage(cancel_image_);
  cancel_look_->SetToolTipText(QStringLiteral("Cancel converting disc and quit"));
  cancel_look_->SetText(QStringLiteral("&Cancel"));
  accept_look_->SetImage(accept_image_);
  accept_look_->SetToolTipText(QStringLiteral("Accept settings and start converting disc"));
  accept_look_->SetText(QStringLiteral("&Accept"));
  accept_->setDefault(true);
  configure_look_->SetImage(configure_image_);
  configure_look_->SetToolTipText(QStringLiteral("Change converter's options"));
  configure_look_->SetText(QStringLiteral("&Configure"));
  for (auto* b : {accept_look_, cancel_look_, configure_look_}) b->SetImageOffset(1, 0);

  browse_look_->SetText(QStringLiteral("&Browse"));
  AttachBuddyButton(folder_edit_, browse_);

  const bool quality = info_ && info_->has_quality;
  const int positions = quality ? static_cast<int>(info_->custom.size()) : 0;
  slider_->setRange(0, std::max(positions - 1, 0));
  if (quality)
    slider_->setValue(std::clamp<int32_t>(settings_.*info_->slider_value, 0, std::max(positions - 1, 0)));

  preset_list_->addItems({QStringLiteral("Low"), QStringLiteral("Normal"), QStringLiteral("High"),
                          QStringLiteral("Custom")});
  preset_list_->setCurrentIndex(std::clamp<int32_t>(settings_.LastPreset, 0, 3));

  connect(preset_list_, &QComboBox::currentIndexChanged, this, &FormatDialog::Update);
  connect(slider_, &QSlider::valueChanged, this, &FormatDialog::Update);
  connect(slider_, &QSlider::sliderMoved, this, &FormatDialog::Update);
  Update();

  folder_edit_->setText(QString::fromStdU16String(settings_.LastFolder));
  if (!quality) {
    quality_box_->setEnabled(false);
    preset_list_->setEnabled(false);
    slider_->setEnabled(false);
  }
  if (settings_.CDDBAutoLoad) autoload_timer_ = startTimer(500);
  lookup_done_ = false;
}

void FormatDialog::Update() {
  const int index = preset_list_->currentIndex();
  const bool quality = info_ && info_->has_quality && !info_->custom.empty();
  slider_->setEnabled(index == 3 && quality);
  session_.format.preset_index = index;
  settings_.SetLastPreset(index);
  if (!quality) return;

  const int position = slider_->value();
  (settings_.*info_->store_slider_value)(position);
  session_.format.custom_value = info_->custom[position].value;

  QString caption = QString::fromStdU16String(info_->quality_word);
  if (index == 3) {
    caption += QStringLiteral("(Custom; ") +
               QString::fromStdU16String(info_->custom[position].label);
  } else {
    caption += QStringLiteral("(") +
               QString::fromStdU16String(info_->presets[std::clamp(index, 0, 2)]);
  }
  caption += QStringLiteral(")");
  quality_box_->setTitle(caption);
}

void FormatDialog::Accept() {
  const std::u16string folder = folder_edit_->text().left(259).toStdU16String();
  settings_.SetLastFolder(folder);
  session_.job.destination = folder;
  done(1);
}

void FormatDialog::reject() { done(2); }

void FormatDialog::Configure() {
  StartDetached(settings_.GetAppPath() + u"config");  // a failure to start is ignored
}

QString FormatDialog::BrowseForFolder(const QString& initial) {
  QFileDialog browser(this);
  browser.setObjectName(QStringLiteral("FolderBrowser"));
  browser.setFileMode(QFileDialog::Directory);
  browser.setOption(QFileDialog::ShowDirsOnly, true);
  browser.setOption(QFileDialog::DontUseNativeDialog, true);
  browser.setDirectory(initial);
  browser.setWindowTitle(QString());

  Settings fresh;
  auto* artist = new QCheckBox(QStringLiteral("Automatically create \"Artist\" sub-folder"), &browser);
  artist->setObjectName(QStringLiteral("artist_subfolder"));
  artist->setChecked(fresh.CreateArtistSubfolder != 0);
  auto* album =
      new QCheckBox(QStringLiteral("Automatically create \"Album Title\" sub-folder"), &browser);
  album->setObjectName(QStringLiteral("album_subfolder"));
  album->setChecked(fresh.CreateAlbumSubfolder != 0);
  if (auto* grid = qobject_cast<QGridLayout*>(browser.layout())) {
    const int row = grid->rowCount();
    grid->addWidget(artist, row, 0, 1, grid->columnCount());
    grid->addWidget(album, row + 1, 0, 1, grid->columnCount());
  }
  // Stored as they change: they take effect whether the user confirms or cancels.
  connect(artist, &QCheckBox::toggled, this,
          [this](bool on) { settings_.SetCreateArtistSubfolder(on ? 1 : 0); });
  connect(album, &QCheckBox::toggled, this,
          [this](bool on) { settings_.SetCreateAlbumSubfolder(on ? 1 : 0); });

  if (browser.exec() != QDialog::Accepted || browser.selectedFiles().isEmpty()) return {};
  return browser.selectedFiles().front();
}

void FormatDialog::Browse() {
  const QString chosen = BrowseForFolder(folder_edit_->text().left(259));
  if (chosen.isEmpty()) return;
  folder_edit_->setText(chosen);
  settings_.SetLastFolder(chosen.toStdU16String());
}

void FormatDialog::Lookup() {
  if (lookup_done_ || lookup_) return;
  if (!loading_) loading_ = new CCDDBDlg(this);
  loading_->show();
  setEnabled(false);
  // Cleared before any network traffic: a failed lookup leaves the record empty.
  session_.metadata = DiscMetadata{};
  try {
    // The web-service library knows no overall time limit: the lookup runs
    // on a thread of its own and is given up after the bound. Its record is
    // taken only when it came in time, so a late answer never reaches the
    // record the rip job reads.
    lookup_ = std::make_unique<lookup::BoundedLookup>(session_.disc.toc, service_);
  } catch (...) {
    FinishLookup(std::nullopt);  // whatever failed, nothing is loaded
    return;
  }
  lookup_started_ = std::chrono::steady_clock::now();
  lookup_timer_ = startTimer(50);
}

void FormatDialog::PollLookup() {
  if (!lookup_->Finished() && std::chrono::steady_clock::now() < lookup_started_ + lookup_bound_) return;
  killTimer(lookup_timer_);
  lookup_timer_ = 0;
  std::optional<DiscMetadata> record = lookup_->Wait(lookup_bound_);  // at once: ended or past the bound
  lookup_.reset();
  FinishLookup(std::move(record));
}

void FormatDialog::FinishLookup(std::optional<DiscMetadata> record) {
  // The link tells of the lookup; the record falls back on the disc's CD-Text.
  const bool loaded = record && !record->titles.empty();
  session_.metadata = ChooseDiscRecord(std::move(record), session_.disc);
  loading_->hide();
  setEnabled(true);
  link_->Detach();
  link_->setText(QString::fromLatin1(loaded ? kLoaded : kNotLoaded));
  lookup_done_ = true;
  emit lookupFinished();
}

void FormatDialog::timerEvent(QTimerEvent* event) {
  if (event->timerId() == lookup_timer_) {
    PollLookup();
  } else if (event->timerId() == autoload_timer_) {
    killTimer(autoload_timer_);
    autoload_timer_ = 0;
    Lookup();
  }
}


}  // namespace tonvik
