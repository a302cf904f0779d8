// The Format dialog: destination folder and quality for the format fixed by
// the start-up input. Every choice is stored the moment it is made, and goes
// into the rip session: the quality choice, the lookup's record and the
// destination.
//
// Threads: the dialog lives in the UI thread. A lookup runs on the thread of
// its BoundedLookup, which the dialog owns; a timer looks at it until it has
// ended or its bound has passed, so the dialog never waits on it.
#pragma once
#include <QDialog>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "core/settings.h"
#include "lookup/bounded_lookup.h"
#include "output/disc_metadata.h"

class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QSlider;

namespace tonvik {

class PNGImage;
class PNGButton;
class BrowseButton;
class CommandLink;
class CHelpSupport;
class CCDDBDlg;
struct FormatInfo;
struct RipSession;

class FormatDialog : public QDialog {
  Q_OBJECT
 public:
  // The format is the session's; the dialog fills in the rest of its choice.
  explicit FormatDialog(RipSession& session, QWidget* parent = nullptr);
  ~FormatDialog() override;

  // Runs modally: 1 accepted, 2 cancelled or closed.
  int Run();

  // For tests and the lookup: the controls.
  QGroupBox* qualityBox() const { return quality_box_; }
  QComboBox* presetList() const { return preset_list_; }
  QSlider* slider() const { return slider_; }
  QLineEdit* folderEdit() const { return folder_edit_; }
  QPushButton* acceptButton() const { return accept_; }
  QPushButton* browseButton() const { return browse_; }
  CommandLink* lookupLink() const { return link_; }
  bool lookupDone() const { return lookup_done_; }
  // The loading window once a lookup has created it.
  CCDDBDlg* loadingWindow() const { return loading_; }

  // The lookup gives up after the bound (the dialog comes back and nothing
  // is loaded); tests set it short and name a service of their own.
  void SetLookupBound(std::chrono::milliseconds bound) { lookup_bound_ = bound; }
  void SetLookupService(const lookup::Service& service) { service_ = service; }

  // The folder browser; returns the chosen folder or an empty string. Its two
  // check boxes store their states as they change, so they count whether the
  // user confirms or cancels. Tests may replace the browser's execution.
  QString BrowseForFolder(const QString& initial);

 signals:
  // The lookup has ended and the link shows its outcome.
  void lookupFinished();

 public slots:
  void Update();
  void Accept();
  void Browse();
  void Configure();
  void Lookup();

 protected:
  void timerEvent(QTimerEvent* event) override;
  void reject() override;

 private:
  void BuildControls();
  void Open();
  // Called by the timer while a lookup runs.
  void PollLookup();
  void FinishLookup(std::optional<DiscMetadata> record);

  RipSession& session_;
  const FormatInfo* info_;
  Settings settings_;
  std::shared_ptr<PNGImage> logo_, cancel_image_, accept_image_, configure_image_;
  QPushButton* accept_ = nullptr;     // 1
  QPushButton* cancel_ = nullptr;     // 2
  QPushButton* configure_ = nullptr;  // 1000
  QPushButton* browse_ = nullptr;     // 1002
  PNGButton* accept_look_ = nullptr;
  PNGButton* cancel_look_ = nullptr;
  PNGButton* configure_look_ = nullptr;
  BrowseButton* browse_look_ = nullptr;
  QLineEdit* folder_edit_ = nullptr;
  QGroupBox* quality_box_ = nullptr;
  QComboBox* preset_list_ = nullptr;
  QSlider* slider_ = nullptr;
  CommandLink* link_ = nullptr;
  std::unique_ptr<CHelpSupport> help_;
  bool lookup_done_ = false;
  int autoload_timer_ = 0;
  CCDDBDlg* loading_ = nullptr;  // created on the first lookup, owned by this dialog
  std::unique_ptr<lookup::BoundedLookup> lookup_;  // while a lookup runs
  std::chrono::steady_clock::time_point lookup_started_;
  int lookup_timer_ = 0;
  std::chrono::milliseconds lookup_bound_ = lookup::kLookupBound;
  lookup::Service service_;
};

}  // namespace tonvik
