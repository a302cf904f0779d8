// The prerequisites worker against the loopback server standing in for the
// maker's host (through http_proxy): the list, the downloads into RCI files,
// the installers run as processes, every error text, Cancel.
#include <gtest/gtest.h>

#include <functional>
#include <mutex>

#include "install/prerequisite.h"
#include "install/prerequisites_worker.h"
#include "install/setup_env.h"
#include "install/size_text.h"
#include "platform/text.h"
#include "support/loopback_server.h"

namespace tonvik::install {
namespace {

using test::fs::path;
using test::ScopedEnv;

// What the page was told, in order.
class RecordingView : public PrerequisitesView {
 public:
  struct Event {
    enum Kind { Status, Progress, Finished } kind;
    std::string text;
    int percent = 0;
  };
  // Called with each event on the worker's thread (to press Cancel).
  std::function<void(const Event&)> hook;

  void ShowStatus(const std::u16string& text) override { Add({Event::Status, ToUtf8(text)}); }
  void ShowProgress(int percent) override { Add({Event::Progress, "", percent}); }
  void WorkerFinished() override { Add({Event::Finished, ""}); }

  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.clear();
  }
  std::vector<Event> events() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  std::vector<std::string> statuses() {
    std::vector<std::string> texts;
    for (const Event& e : events())
      if (e.kind == Event::Status) texts.push_back(e.text);
    return texts;
  }

 private:
  void Add(const Event& e) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      events_.push_back(e);
    }
    if (hook) hook(e);
  }
  std::mutex mutex_;
  std::vector<Event> events_;
};

// An installer that appends "<label> <$0> <argument count> [<argument>]..." to
// $INSTALLER_LOG and ends with `ending`; padded beyond 100 kb so its download
// shows in kb.
std::string Installer(const std::string& label, const std::string& ending, size_t pad = 150000) {
  return "#!/bin/sh\n"
         "printf '%s %s %s' '" + label + "' \"$0\" \"$#\" >> \"$INSTALLER_LOG\"\n"
         "for a; do printf ' [%s]' \"$a\" >> \"$INSTALLER_LOG\"; done\n"
         "echo >> \"$INSTALLER_LOG\"\n" +
         ending + "\n# " + std::string(pad, 'x') + "\n";
}

constexpr char kList[] =
    "# the maker's redistributables\r\n"
    "MSIUNICODE=http://www.quellbrook.com/redist/instmsiw\r\n"
    "WMFDISTXP=http://www.quellbrook.com/redist/wmfdist95\r\n";

struct Component {
  Component(PrerequisiteKind k, bool s = true, std::string l = {}) : kind(k), selected(s), local(std::move(l)) {}
  PrerequisiteKind kind;
  bool selected;
  std::string local;  // a file of the setup folder; empty: downloaded
};

class PrerequisitesWorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::fs::create_directories(tmp());
    const path www = sandbox_.root() / "www";
    test::WriteFile(www / "msi.sh", Installer("msi", "exit 0"));
    test::WriteFile(www / "msi_fail.sh", Installer("msi", "exit 1603"));
    test::WriteFile(www / "wma.sh", Installer("wma", "exit 0"));
    test::WriteFile(www / "wma_reboot.sh", Installer("wma", "exit 3010"));
    test::WriteFile(www / "wma_fail.sh", Installer("wma", "exit 1"));
    test::WriteFile(www / "orphan.sh", "#!/nonexistent/interpreter\nexit 0\n");
    test::WriteFile(www / "list.txt", kList);
    test::WriteScript(setup() / "instmsiw", Installer("local msi", "exit 0", 0));
    test::WriteScript(setup() / "wmfdist95", Installer("local wma", "exit 3010", 0));
  }

  // Starts the server with the routes, runs the worker over the components and
  // waits for it.
  void Run(const std::string& routes, std::vector<Prerequisite> components) {
    server_.reset();
    test::fs::remove(sandbox_.root() / "www/requests.log");
    server_ = std::make_unique<tonvik::testing::LoopbackServer>(sandbox_.root() / "www", routes);
    ASSERT_NE(server_->port(), 0);
    ScopedEnv proxy("http_proxy", server_->proxy());
    components_ = std::move(components);
    PrerequisitesWorker worker(components_, view_, state_);
    worker.Start();
    worker.Join();
  }

  static std::vector<Prerequisite> Make(const std::vector<Component>& wanted, const path& folder) {
    std::vector<Prerequisite> list;
    for (const Component& c : wanted) {
      Prerequisite p{c.kind, c.kind == PrerequisiteKind::WindowsInstaller ? u"Windows Installer"
                                                                          : u"Windows Media Audio 10 (WMA) codecs",
                     u"", c.local.empty() ? "" : (folder / c.local).string(),
                     c.kind == PrerequisiteKind::WindowsInstaller, c.selected};
      list.push_back(p);
    }
    return list;
  }

  path tmp() const { return sandbox_.root() / "tmp"; }
  path setup() const { return sandbox_.root() / "setup"; }
  std::vector<std::string> InstallerRuns() const { return test::Lines(sandbox_.root() / "installers.log"); }
  // The request targets the server saw.
  std::vector<std::string> Requests() const {
    std::vector<std::string> targets;
    for (const std::string& line : server_->Requests())
      if (line.rfind("done ", 0) != 0) targets.push_back(line.substr(0, line.find('\t')));
    return targets;
  }
  // A run line as Installer() writes it, for a downloaded file (RCI... in the
  // temporary folder) or a file of the setup folder.
  std::string Downloaded(const std::string& label) const { return label + " " + (tmp() / "RCI").string(); }

  test::Sandbox sandbox_;
  ScopedEnv no_proxy_{"no_proxy", std::nullopt};
  ScopedEnv no_proxy_upper_{"NO_PROXY", std::nullopt};
  ScopedEnv tmpdir_{"TMPDIR", (sandbox_.root() / "tmp").string()};
  ScopedEnv log_{"INSTALLER_LOG", (sandbox_.root() / "installers.log").string()};
  std::unique_ptr<tonvik::testing::LoopbackServer> server_;
  std::vector<Prerequisite> components_;
  RecordingView view_;
  SetupState state_;
};

constexpr auto kMsi = PrerequisiteKind::WindowsInstaller;
constexpr auto kWma = PrerequisiteKind::WmaCodecs;
const std::string kListRequest = "http://www.quellbrook.com/redist/redist.txt";
const std::string kMsiRequest = "http://www.quellbrook.com/redist/instmsiw";
const std::string kWmaRequest = "http://www.quellbrook.com/redist/wmfdist95";

