// A stand-in for vandral's end: it leaves a thread behind the way a user can
// (a lookup given up at its bound while the service never answers; a rip
// cancelled while its reader waits on a drive that never answers), through
// the real dialogs that own those threads, and then ends as vandral's main
// does. Prints "abandoned" when a thread was still running at the end. The
// test (exit_test.cpp) runs it, under the sanitizers too.
//
//   exit_probe lookup       the loopback service is in http_proxy
//   exit_probe job <out> <held>  drive D is mapped to an image whose reads are
//                                held; <held> appears once a read waits
// The "bare" modes leave the same threads behind without windows, owned the
// way the dialogs own them: Qt is not built with ThreadSanitizer, so only
// these run under it.
//   exit_probe bare-lookup
//   exit_probe bare-job <out> <held>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

#include "cdrom/disc_check.h"
#include "lookup/bounded_lookup.h"
#include "platform/abandoned_threads.h"
#include "platform/text.h"
#include "rip/job_observer.h"
#include "rip/rip_session.h"
#include "rip/ui/format_dialog.h"
#include "rip/ui/progress_dialog.h"

namespace tonvik {
namespace {

// Three tracks of a made-up disc: the lookup only needs a well-formed TOC.
std::vector<uint8_t> SmallToc() {
  std::vector<uint8_t> toc = {0, 26, 1, 3};
  const int32_t starts[] = {0, 15000, 32000, 45000};
  for (int i = 0; i < 4; ++i) {
    const auto u = uint32_t(starts[i]);
    toc.insert(toc.end(), {0, 0x10, uint8_t(i == 3 ? 0xAA : i + 1), 0, uint8_t(u >> 24), uint8_t(u >> 16),
                           uint8_t(u >> 8), uint8_t(u)});
  }
  return toc;
}

int Lookup() {
  RipSession session;
  session.disc.toc = SmallToc();
  session.format.format_number = 6;
  {
    FormatDialog dialog(session);
    lookup::Service service;
    service.host = "mb.loopback.test";
    dialog.SetLookupService(service);
    dialog.SetLookupBound(std::chrono::milliseconds(200));
    QSignalSpy finished(&dialog, &FormatDialog::lookupFinished);
    dialog.Lookup();
    if (!finished.wait(600000)) return 20;
  }  // the dialog goes with its lookup still waiting for the service
  return 7;
}

bool Exists(const char* path) { return ::access(path, F_OK) == 0; }

int Job(const char* destination, const char* held) {
  auto session = std::make_shared<RipSession>();
  session->disc = cdrom::CheckDisc({u"D:\\"});
  session->format = EncoderSelection{1, 1, 0};
  session->job.destination = FromUtf8(destination);
  {
    ProgressDialog dialog(session);
    // Cancel once the job's reader is held inside the drive.
    QTimer started;
    QObject::connect(&started, &QTimer::timeout, [&] {
      if (!Exists(held)) return;
      started.stop();
      dialog.cancelButton()->click();
    });
    started.start(10);
    // A job that ended after all lists its errors: close the list, so that
    // the probe says so instead of waiting.
    QTimer boxes;
    QObject::connect(&boxes, &QTimer::timeout, [] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->accept();
    });
    boxes.start(50);
    if (dialog.exec() != 1) return 21;
    if (!dialog.jobAbandoned()) return 22;
  }
  return 5;
}

int BareLookup() {
  lookup::Service service;
  service.host = "mb.loopback.test";
  lookup::BoundedLookup lookup(SmallToc(), service);
  return lookup.Wait(std::chrono::milliseconds(200)) ? 23 : 7;  // then handed over as it goes
}

// Sees nothing; the job's own counters tell how far it is.
class Silent : public RipObserver {
 public:
  void SetCurrentTrackText(const std::u16string&) override {}
  std::u16string CurrentTrackText() override { return {}; }
  void ResetTrackBar(int32_t) override {}
  void ResetTotalBar(int32_t) override {}
  void AddError(const std::u16string&) override {}
  void PlayCompletionSound() override {}
  void OpenOutputFolder(const std::u16string&) override {}
  void JobFinished() override {}
};

int BareJob(const char* destination, const char* held) {
  auto session = std::make_shared<RipSession>();
  session->disc = cdrom::CheckDisc({u"D:\\"});
  session->format = EncoderSelection{1, 1, 0};
  session->job.destination = FromUtf8(destination);
  auto control = std::make_shared<RipControl>();
  auto observer = std::make_shared<Silent>();
  auto done = std::make_shared<std::atomic<bool>>(false);
  std::thread job([session, control, observer, done] {
    RunRipJob(*session, *control, *observer);
    done->store(true);
  });
  // As the progress dialog: the job is under way, a cancel, and the job,
  // whose reader waits inside the drive, does not end.
  while (!Exists(held)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  control->cancel = 1;
  AbandonThread(std::move(job), done);
  return 5;
}

}  // namespace
}  // namespace tonvik

int main(int argc, char** argv) {
  const char* mode = argc > 1 ? argv[1] : "";
  int code = 2;
  if (std::strcmp(mode, "bare-lookup") == 0) {
    code = tonvik::BareLookup();
  } else if (std::strcmp(mode, "bare-job") == 0 && argc > 3) {
    code = tonvik::BareJob(argv[2], argv[3]);
  } else {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    if (std::strcmp(mode, "lookup") == 0) code = tonvik::Lookup();
    if (std::strcmp(mode, "job") == 0 && argc > 3) code = tonvik::Job(argv[2], argv[3]);
  }
  if (tonvik::AbandonedThreadsAlive()) std::printf("abandoned\n");
  return tonvik::ExitCodeOrQuickExit(code);
}
