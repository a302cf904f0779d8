// The worker of the installation page: loads msi.so, installs the product's
// packages from the setup's own folder (reinstalling over the same product)
// and reports progress through a view. Logic only.
#pragma once
#include <memory>
#include <string>

#include "install/worker_thread.h"

namespace tonvik::install {

// Called on the worker's thread (and from msi.so's progress handler on it):
// the page forwards every call to its own thread. InstallFinished is the last
// call, once.
class InstallView {
 public:
  virtual ~InstallView() = default;
  virtual void ShowStatus(const std::u16string& text) = 0;  // the status line, then repaint
  virtual void SetProgressRange(int minimum, int maximum) = 0;  // and the bar to the minimum
  virtual void StepProgress() = 0;                          // one step
  virtual void InstallFinished() = 0;
};

struct InstallState {
  bool error = false;  // written by the worker, read after InstallFinished
  std::u16string error_text;
};

struct InstallOptions {
  std::string setup_program;  // the running setup's full path; empty: /proc/self/exe
  bool wow64 = false;         // install kestrane.msi as well (see IsWow64Process)
};

// The engine's functions are bound once per process (msi.so is loaded from
// the system modules folder on the first installation); tests that point the
// folder elsewhere forget the binding first.
void ForgetMsiBinding();

class InstallWorker : public PageWorker {
 public:
  InstallWorker(InstallView& view, InstallState& state, InstallOptions options);
  ~InstallWorker() override;  // joins, unless the worker was let go
  InstallWorker(const InstallWorker&) = delete;
  InstallWorker& operator=(const InstallWorker&) = delete;

  void Start();
  void Join();
  // Asked to stop, the worker has msi.so cancel the installation under way at
  // its next message (the engine puts back what it had changed) and starts no
  // further package; that ends as a failed installation. msi.so may be inside
  // a call that sends no message for a while (reading a package): then the
  // page is not held up, see PageWorker.
  bool StopWithin(std::chrono::milliseconds patience) override;

 private:
  class Installation;  // what runs on the thread, owned by it
  WorkerThread thread_;
  std::shared_ptr<Installation> installation_;
};

}  // namespace tonvik::install
