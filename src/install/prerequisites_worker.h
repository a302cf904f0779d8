// The worker of the prerequisites page: fetches the redistributables list and
// the missing installers from the maker's host, runs each selected installer
// with " /Q:A /R:N" and tells the page through a view. Logic only.
#pragma once
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "install/download.h"
#include "install/prerequisite.h"
#include "install/worker_thread.h"

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
  // Written by the worker as it makes its last call, WorkerFinished; read by
  // the page after it.
  bool error = false;
  std::u16string error_text;                 // the first error of a run
  bool reboot_required = false;              // an installer answered 3010
};

struct PrerequisitesOptions {
  std::string host = kMakerHost;  // scheme and host, no final '/'
  std::string temp_dir;           // empty: $TMPDIR, else /tmp
};

class PrerequisitesWorker : public PageWorker {
 public:
  // The worker takes its own copy of `components`, the page's list with
  // `selected` filled in: it puts the local files of its downloads there, not
  // in the page's.
  PrerequisitesWorker(const std::vector<Prerequisite>& components, PrerequisitesView& view, SetupState& state,
                      PrerequisitesOptions options = {});
  ~PrerequisitesWorker() override;  // joins, unless the worker was let go
  PrerequisitesWorker(const PrerequisitesWorker&) = delete;
  PrerequisitesWorker& operator=(const PrerequisitesWorker&) = delete;

  void Start();
  void Join();
  // Asked to stop, the worker ends the way Cancel ends it: a download is
  // aborted at libcurl's next progress call, no further installer is
  // started. An installer already running is not stopped but waited for,
  // which may take long: then the page is not held up, see PageWorker. The
  // worker removes its downloads when it ends, let go or not.
  bool StopWithin(std::chrono::milliseconds patience) override;

 private:
  class Session;  // what runs on the thread, owned by it
  WorkerThread thread_;
  std::shared_ptr<Session> session_;
};

}  // namespace tonvik::install
