// install, the setup: checks the system, removes the predecessor, installs the
// missing system components, shows the licence, installs the product's
// packages and then offers the reboot an installer asked for or starts the
// tutorial. The exit code is the result of the last page run: 1 when it went
// through, 2 when a page stopped it, 0 when the checks refused.
#include <QApplication>
#include <QMessageBox>

#include "install/setup_checks.h"
#include "install/temporary_files.h"
#include "install/ui/setup_flow.h"
#include "install/ui/setup_fonts.h"
#include "install/ui/task_dialog.h"
#include "platform/abandoned_threads.h"
#include "widgets/widgets_init.h"

namespace {

// The Windows version the setup stands in for: new enough for every check.
constexpr int kSystemMajor = 10;
constexpr int kSystemMinor = 0;

}  // namespace

int main(int argc, char** argv) {
  tonvik::install::RemoveTemporaryFilesOnSignals();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("install"));
  tonvik::InitWidgets();
  using namespace tonvik::install;

  if (!WindowsVersionSupported(kSystemMajor, kSystemMinor)) {
    ShowMessageBox(nullptr, QString::fromLatin1(kSetupCaption),
                   QStringLiteral("This application requires at least Windows 2000 to install."),
                   QMessageBox::Critical);
    return 0;
  }
  if (!IsAdministrator()) {
    ShowMessageBox(nullptr, QString::fromLatin1(kSetupCaption),
                   QStringLiteral("You must be administrator to install this application"), QMessageBox::Critical);
    return 0;
  }
  const SetupFonts fonts = SetupFonts::FromDesktop();
  // A worker let go by its page (the prerequisites' or the installation's)
  // may still run: then the setup ends at once, whichever way it ends.
  int code = 0;
  try {
    code = RunSetupPages(fonts);
  } catch (...) {
    // A background picture that cannot be decoded has been reported already;
    // a page before it may have let its worker go.
    code = 0;
  }
  return tonvik::ExitCodeOrQuickExit(code);
}
