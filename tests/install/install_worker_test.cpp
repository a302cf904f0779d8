// The installation worker over a stand-in msi.so (a real module that records
// every call; fake_msi.cpp): which packages, in which order, reinstalls, the
// progress, every error text.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <mutex>

#include "install/install_worker.h"
#include "install/setup_env.h"
#include "platform/text.h"

namespace tonvik::install {
namespace {

using test::BuildFolder;
using test::fs::path;
using test::ScopedEnv;

class RecordingView : public InstallView {
 public:
  void ShowStatus(const std::u16string& text) override { Add("status " + ToUtf8(text)); }
  void SetProgressRange(int minimum, int maximum) override {
    Add("range " + std::to_string(minimum) + "-" + std::to_string(maximum));
  }
  void StepProgress() override { Add("step"); }
  void InstallFinished() override { Add("finished"); }
  std::vector<std::string> events() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }

 private:
  void Add(std::string e) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(std::move(e));
  }
  std::mutex mutex_;
  std::vector<std::string> events_;
};

constexpr char kPellorinCode[] = "{6D3A1C52-0F4B-4E8A-9C1D-2B7E5F903A11}";
constexpr char kKestraneCode[] = "{0B8E44F1-7A25-4C93-B1E6-93D0C2A7F458}";

// The calls for one package, as the stand-in records them with each handle
// named by the call that handed it out (handle closes sorted at the end).
std::vector<std::string> PackageCalls(const std::string& package, const std::string& code, const char* command_line,
                                      const std::string& result_line = "handler answered 0") {
  std::vector<std::string> calls = {
      "MsiOpenDatabaseW " + package + " read-only -> database",
      "MsiDatabaseOpenViewW database SELECT `Value` FROM `Property` WHERE `Property`='ProductCode' -> view",
      "MsiViewExecute view 0",
      "MsiViewFetch view -> record",
      "MsiRecordGetStringW record 1 40",
      "MsiQueryProductStateW " + code,
      "MsiCloseHandle database",
      "MsiCloseHandle record",
      "MsiCloseHandle view",
      "MsiSetInternalUI 2 window",
      "MsiSetExternalUIW 0x7FDF context",
      "MsiInstallProductW " + package + " [" + command_line + "]",
      result_line,
  };
  return calls;
}

// The stand-in's log with the handle each call works on (its first argument)
// and each handle handed out ("-> N") replaced by the kind of the call that
// handed it out. A number never handed out, or used after it was closed,
// stays a number and so fails the comparison. Each run of MsiCloseHandle
// lines is sorted.
std::vector<std::string> Named(std::vector<std::string> lines) {
  const std::pair<const char*, const char*> makers[] = {
      {"MsiOpenDatabaseW ", "database"}, {"MsiDatabaseOpenViewW ", "view"}, {"MsiViewFetch ", "record"}};
  std::map<std::string, std::string> open;  // handle number -> kind
  for (std::string& line : lines) {
    const size_t first = line.find(' ') + 1;
    const size_t end = line.find(' ', first);
    const std::string handle = line.substr(first, end == std::string::npos ? std::string::npos : end - first);
    if (const auto it = open.find(handle); first != 0 && it != open.end()) {
      line.replace(first, handle.size(), it->second);
      if (line.starts_with("MsiCloseHandle ")) open.erase(it);
    }
    if (const size_t arrow = line.rfind(" -> "); arrow != std::string::npos) {
      for (const auto& [call, kind] : makers) {
        if (!line.starts_with(call)) continue;
        open[line.substr(arrow + 4)] = kind;
        line.replace(arrow + 4, std::string::npos, kind);
      }
    }
  }
  for (auto it = lines.begin(); it != lines.end();) {
    auto end = std::find_if(it, lines.end(), [](const std::string& l) { return l.rfind("MsiCloseHandle", 0) != 0; });
    std::sort(it, end);
    it = end == it ? it + 1 : end;
  }
  return lines;
}

struct Case {
  const char* what;
  std::string modules;  // the system modules folder
  std::string setup_program;  // empty: <sandbox>/setup/install
  bool wow64 = false;
  std::optional<std::string> state, result, result_for;
  const char* error = nullptr;
  std::vector<std::string> calls;  // empty: none at all
};

class InstallWorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::WriteFile(setup() / "pellorin.msi", std::string(kPellorinCode) + "\n");
    test::WriteFile(setup() / "kestrane.msi", std::string(kKestraneCode) + "\n");
  }
  path setup() const { return sandbox_.root() / "setup"; }
  std::string Package(const char* name) const { return (setup() / name).string(); }

  void Check(const Case& c) {
    SCOPED_TRACE(c.what);
    const path log = sandbox_.root() / "msi.log";
    test::fs::remove(log);
    sandbox_.SetSystemModulesDir(c.modules);
    ScopedEnv log_env("FAKE_MSI_LOG", log.string());
    ScopedEnv state_env("FAKE_MSI_STATE", c.state);
    ScopedEnv result_env("FAKE_MSI_RESULT", c.result);
    ScopedEnv result_for_env("FAKE_MSI_RESULT_FOR", c.result_for);
    ScopedEnv progress_env("FAKE_MSI_PROGRESS", std::nullopt);
    RecordingView view;
    InstallState state;
    InstallWorker worker(view, state,
                         {c.setup_program.empty() ? (setup() / "install").string() : c.setup_program, c.wow64});
    worker.Start();
    worker.Join();
    EXPECT_EQ(state.error, c.error != nullptr);
    EXPECT_EQ(ToUtf8(state.error_text), c.error ? c.error : "");
    EXPECT_EQ(Named(test::Lines(log)), c.calls);
    const std::vector<std::string> events = view.events();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events[0], "status Starting installation");
    EXPECT_EQ(events[1], "range 0-100");
    EXPECT_EQ(events.back(), "finished");
    EXPECT_EQ(std::count(events.begin(), events.end(), "finished"), 1);
  }

  test::Sandbox sandbox_;
};

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST_F(InstallWorkerTest, PackagesReinstallsAndFailures) {
  const std::string full = BuildFolder("msi_full");
  const std::string reinstall = "REINSTALL=ALL REINSTALLMODE=vomus";
  const auto pellorin = PackageCalls(Package("pellorin.msi"), kPellorinCode, "null");
  const auto kestrane = PackageCalls(Package("kestrane.msi"), kKestraneCode, "null");
  const Case cases[] = {
      {"no msi.so", sandbox_.system().string(), "", false, {}, {}, {},
       "Unable to access Windows Installer. Installation aborted.", {}},
      {"msi.so without MsiQueryProductStateW", BuildFolder("msi_partial"), "", false, {}, {}, {},
       "Internal error #1. Installation aborted.", {}},
      {"a setup path without a folder", full, "install", false, {}, {}, {},
       "Internal error #2. Installation aborted.", {}},
      {"one package", full, "", false, {}, {}, {}, nullptr, pellorin},
      {"a 32-bit setup on a 64-bit system: both, pellorin first", full, "", true, {}, {}, {}, nullptr,
       Join(pellorin, kestrane)},
      {"the first package fails: the second is not tried", full, "", true, {}, "1603", "pellorin.msi",
       "Failed to install. Installation aborted.", pellorin},
      {"the second package fails", full, "", true, {}, "1603", "kestrane.msi",
       "Failed to install. Installation aborted.", Join(pellorin, kestrane)},
      {"a restart asked for is a failure too", full, "", false, {}, "3010", {},
       "Failed to install. Installation aborted.", pellorin},
      {"installed already: reinstalled", full, "", true, "5", {}, {}, nullptr,
       Join(PackageCalls(Package("pellorin.msi"), kPellorinCode, reinstall.c_str()),
            PackageCalls(Package("kestrane.msi"), kKestraneCode, reinstall.c_str()))},
      {"advertised: reinstalled", full, "", false, "1", {}, {}, nullptr,
       PackageCalls(Package("pellorin.msi"), kPellorinCode, reinstall.c_str())},
      {"absent (2): a fresh installation", full, "", false, "2", {}, {}, nullptr, pellorin},
      {"unknown product (-1): a fresh installation", full, "", false, "-1", {}, {}, nullptr, pellorin},
  };
  for (const Case& c : cases) Check(c);
}

TEST_F(InstallWorkerTest, PackagesThatCannotBeReadAreInstalledFreshOrFail) {
  const std::string full = BuildFolder("msi_full");
  // A package without a ProductCode row: the view and the database are
  // closed, no state is asked, and it installs without a command line.
  test::WriteFile(setup() / "pellorin.msi", "");
  Check({"no ProductCode", full, "", false, "5", {}, {}, nullptr,
         {"MsiOpenDatabaseW " + Package("pellorin.msi") + " read-only -> database",
          "MsiDatabaseOpenViewW database SELECT `Value` FROM `Property` WHERE `Property`='ProductCode' -> view",
          "MsiViewExecute view 0", "MsiViewFetch view", "MsiCloseHandle database", "MsiCloseHandle view",
          "MsiSetInternalUI 2 window", "MsiSetExternalUIW 0x7FDF context",
          "MsiInstallProductW " + Package("pellorin.msi") + " [null]", "handler answered 0"}});
  // A package missing from the setup's folder.
  test::fs::remove(setup() / "pellorin.msi");
  Check({"no package", full, "", false, "5", {}, {}, "Failed to install. Installation aborted.",
         {"MsiOpenDatabaseW " + Package("pellorin.msi") + " read-only", "MsiSetInternalUI 2 window",
          "MsiSetExternalUIW 0x7FDF context", "MsiInstallProductW " + Package("pellorin.msi") + " [null]",
          "handler answered 0"}});
}

TEST_F(InstallWorkerTest, ProgressMessagesStepTheBar) {
  sandbox_.SetSystemModulesDir(BuildFolder("msi_full"));
  ScopedEnv log_env("FAKE_MSI_LOG", (sandbox_.root() / "msi.log").string());
  ScopedEnv progress_env("FAKE_MSI_PROGRESS", "7");
  ScopedEnv state_env("FAKE_MSI_STATE", std::nullopt);
  ScopedEnv result_env("FAKE_MSI_RESULT", std::nullopt);
  RecordingView view;
  InstallState state;
  InstallWorker worker(view, state, {(setup() / "install").string(), true});
  worker.Start();
  worker.Join();
  EXPECT_FALSE(state.error) << ToUtf8(state.error_text);
  // Each package: the status, the bar's range at 0, one step per progress
  // message (none for the other kinds).
  std::vector<std::string> expected = {"status Starting installation", "range 0-100"};
  for (int package = 0; package < 2; ++package) {
    expected.push_back("status Installing");
    expected.push_back("range 0-1000");
    expected.insert(expected.end(), 7, "step");
  }
  expected.push_back("finished");
  EXPECT_EQ(view.events(), expected);
  const std::vector<std::string> log = test::Lines(sandbox_.root() / "msi.log");
  EXPECT_EQ(std::count(log.begin(), log.end(), "handler answered 0"), 2);
}

}  // namespace
}  // namespace tonvik::install
