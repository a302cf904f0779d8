#include "install/prerequisites_worker.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <map>

#include "install/child_process.h"
#include "platform/exit_codes.h"
#include "install/redist_list.h"
#include "install/size_text.h"
#include "install/temporary_files.h"
#include "platform/abandoned_threads.h"

namespace tonvik::install {

namespace {

// The texts that depend on the component.
struct ComponentTexts {
  const char16_t* short_name;  // in the download progress line
  const char16_t* installing;
  const char16_t* not_located;
  const char16_t* not_downloaded;
  const char16_t* not_installed;
};

const ComponentTexts& TextsOf(PrerequisiteKind kind) {
  static const ComponentTexts kWindowsInstaller{
      u"Windows Installer", u"Installing Windows Installer component",
      u"Unable to locate Windows Installer component. Unable to proceed. Installation aborted.",
      u"Unable to download Windows Installer component. Unable to proceed. Installation aborted.",
      u"Unable to install Windows Installer. Installation aborted."};
  static const ComponentTexts kWmaCodecs{
      u"WMA codecs", u"Installing WMA codecs",
      u"Unable to locate WMA codecs. Unable to proceed. Installation aborted.",
      u"Unable to download WMA codecs. Unable to proceed. Installation aborted.",
      u"Unable to install WMA codecs. Installation aborted."};
  return kind == PrerequisiteKind::WindowsInstaller ? kWindowsInstaller : kWmaCodecs;
}

constexpr char16_t kListNotFetched[] =
    u"Unable to locate requested components. Please check your Internet connection. Installation aborted.";
constexpr char16_t kCanceled[] = u"Installation canceled.";

std::string TempFolder(const std::string& chosen) {
  std::string folder = chosen;
  if (folder.empty()) {
    const char* tmpdir = std::getenv("TMPDIR");
    folder = tmpdir && *tmpdir ? tmpdir : "/tmp";
  }
  if (folder.back() != '/') folder.push_back('/');
  return folder;
}

// The installers downloaded in one run. Each is registered with
// temporary_files.h, so that the signal handler there removes it when SIGTERM,
// SIGINT or SIGHUP ends the setup, and as an unfinished file, so that a quick
// exit under a worker let go by its page removes it; all are removed, and
// forgotten by their components, when the run's downloads go out of scope,
// whatever happened. Only a setup killed by SIGKILL leaves its RCI file
// behind: nothing of ours runs then, and the file cannot be unlinked early
// because the installer is run by its path.
class Downloads {
 public:
  explicit Downloads(std::vector<Prerequisite>& components) : components_(components) {}
  ~Downloads() {
    for (const std::string& path : paths_) {
      ::unlink(path.c_str());
      ForgetTemporary(path);
      ForgetUnfinishedFile(path);
      // The component no longer has that file.
      for (Prerequisite& c : components_)
        if (c.local_file == path) c.local_file.clear();
    }
  }
  Downloads(const Downloads&) = delete;
  Downloads& operator=(const Downloads&) = delete;

  void Add(const std::string& path) {
    paths_.push_back(path);
    RegisterTemporary(path);
    RegisterUnfinishedFile(path);
  }

 private:
  std::vector<Prerequisite>& components_;
  std::vector<std::string> paths_;
};

}  // namespace

// One run of the worker on its thread. It reaches the page's view and state
// only through the link, so that it can outlive a page that let it go; the
// components are its own copy.
class PrerequisitesWorker::Session {
 public:
  Session(std::vector<Prerequisite> components, PrerequisitesView& view, SetupState& state,
          PrerequisitesOptions options, WorkerLink link)
      : components_(std::move(components)),
        view_(view),
        state_(state),
        options_(std::move(options)),
        link_(std::move(link)) {}

  void Run() {
    {
      Downloads downloads(components_);
      if (DownloadMissing(downloads)) InstallSelected();
    }  // every download is gone before the page hears that the worker is done
    link_.ToPage([&] {
      if (error_ && !state_.error) {  // the first error of the run is the one reported
        state_.error = true;
        state_.error_text = error_text_;
      }
      if (reboot_required_) state_.reboot_required = true;
      view_.WorkerFinished();
    });
  }

 private:
  // The download status of one component: stops the transfer once the run is
  // to stop, otherwise shows the bytes so far and the bar. Lives for one
  // download.
  class Progress {
   public:
    Progress(std::u16string name, const Session& session) : name_(std::move(name)), session_(session) {}

    bool operator()(uint64_t progress, uint64_t maximum) {
      if (session_.Canceled()) return false;
      // libcurl also calls while nothing moves (to let us abort); the page
      // only hears of changes.
      if (shown_ && progress == last_progress_ && maximum == last_maximum_) return true;
      shown_ = true;
      last_progress_ = progress;
      last_maximum_ = maximum;
      session_.link_.ToPage([&] {
        session_.view_.ShowStatus(DownloadStatusText(name_, progress, maximum));
        if (maximum != 0) session_.view_.ShowProgress(DownloadPercent(progress, maximum));
      });
      return true;
    }

   private:
    std::u16string name_;
    const Session& session_;
    bool shown_ = false;
    uint64_t last_progress_ = 0;
    uint64_t last_maximum_ = 0;
  };

