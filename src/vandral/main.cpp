// vandral, the ripper. Started by a desktop integration that writes the
// start-up lines to standard input; see core/main_flow.h for the flow.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "cdrom/disc_check.h"
#include "core/fatal_message_box.h"
#include "core/main_flow.h"
#include "core/settings.h"
#include "encoders/selection.h"
#include "platform/utf16_reader.h"
#include "rip/rip_job.h"
#include "rip/ui/format_dialog.h"
#include "rip/ui/progress_dialog.h"
#include "widgets/app_resources.h"

namespace {

using namespace tonvik;

class VandralParts : public MainFlowParts {
 public:
  bool InstallCheck() override { return tonvik::InstallCheck(); }

  void CheckDisc(const StartupInput& input) override {
    cdrom::CheckDisc(input.paths);
    RipJob& job = TheRipJob();
    job.format_number = input.format_number;
    job.drive_letter = cdrom::Disc().drive_letter;
    job.selection = cdrom::Disc().selection;
    job.toc = cdrom::Disc().toc;
    Selection().format_number = input.format_number;
  }

  int RunFormatDialog(const StartupInput& input) override {
    FormatDialog dialog(input.format_number, TheRipJob(), QApplication::activeWindow());
    return dialog.Run();
  }

  int RunProgressDialog(const StartupInput&) override {
    ProgressDialog dialog(TheRipJob(), QApplication::activeWindow());
    return dialog.exec();
  }

  void ReportFatal(const std::u16string& message) override { ShowFatalMessage(message); }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("vandral");
  QApplication::setQuitOnLastWindowClosed(false);
  InitResources();
  Utf16LineReader input(0);
  VandralParts parts;
  const int code = RunMainFlow(input, parts);
  if (ProgressDialog::JobThreadAbandoned()) {
    // A job thread that ignored the cancel is still running: end the process
    // without running destructors under it.
    std::fflush(nullptr);
    std::_Exit(code);
  }
  return code;
}
