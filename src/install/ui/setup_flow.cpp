#include "install/ui/setup_flow.h"

#include <QApplication>

#include "install/prerequisites_worker.h"
#include "install/ui/install_dialog.h"
#include "install/ui/license_dialog.h"
#include "install/ui/prerequisites_dialog.h"
#include "install/ui/setup_finish.h"
#include "install/ui/uninstall_dialog.h"

namespace tonvik::install {

int RunSetupPages(const SetupFonts& fonts) {
  SetupState setup;
  int result = kPageGoOn;
  {
    UninstallDialog page(fonts, kUninstallWaitBound, QApplication::activeWindow());
    if ((result = page.exec()) != kPageGoOn) return result;
  }
  {
    PrerequisitesDialog page(fonts, setup, DefaultPrerequisitesServices(), QApplication::activeWindow());
    if ((result = page.exec()) != kPageGoOn) return result;
  }
  {
    LicenseDialog page(fonts, QApplication::activeWindow());
    if ((result = page.exec()) != kPageGoOn) return result;
  }
  {
    InstallState installation;
    InstallDialog page(fonts, installation, DefaultInstallStarter(), QApplication::activeWindow());
    if ((result = page.exec()) != kPageGoOn) return result;
  }
  FinishSetup(setup.reboot_required, QApplication::activeWindow());
  return result;
}

}  // namespace tonvik::install