  // Cancel was confirmed on the page, or the worker was asked to stop.
  bool Canceled() const {
    if (link_.StopRequested()) return true;
    bool canceled = false;
    link_.ToPage([&] { canceled = state_.abort_requested.load(); });
    return canceled;
  }

  void ShowStatus(const std::u16string& text) const {
    link_.ToPage([&] { view_.ShowStatus(text); });
  }

  // Records the run's first error; false, for the step to answer.
  bool Fail(const std::u16string& text) {
    if (!error_) {
      error_ = true;
      error_text_ = text;
    }
    return false;
  }

  // True, with the error recorded, once the run is to stop.
  bool StopIfCanceled() {
    if (!Canceled()) return false;
    Fail(kCanceled);
    return true;
  }

  // Each step answers false once the run is over (an error, Cancel, or a
  // request to stop), the error recorded.

  // The list, then every selected component without a local copy.
  bool DownloadMissing(Downloads& downloads) {
    bool need_download = false;
    for (const Prerequisite& c : components_) need_download |= c.selected && c.local_file.empty();
    if (!need_download) return true;
    ShowStatus(u"Locating components");
    std::map<std::string, std::string> list;
    if (!FetchList(&list)) return false;
    const std::string folder = TempFolder(options_.temp_dir);
    for (Prerequisite& c : components_) {
      if (!c.selected || !c.local_file.empty()) continue;
      if (!DownloadInstaller(c, list, folder, downloads)) return false;
    }
    return !StopIfCanceled();
  }

  bool FetchList(std::map<std::string, std::string>* list) {
    std::string text;
    // Cancel stops the list's transfer too.
    const auto go_on = [this](uint64_t, uint64_t) { return !Canceled(); };
    if (DownloadToMemory(options_.host + "/redist/redist.txt", &text, go_on) != DownloadResult::Ok)
      return Fail(Canceled() ? kCanceled : kListNotFetched);
    *list = ParseRedistList(text);
    return true;
  }

  bool DownloadInstaller(Prerequisite& component, const std::map<std::string, std::string>& list,
                         const std::string& folder, Downloads& downloads) {
    const ComponentTexts& texts = TextsOf(component.kind);
    const char* key = RedistKey(static_cast<int>(component.kind));
    const auto address = key ? list.find(key) : list.end();
    if (address == list.end()) return Fail(texts.not_located);
    std::string path = folder + "RCIXXXXXX";
    // Close-on-exec, so no installer started meanwhile holds the file open for
    // writing (which would keep it from being run: ETXTBSY).
    const int fd = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0) return Fail(texts.not_downloaded);
    downloads.Add(path);
    Progress progress(texts.short_name, *this);
    const DownloadResult result = DownloadToFile(address->second, fd, std::ref(progress));
    // Owner only, and runnable: the file is an installer.
    const bool ready = ::fchmod(fd, 0700) == 0;
    const bool closed = ::close(fd) == 0;
    if (result != DownloadResult::Ok || !ready || !closed)
      return Fail(Canceled() ? kCanceled : texts.not_downloaded);
    component.local_file = path;
    return true;
  }

  bool InstallSelected() {
    for (const Prerequisite& c : components_) {
      if (!c.selected) continue;
      if (!RunInstaller(c) || StopIfCanceled()) return false;
    }
    return true;
  }

  bool RunInstaller(const Prerequisite& component) {
    const ComponentTexts& texts = TextsOf(component.kind);
    ShowStatus(texts.installing);
    // The command line "<path> /Q:A /R:N": quiet, no restart by the installer.
    const StartedProcess started = StartProcess(component.local_file, {"/Q:A", "/R:N"});
    if (started.pid < 0) return Fail(texts.not_installed);
    // No limit: an installer is never cut short. A page that goes away
    // meanwhile lets the worker go (see StopWithin).
    const int exit_code = WaitForExit(started.pid);
    if (AsksForRestart(exit_code))
      reboot_required_ = true;
    else if (exit_code != 0)
      return Fail(texts.not_installed);
    return true;
  }

  std::vector<Prerequisite> components_;
  PrerequisitesView& view_;
  SetupState& state_;
  const PrerequisitesOptions options_;
  const WorkerLink link_;
  // What the run has to tell the state at its end.
  bool error_ = false;
  std::u16string error_text_;
  bool reboot_required_ = false;
};

PrerequisitesWorker::PrerequisitesWorker(const std::vector<Prerequisite>& components, PrerequisitesView& view,
                                         SetupState& state, PrerequisitesOptions options)
    : session_(std::make_shared<Session>(components, view, state, std::move(options), thread_.Link())) {}

PrerequisitesWorker::~PrerequisitesWorker() = default;

void PrerequisitesWorker::Start() {
  InitialiseDownloads();  // before the worker's thread exists
  thread_.Start([session = session_] { session->Run(); });
}

void PrerequisitesWorker::Join() { thread_.Join(); }

bool PrerequisitesWorker::StopWithin(std::chrono::milliseconds patience) { return thread_.StopWithin(patience); }

}  // namespace tonvik::install
