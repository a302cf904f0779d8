// The prerequisites page: detects the missing system components, lets the user
// pick the optional ones and runs the worker that downloads and installs them.
#pragma once
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "install/prerequisite.h"
#include "install/prerequisites_worker.h"
#include "install/ui/wizard_page.h"

class QCheckBox;
class QLabel;
class QProgressBar;

namespace tonvik::install {

struct PrerequisitesServices {
  // The missing components, in detection order.
  std::function<std::vector<Prerequisite>()> detect;
  // Starts the worker over the page's list. The page keeps what it returns
  // until the worker has finished; releasing it waits for the worker's thread.
  // A page closed while the worker runs asks it to stop and waits no more
  // than PrerequisitesDialog::kStopPatience (see PageWorker).
  std::function<std::shared_ptr<PageWorker>(std::vector<Prerequisite>&, PrerequisitesView&, SetupState&)>
      start_worker;
};

// DetectPrerequisites and a PrerequisitesWorker for the maker's host.
PrerequisitesServices DefaultPrerequisitesServices();

class PrerequisitesDialog : public WizardPage, public PrerequisitesView {
  Q_OBJECT
 public:
  static constexpr int kDialogId = 129;
  static constexpr int kBackgroundId = 209;
  // How long closing the page waits for a worker asked to stop: as long as
  // the installation page does.
  static constexpr std::chrono::milliseconds kStopPatience{1000};

  PrerequisitesDialog(const SetupFonts& fonts, SetupState& state,
                      PrerequisitesServices services = DefaultPrerequisitesServices(), QWidget* parent = nullptr);
  ~PrerequisitesDialog() override;

  // Checks the system: 1 when nothing is missing, else the choice is shown.
  std::optional<int> Open() override;

  // The worker's calls, from any thread: each is carried out on the page's.
  void ShowStatus(const std::u16string& text) override;
  void ShowProgress(int percent) override;
  void WorkerFinished() override;

  const std::vector<Prerequisite>& Components() const { return components_; }
  bool Working() const { return working_; }

 protected:
  void Next() override;
  void CancelConfirmed() override;

 private:
  // The status line with the text and the bar at 0; the choice hidden, Next off.
  void ShowStatusOnly(const QString& text);
  void UpdateNote();
  void Finished();

  SetupState& state_;
  PrerequisitesServices services_;
  std::vector<Prerequisite> components_;
  std::shared_ptr<PageWorker> worker_;
  bool working_ = false;

  QLabel* headline_ = nullptr;       // 1001
  QCheckBox* boxes_[2] = {};         // 1002, 1003
  QLabel* names_[2] = {};            // 1004, 1006
  QLabel* descriptions_[2] = {};     // 1005, 1007
  QLabel* status_ = nullptr;         // 1008
  QProgressBar* progress_ = nullptr; // 1009
  QLabel* note_ = nullptr;           // 1010
};

}  // namespace tonvik::install
