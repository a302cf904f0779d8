// vandral, the ripper. Started by a desktop integration that writes the
// start-up lines to standard input; see core/main_flow.h for the flow.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "accuraterip/record_fetch.h"
#include "ctdb/answer_fetch.h"
#include "cdrom/disc_check.h"
#include "core/fatal_message_box.h"
#include "core/main_flow.h"
#include "core/settings.h"
#include "platform/abandoned_threads.h"
#include "platform/utf16_reader.h"
#include "rip/rip_session.h"
#include "rip/ui/format_dialog.h"
#include "rip/ui/progress_dialog.h"
#include "widgets/app_resources.h"

namespace {

using namespace tonvik;

// The steps of the main flow over one rip session, which they create and
// hand from the disc check to the Format and progress dialogs.
class VandralParts : public MainFlowParts {
 public:
  bool InstallCheck() override { return tonvik::InstallCheck(); }

  void CheckDisc(const StartupInput& input) override {
    session_->disc = cdrom::CheckDisc(input.paths);
    session_->format.format_number = input.format_number;
  }

  int RunFormatDialog(const StartupInput&) override {
    FormatDialog dialog(*session_, QApplication::activeWindow());
    return dialog.Run();
  }

  int RunProgressDialog(const StartupInput&) override {
    ProgressDialog dialog(session_, QApplication::activeWindow());
    return dialog.exec();
  }

  void ReportFatal(const std::u16string& message) override { ShowFatalMessage(message); }

 private:
  std::shared_ptr<RipSession> session_ = std::make_shared<RipSession>();
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("vandral");
  QApplication::setQuitOnLastWindowClosed(false);
  InitResources();
  // libcurl and libxml2 before any thread: the job's AccurateRip and CTDB
  // fetches use them.
  accuraterip::InitialiseRecordFetches();
  ctdb::InitialiseAnswerFetches();
  Utf16LineReader input(0);
  VandralParts parts;
  const int code = RunMainFlow(input, parts);
  // A thread that could not be stopped (a lookup inside the HTTP library, a
  // job whose reader is stuck in the drive) must not see the static
  // destructors run: then the process ends here, its files flushed.
  return ExitCodeOrQuickExit(code);
}
