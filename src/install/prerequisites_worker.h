// The worker of the prerequisites page: fetches the redistributables list and
// the missing installers from the maker's host, runs each selected installer
// with " /Q:A /R:N" and tells the page through a view. Logic only.
#pragma once
#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "install/download.h"
#include "install/prerequisite.h"

namespace tonvik::install {

// What the worker shows. Called on the worker's thread: the page forwards every
// call to its own thread (queued). WorkerFinished is the last call, once.
class PrerequisitesView {
 public:
  virtual ~PrerequisitesView() = default;
  virtual void ShowStatus(const std::u16string& text) = 0;  // the status line, then repaint
  virtual void ShowProgress(int percent) = 0;              // the bar, 0..100
  virtual void WorkerFinished() = 0;
};

// The process-wide state of the setup shared by the worker and the pages.
struct SetupState {
  std::atomic<bool> abort_requested{false};  // set by Cancel on the page's thread, only ever set
  // Written by the worker, read by the page after WorkerFinished.
  bool error = false;
  std::u16string error_text;                 // the first error of a run
  bool reboot_required = false;              // an installer answered 3010
};

struct PrerequisitesOptions {
  std::string host = kMakerHost;  // scheme and host, no final '/'
  std::string temp_dir;           // empty: $TMPDIR, else /tmp
};

class PrerequisitesWorker {
 public:
  // `components` is the page's list: the worker fills in local files of
  // downloads and reads `selected`; nobody else changes it while it runs.
  PrerequisitesWorker(std::vector<Prerequisite>& components, PrerequisitesView& view, SetupState& state,
                      PrerequisitesOptions options = {});
  ~PrerequisitesWorker();  // joins
  PrerequisitesWorker(const PrerequisitesWorker&) = delete;
  PrerequisitesWorker& operator=(const PrerequisitesWorker&) = delete;

  void Start();
  void Join();

 private:
  class Downloads;

  void Run();
  // Each step answers false once the run is over (an error, or Cancel), the
  // error recorded in the state.
  bool DownloadMissing(Downloads& downloads);  // the list, then every selected component without a local copy
  bool FetchList(std::map<std::string, std::string>* list);
  bool DownloadInstaller(Prerequisite& component, const std::map<std::string, std::string>& list,
                         const std::string& folder, Downloads& downloads);
  bool InstallSelected();
  bool RunInstaller(const Prerequisite& component);
  // Records the run's first error; false, for the step to answer.
  bool Fail(const std::u16string& text);
  // True, with the error recorded, once Cancel was confirmed.
  bool StopIfCanceled();

  std::vector<Prerequisite>& components_;
  PrerequisitesView& view_;
  SetupState& state_;
  PrerequisitesOptions options_;
  std::thread thread_;
};

}  // namespace tonvik::install
