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

// The answer to a message of msi.so that cancels the installation.
constexpr int kIdCancel = 2;

std::string RunningProgram() {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

}  // namespace

void ForgetMsiBinding() { MsiBinding().Forget(); }

// One installation on the worker's thread. It reaches the page's view and
// state only through the link, so that it can outlive a page that let it go.
class InstallWorker::Installation {
 public:
  Installation(InstallView& view, InstallState& state, InstallOptions options, WorkerLink link)
      : view_(view), state_(state), options_(std::move(options)), link_(std::move(link)) {}

  void Run() {
    const char16_t* error = Install();
    link_.ToPage([&] {
      if (error != nullptr) {
        state_.error = true;
        state_.error_text = error;
      }
      view_.InstallFinished();
    });
  }

 private:
  // The installation's error text; null when every package went in.
  const char16_t* Install() {
    ShowStart(u"Starting installation", 100);  // the bar back at 0
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
      return failure.text;
    }

    std::vector<const char*> packages = {"pellorin.msi"};
    if (options_.wow64) packages.push_back("kestrane.msi");
    const std::string program = options_.setup_program.empty() ? RunningProgram() : options_.setup_program;
    for (const char* package : packages) {
      const size_t slash = program.rfind('/');
      if (slash == std::string::npos) return u"Internal error #2. Installation aborted.";
      if (!InstallPackage(msi, FromUtf8(program.substr(0, slash + 1) + package)))
        return u"Failed to install. Installation aborted.";
    }
    return nullptr;
  }

  bool InstallPackage(const MsiFunctions& msi, const std::u16string& path) {
    if (link_.StopRequested()) return false;
    const bool reinstall = IsReinstall(msi, path);
    // No user interface of the installer's own, an owner window all the same;
    // the progress comes here.
    void* window = this;
    msi.set_internal_ui(INSTALLUILEVEL_NONE, &window);
    msi.set_external_ui(OnMessage, kMessageFilter, this);
    ShowStart(u"Installing", 1000);
    // A restart asked for by the package counts as a failure too.
    return msi.install_product(path.c_str(), reinstall ? kReinstallCommandLine : nullptr) == ERROR_SUCCESS;
  }

  void ShowStart(const char16_t* status, int steps) {
    link_.ToPage([&] {
      view_.ShowStatus(status);
      view_.SetProgressRange(0, steps);
    });
  }

  // msi.so's messages while it installs: each progress message steps the
  // bar; none is handled here, so the installer goes on as it would alone,
  // until the worker is asked to stop.
  static int OnMessage(void* context, uint32_t message_type, const char16_t*) {
    auto* installation = static_cast<Installation*>(context);
    if (installation->link_.StopRequested()) return kIdCancel;
    if (message_type >= INSTALLMESSAGE_PROGRESS && message_type <= (INSTALLMESSAGE_PROGRESS | 0x00FFFFFF))
      installation->link_.ToPage([installation] { installation->view_.StepProgress(); });
    return 0;
  }

  InstallView& view_;
  InstallState& state_;
  const InstallOptions options_;
  const WorkerLink link_;
};

InstallWorker::InstallWorker(InstallView& view, InstallState& state, InstallOptions options)
    : installation_(std::make_shared<Installation>(view, state, std::move(options), thread_.Link())) {}

InstallWorker::~InstallWorker() = default;

void InstallWorker::Start() {
  thread_.Start([installation = installation_] { installation->Run(); });
}

void InstallWorker::Join() { thread_.Join(); }

bool InstallWorker::StopWithin(std::chrono::milliseconds patience) { return thread_.StopWithin(patience); }

}  // namespace tonvik::install