TEST_F(PrerequisitesWorkerTest, OutcomesOfListsDownloadsAndInstallers) {
  struct Case {
    const char* what;
    std::string routes;
    std::vector<Component> components;
    std::vector<std::string> requests;
    std::vector<std::string> runs;  // label and how it was started
    const char* error;              // nullptr: none
    bool reboot;
  } cases[] = {
      {"both downloaded and installed",
       "/redist/redist.txt 200 list.txt\n/redist/instmsiw 200 msi.sh\n/redist/wmfdist95 200 wma.sh\n",
       {{kMsi}, {kWma}}, {kListRequest, kMsiRequest, kWmaRequest},
       {Downloaded("msi"), Downloaded("wma")}, nullptr, false},
      {"an installer asks for a restart",
       "/redist/redist.txt 200 list.txt\n/redist/wmfdist95 200 wma_reboot.sh\n",
       {{kWma}}, {kListRequest, kWmaRequest}, {Downloaded("wma")}, nullptr, true},
      {"the WMA installer fails",
       "/redist/redist.txt 200 list.txt\n/redist/wmfdist95 200 wma_fail.sh\n",
       {{kWma}}, {kListRequest, kWmaRequest}, {Downloaded("wma")},
       "Unable to install WMA codecs. Installation aborted.", false},
      {"the Windows Installer installer fails: the next one is not run",
       "/redist/redist.txt 200 list.txt\n/redist/instmsiw 200 msi_fail.sh\n/redist/wmfdist95 200 wma.sh\n",
       {{kMsi}, {kWma}}, {kListRequest, kMsiRequest, kWmaRequest}, {Downloaded("msi")},
       "Unable to install Windows Installer. Installation aborted.", false},
      {"an installer that cannot be started",
       "/redist/redist.txt 200 list.txt\n/redist/wmfdist95 200 orphan.sh\n",
       {{kWma}}, {kListRequest, kWmaRequest}, {},
       "Unable to install WMA codecs. Installation aborted.", false},
      {"no list",
       "/redist/redist.txt 404\n", {{kMsi}, {kWma}}, {kListRequest}, {},
       "Unable to locate requested components. Please check your Internet connection. Installation aborted.", false},
      {"the list lacks WMFDISTXP",
       "/redist/redist.txt 200 list_no_wma.txt\n", {{kWma}}, {kListRequest}, {},
       "Unable to locate WMA codecs. Unable to proceed. Installation aborted.", false},
      {"the list lacks MSIUNICODE",
       "/redist/redist.txt 200 list_no_msi.txt\n/redist/wmfdist95 200 wma.sh\n", {{kMsi}, {kWma}},
       {kListRequest}, {},
       "Unable to locate Windows Installer component. Unable to proceed. Installation aborted.", false},
      {"a download cut off",
       "/redist/redist.txt 200 list.txt\n/redist/wmfdist95 cut wma.sh\n", {{kWma}},
       {kListRequest, kWmaRequest}, {},
       "Unable to download WMA codecs. Unable to proceed. Installation aborted.", false},
      {"a download not found",
       "/redist/redist.txt 200 list.txt\n/redist/instmsiw 404\n/redist/wmfdist95 200 wma.sh\n",
       {{kMsi}, {kWma}}, {kListRequest, kMsiRequest}, {},
       "Unable to download Windows Installer component. Unable to proceed. Installation aborted.", false},
      {"nothing selected: nothing fetched", "", {{kMsi, false}, {kWma, false}}, {}, {}, nullptr, false},
      {"a local copy needs no list", "", {{kMsi, false}, {kWma, true, "wmfdist95"}}, {},
       {"local wma " + (setup() / "wmfdist95").string()}, nullptr, true},
      {"a local copy and a download",
       "/redist/redist.txt 200 list.txt\n/redist/wmfdist95 200 wma.sh\n",
       {{kMsi, true, "instmsiw"}, {kWma}}, {kListRequest, kWmaRequest},
       {"local msi " + (setup() / "instmsiw").string(), Downloaded("wma")}, nullptr, false},
  };
  test::WriteFile(sandbox_.root() / "www/list_no_wma.txt",
                  "MSIUNICODE=http://www.quellbrook.com/redist/instmsiw\nWMFDIST=http://www.quellbrook.com/redist/"
                  "wmfdist95\nwmfdistxp=http://www.quellbrook.com/redist/wmfdist95\n");
  test::WriteFile(sandbox_.root() / "www/list_no_msi.txt",
                  "MSIANSI=http://www.quellbrook.com/redist/instmsiw\nWMFDISTXP=http://www.quellbrook.com/redist/"
                  "wmfdist95\n");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::fs::remove(sandbox_.root() / "installers.log");
    view_.Clear();
    state_.error = false;
    state_.error_text.clear();
    state_.reboot_required = false;
    Run(c.routes, Make(c.components, setup()));

    EXPECT_EQ(Requests(), c.requests);
    const std::vector<std::string> runs = InstallerRuns();
    ASSERT_EQ(runs.size(), c.runs.size());
    for (size_t i = 0; i < runs.size(); ++i) {
      // Started by its path, with exactly "/Q:A" and "/R:N".
      EXPECT_EQ(runs[i].rfind(c.runs[i], 0), 0u) << runs[i];
      EXPECT_EQ(runs[i].substr(runs[i].find(' ', c.runs[i].size())), " 2 [/Q:A] [/R:N]") << runs[i];
    }
    EXPECT_EQ(state_.error, c.error != nullptr);
    EXPECT_EQ(ToUtf8(state_.error_text), c.error ? c.error : "");
    EXPECT_EQ(state_.reboot_required, c.reboot);
    // Every temporary file is gone, whatever happened, and no component
    // points at one any more.
    EXPECT_EQ(test::Listing(tmp()), std::vector<std::string>{});
    for (const Prerequisite& p : components_) EXPECT_EQ(p.local_file.find(tmp().string()), std::string::npos);
    // The worker's last word.
    const auto events = view_.events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().kind, RecordingView::Event::Finished);
    size_t finished = 0;
    for (const auto& e : events) finished += e.kind == RecordingView::Event::Finished;
    EXPECT_EQ(finished, 1u);
  }
}

