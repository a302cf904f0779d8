// The worker of the installation page: loads msi.so, installs the product's
// packages from the setup's own folder (reinstalling over the same product)
// and reports progress through a view. Logic only.
#pragma once
#include <string>
#include <thread>

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

class InstallWorker {
 public:
  InstallWorker(InstallView& view, InstallState& state, InstallOptions options);
  ~InstallWorker();  // joins
  InstallWorker(const InstallWorker&) = delete;
  InstallWorker& operator=(const InstallWorker&) = delete;

  void Start();
  void Join();

 private:
  void Run();
  InstallView& view_;
  InstallState& state_;
  InstallOptions options_;
  std::thread thread_;
};

}  // namespace tonvik::install
