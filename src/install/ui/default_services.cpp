// The pages' collaborators on the running system: detection and the workers
// of the setup's logic.
#include <memory>

#include "install/install_worker.h"
#include "install/prerequisite.h"
#include "install/prerequisites_worker.h"
#include "install/setup_checks.h"
#include "install/ui/install_dialog.h"
#include "install/ui/prerequisites_dialog.h"

namespace tonvik::install {

PrerequisitesServices DefaultPrerequisitesServices() {
  PrerequisitesServices services;
  services.detect = [] { return DetectPrerequisites(); };
  services.start_worker = [](std::vector<Prerequisite>& components, PrerequisitesView& view, SetupState& state) {
    auto worker = std::make_shared<PrerequisitesWorker>(components, view, state);
    worker->Start();
    return std::shared_ptr<PageWorker>(worker);
  };
  return services;
}

InstallStarter DefaultInstallStarter() {
  return [](InstallView& view, InstallState& state) {
    InstallOptions options;
    options.wow64 = IsWow64Process();
    auto worker = std::make_shared<InstallWorker>(view, state, options);
    worker->Start();
    return std::shared_ptr<PageWorker>(worker);
  };
}

}  // namespace tonvik::install