TEST_F(PrerequisitesWorkerTest, ThePageSeesLocatingDownloadingAndInstalling) {
  Run("/redist/redist.txt 200 list.txt\n/redist/instmsiw 200 msi.sh\n/redist/wmfdist95 slow 8192 5 wma.sh\n",
      Make({{kMsi}, {kWma}}, setup()));
  EXPECT_FALSE(state_.error) << ToUtf8(state_.error_text);
  const std::vector<std::string> statuses = view_.statuses();
  ASSERT_FALSE(statuses.empty());
  EXPECT_EQ(statuses.front(), "Locating components");
  // The order of the phases, each download's lines between.
  std::vector<std::string> phases;
  for (const std::string& s : statuses) {
    const std::string phase = s.rfind("Downloading ", 0) == 0 ? s.substr(0, s.find(" (")) : s;
    if (phases.empty() || phases.back() != phase) phases.push_back(phase);
  }
  // Every download before the first installer.
  EXPECT_EQ(phases, (std::vector<std::string>{"Locating components", "Downloading Windows Installer",
                                              "Downloading WMA codecs", "Installing Windows Installer component",
                                              "Installing WMA codecs"}));
  // The WMA download in kb of its whole size, to the end.
  const uint64_t size = test::fs::file_size(sandbox_.root() / "www/wma.sh");
  const std::string whole = " of " + SizeText(size) + ")";
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "Downloading WMA codecs (" + SizeText(size) + whole),
            statuses.end());
  size_t partial = 0;
  for (const std::string& s : statuses)
    partial += s.rfind("Downloading WMA codecs (", 0) == 0 && s.size() > whole.size() &&
               s.compare(s.size() - whole.size(), whole.size(), whole) == 0 && s != "Downloading WMA codecs (" + SizeText(size) + whole;
  EXPECT_GT(partial, 0u) << "no line while the slow download ran";
  // The bar only moves forward within a download and ends full.
  int last = -1, fulls = 0;
  std::string phase;
  for (const auto& e : view_.events()) {
    if (e.kind == RecordingView::Event::Status && e.text.substr(0, e.text.find(" (")) != phase) {
      phase = e.text.substr(0, e.text.find(" ("));
      last = -1;
    }
    if (e.kind != RecordingView::Event::Progress) continue;
    EXPECT_GE(e.percent, last);
    EXPECT_LE(e.percent, 100);
    last = e.percent;
    fulls += e.percent == 100;
  }
  EXPECT_GE(fulls, 2);
}

