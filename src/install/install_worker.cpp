#include "install/install_worker.h"

#include <unistd.h>

#include <climits>
#include <vector>

#include "modules/msi/msi.h"
#include "platform/run_time_binding.h"
#include "platform/system_modules.h"
#include "platform/text.h"

namespace tonvik::install {

namespace {

// The Windows Installer functions the installation needs, from msi.so.
struct MsiFunctions {
  MsiSetInternalUIFn set_internal_ui = nullptr;
  MsiSetExternalUIWFn set_external_ui = nullptr;
  MsiInstallProductWFn install_product = nullptr;
  MsiOpenDatabaseWFn open_database = nullptr;
  MsiDatabaseOpenViewWFn open_view = nullptr;
  MsiViewExecuteFn view_execute = nullptr;
  MsiViewFetchFn view_fetch = nullptr;
  MsiRecordGetStringWFn record_get_string = nullptr;
  MsiQueryProductStateWFn query_product_state = nullptr;
  MsiCloseHandleFn close_handle = nullptr;

  bool Resolve(const DynamicLibrary& msi) {
    set_internal_ui = msi.Function<MsiSetInternalUIFn>("MsiSetInternalUI");
    set_external_ui = msi.Function<MsiSetExternalUIWFn>("MsiSetExternalUIW");
    install_product = msi.Function<MsiInstallProductWFn>("MsiInstallProductW");
    open_database = msi.Function<MsiOpenDatabaseWFn>("MsiOpenDatabaseW");
    open_view = msi.Function<MsiDatabaseOpenViewWFn>("MsiDatabaseOpenViewW");
    view_execute = msi.Function<MsiViewExecuteFn>("MsiViewExecute");
    view_fetch = msi.Function<MsiViewFetchFn>("MsiViewFetch");
    record_get_string = msi.Function<MsiRecordGetStringWFn>("MsiRecordGetStringW");
    query_product_state = msi.Function<MsiQueryProductStateWFn>("MsiQueryProductStateW");
    close_handle = msi.Function<MsiCloseHandleFn>("MsiCloseHandle");
    return set_internal_ui && set_external_ui && install_product && open_database && open_view &&
           view_execute && view_fetch && record_get_string && query_product_state && close_handle;
  }
};

// The engine stays loaded for the rest of the process once bound: it keeps
// the progress handler, and its libraries do not take well to being unloaded.
RunTimeBinding<MsiFunctions>& MsiBinding() {
  static RunTimeBinding<MsiFunctions> binding;
  return binding;
}

// Why the engine could not be bound, as the page reports it.
struct BindFailure {
  const char16_t* text;
};

constexpr char16_t kProductCodeQuery[] = u"SELECT `Value` FROM `Property` WHERE `Property`='ProductCode'";
constexpr char16_t kReinstallCommandLine[] = u"REINSTALL=ALL REINSTALLMODE=vomus";
// Every kind of message up to the dialog messages, but not the one about
// files in use.
constexpr uint32_t kMessageFilter = kSetupMessageFilter;

// Whether the package's product is installed (or advertised) already, so
// the package goes in as a reinstall.
bool IsReinstall(const MsiFunctions& msi, const std::u16string& package) {
  MSIHANDLE database = 0, view = 0, record = 0;
  bool reinstall = false;
  if (msi.open_database(package.c_str(), MSIDBOPEN_READONLY, &database) == ERROR_SUCCESS &&
      msi.open_view(database, kProductCodeQuery, &view) == ERROR_SUCCESS &&
      msi.view_execute(view, 0) == ERROR_SUCCESS && msi.view_fetch(view, &record) == ERROR_SUCCESS) {
    char16_t product_code[40] = {};
    uint32_t size = 40;
    if (msi.record_get_string(record, 1, product_code, &size) == ERROR_SUCCESS) {
      const INSTALLSTATE state = msi.query_product_state(product_code);
      reinstall = state == INSTALLSTATE_DEFAULT || state == INSTALLSTATE_ADVERTISED;
    }
  }
  if (record) msi.close_handle(record);
  if (view) msi.close_handle(view);
  if (database) msi.close_handle(database);
  return reinstall;
}

// msi.so's messages while it installs: each progress message steps the bar;
// none is handled here, so the installer goes on as it would alone.
int OnInstallerMessage(void* context, uint32_t message_type, const char16_t*) {
  if (message_type >= INSTALLMESSAGE_PROGRESS && message_type <= (INSTALLMESSAGE_PROGRESS | 0x00FFFFFF))
    static_cast<InstallView*>(context)->StepProgress();
  return 0;
}

std::string RunningProgram() {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

}  // namespace

void ForgetMsiBinding() { MsiBinding().Forget(); }

InstallWorker::InstallWorker(InstallView& view, InstallState& state, InstallOptions options)
    : view_(view), state_(state), options_(std::move(options)) {}

InstallWorker::~InstallWorker() { Join(); }

void InstallWorker::Start() { thread_ = std::thread(&InstallWorker::Run, this); }

void InstallWorker::Join() {
  if (thread_.joinable()) thread_.join();
}

void InstallWorker::Run() {
  auto fail = [this](const char16_t* text) {
    state_.error = true;
    state_.error_text = text;
  };

  [&] {
    view_.ShowStatus(u"Starting installation");
    view_.SetProgressRange(0, 100);  // the bar back at 0

    MsiFunctions msi;
    try {
      msi = MsiBinding().Get([] { return LoadModuleByName("msi.so"); },
                             [](const DynamicLibrary& library) {
                               if (!library.loaded())
                                 throw BindFailure{u"Unable to access Windows Installer. Installation aborted."};
                               MsiFunctions functions;
                               if (!functions.Resolve(library)) throw BindFailure{u"Internal error #1. Installation aborted."};
                               return functions;
                             });
    } catch (const BindFailure& failure) {
      fail(failure.text);
      return;
    }

    std::vector<const char*> packages = {"pellorin.msi"};
    if (options_.wow64) packages.push_back("kestrane.msi");

    const std::string program = options_.setup_program.empty() ? RunningProgram() : options_.setup_program;
    for (const char* package : packages) {
      const size_t slash = program.rfind('/');
      if (slash == std::string::npos) {
        fail(u"Internal error #2. Installation aborted.");
        return;
      }
      const std::u16string path = FromUtf8(program.substr(0, slash + 1) + package);
      const bool reinstall = IsReinstall(msi, path);

      // No user interface of the installer's own, the page as its owner; the
      // progress comes here.
      void* window = &view_;
      msi.set_internal_ui(INSTALLUILEVEL_NONE, &window);
      msi.set_external_ui(OnInstallerMessage, kMessageFilter, &view_);

      view_.ShowStatus(u"Installing");
      view_.SetProgressRange(0, 1000);
      // A restart asked for by the package counts as a failure too.
      if (msi.install_product(path.c_str(), reinstall ? kReinstallCommandLine : nullptr) != ERROR_SUCCESS) {
        fail(u"Failed to install. Installation aborted.");
        return;
      }
    }
  }();

  view_.InstallFinished();
}

}  // namespace tonvik::install