TEST_F(PrerequisitesWorkerTest, CancelDuringADownload) {
  view_.hook = [this](const RecordingView::Event& e) {
    if (e.text.rfind("Downloading WMA codecs (", 0) == 0 && e.text.rfind("Downloading WMA codecs (0 bytes", 0) != 0)
      state_.abort_requested = true;
  };
  Run("/redist/redist.txt 200 list.txt\n/redist/instmsiw 200 msi.sh\n/redist/wmfdist95 slow 1024 20 wma.sh\n",
      Make({{kMsi}, {kWma}}, setup()));
  EXPECT_TRUE(state_.error);
  EXPECT_EQ(ToUtf8(state_.error_text), "Installation canceled.");
  EXPECT_EQ(InstallerRuns(), std::vector<std::string>{});  // nothing installed
  EXPECT_EQ(test::Listing(tmp()), std::vector<std::string>{});
  EXPECT_EQ(view_.events().back().kind, RecordingView::Event::Finished);
}

TEST_F(PrerequisitesWorkerTest, CancelWhileTheHostIsSilent) {
  // The host accepts and never answers: Cancel still ends the worker, while
  // the list is fetched and while an installer is downloaded.
  struct Case {
    const char* routes;
    const char* cancel_at;  // the status that presses Cancel
  } cases[] = {
      {"/redist/redist.txt hang\n", "Locating components"},
      {"/redist/redist.txt 200 list.txt\n/redist/wmfdist95 hang\n", "Downloading WMA codecs (0 bytes of 0 bytes)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cancel_at);
    view_.Clear();
    state_.abort_requested = false;
    state_.error = false;
    state_.error_text.clear();
    const std::string cancel_at = c.cancel_at;
    view_.hook = [this, cancel_at](const RecordingView::Event& e) {
      if (e.text == cancel_at) state_.abort_requested = true;
    };
    Run(c.routes, Make({{kWma}}, setup()));
    EXPECT_EQ(ToUtf8(state_.error_text), "Installation canceled.");
    EXPECT_EQ(test::Listing(tmp()), std::vector<std::string>{});
    EXPECT_EQ(view_.events().back().kind, RecordingView::Event::Finished);
  }
}

TEST_F(PrerequisitesWorkerTest, CancelWhileAnInstallerRuns) {
  // Cancel is pressed while the first installer runs: it is not stopped, the
  // next one is not started.
  view_.hook = [this](const RecordingView::Event& e) {
    if (e.text == "Installing Windows Installer component") state_.abort_requested = true;
  };
  Run("/redist/redist.txt 200 list.txt\n/redist/instmsiw 200 msi.sh\n/redist/wmfdist95 200 wma.sh\n",
      Make({{kMsi}, {kWma}}, setup()));
  EXPECT_EQ(ToUtf8(state_.error_text), "Installation canceled.");
  const std::vector<std::string> runs = InstallerRuns();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].rfind(Downloaded("msi"), 0), 0u);
  EXPECT_EQ(test::Listing(tmp()), std::vector<std::string>{});
}

TEST_F(PrerequisitesWorkerTest, LocalCopiesFoundInTheSetupFolderAreRunWithoutTheNetwork) {
  // Nothing in the system modules folder: both components are missing, and
  // the setup folder holds both installers.
  std::vector<Prerequisite> found = DetectPrerequisites({setup().string()});
  ASSERT_EQ(found.size(), 2u);
  for (Prerequisite& p : found) p.selected = true;
  Run("* 200 list.txt\n", found);
  EXPECT_EQ(Requests(), std::vector<std::string>{});
  EXPECT_FALSE(state_.error) << ToUtf8(state_.error_text);
  EXPECT_TRUE(state_.reboot_required);  // the local wmfdist95 answers 3010
  EXPECT_EQ(InstallerRuns(), (std::vector<std::string>{"local msi " + (setup() / "instmsiw").string() + " 2 [/Q:A] [/R:N]",
                                                        "local wma " + (setup() / "wmfdist95").string() + " 2 [/Q:A] [/R:N]"}));
  EXPECT_EQ(view_.statuses(), (std::vector<std::string>{"Installing Windows Installer component", "Installing WMA codecs"}));
}

}  // namespace
}  // namespace tonvik::install
