// The redistributables list, the download texts and the version rules.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "install/prerequisite.h"
#include "install/redist_list.h"
#include "install/setup_checks.h"
#include "install/size_text.h"
#include "platform/text.h"

namespace tonvik::install {
namespace {

using List = std::map<std::string, std::string>;

TEST(RedistList, ParsesKeysAndAddressesAsWritten) {
  const std::string long_key(150, 'K');
  const std::string line259 = long_key + "=" + std::string(259 - 151, 'a');
  const std::string line260 = long_key + "=" + std::string(260 - 151, 'a');
  struct Case {
    const char* what;
    std::string text;
    List expected;
  } cases[] = {
      {"LF", "MSIUNICODE=http://h/instmsiw\nWMFDISTXP=http://h/wmfdist95\n",
       {{"MSIUNICODE", "http://h/instmsiw"}, {"WMFDISTXP", "http://h/wmfdist95"}}},
      {"CR-LF", "MSIUNICODE=http://h/instmsiw\r\nWMFDISTXP=http://h/wmfdist95\r\n",
       {{"MSIUNICODE", "http://h/instmsiw"}, {"WMFDISTXP", "http://h/wmfdist95"}}},
      {"no final line end", "A=1\nB=2", {{"A", "1"}, {"B", "2"}}},
      {"first of a key wins", "A=first\nA=second\nB=x\n", {{"A", "first"}, {"B", "x"}}},
      {"lines without '=' and empty lines skipped", "\n\njust text\nA=1\r\n\r\nB=2\n",
       {{"A", "1"}, {"B", "2"}}},
      {"split at the first '='", "A=http://h/get?x=1&y=2\n", {{"A", "http://h/get?x=1&y=2"}}},
      {"keys are case-sensitive", "wmfdistxp=lower\nWMFDISTXP=upper\n",
       {{"wmfdistxp", "lower"}, {"WMFDISTXP", "upper"}}},
      {"no trimming", " A = b \n", {{" A ", " b "}}},
      {"empty key and address", "=x\nB=\n", {{"", "x"}, {"B", ""}}},
      {"ANSI bytes kept", "A=http://h/\xe9t\xe9\n", {{"A", "http://h/\xe9t\xe9"}}},
      {"259 characters are read", line259 + "\nB=2\n", {{long_key, std::string(108, 'a')}, {"B", "2"}}},
      {"259 characters with CR-LF", line259 + "\r\nB=2\r\n", {{long_key, std::string(108, 'a')}, {"B", "2"}}},
      {"260 characters end the reading", "A=1\n" + line260 + "\nB=2\n", {{"A", "1"}}},
      {"a long line without '=' ends it too", std::string(300, 'x') + "\nB=2\n", {}},
      {"empty text", "", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ParseRedistList(c.text), c.expected);
  }
}

// Every component has its own key, one that a line of the list can carry
// and that reads back as written; there is none past the last component.
TEST(RedistList, EachComponentHasAKeyTheListCanCarry) {
  const PrerequisiteKind kinds[] = {PrerequisiteKind::WindowsInstaller, PrerequisiteKind::WmaCodecs};
  std::string list;
  std::set<std::string> keys;
  for (const PrerequisiteKind kind : kinds) {
    const char* key = RedistKey(static_cast<int>(kind));
    ASSERT_NE(key, nullptr) << static_cast<int>(kind);
    EXPECT_TRUE(keys.insert(key).second) << key;
    list += std::string(key) + "=http://h/" + key + "\r\n";
  }
  const auto parsed = ParseRedistList(list);
  ASSERT_EQ(parsed.size(), keys.size());
  for (const std::string& key : keys) EXPECT_EQ(parsed.at(key), "http://h/" + key);
  EXPECT_EQ(RedistKey(static_cast<int>(std::size(kinds))), nullptr);
  EXPECT_EQ(RedistKey(-1), nullptr);
}

TEST(SizeText, EachUnitFromOneHundredOfIt) {
  constexpr uint64_t K = 1024, M = K * K, G = M * K, T = G * K, P = T * K;
  struct Case {
    uint64_t bytes;
    const char* text;
  } cases[] = {
      {0, "0 bytes"},
      {1, "1 bytes"},
      {102399, "102399 bytes"},
      {102400, "100 kb"},
      {1500000, "1464 kb"},
      {3000000, "2929 kb"},
      {100 * M - 1, "102399 kb"},
      {100 * M, "100 Mb"},
      {100 * G - 1, "102399 Mb"},
      {100 * G, "100 Gb"},  // 107374182400: beyond 32 bits
      {100 * T - 1, "102399 Gb"},
      {100 * T, "100 Tb"},
      {100 * P - 1, "102399 Tb"},
      {100 * P, "100 Pb"},
      {UINT64_MAX, "16383 Pb"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(SizeText(c.bytes), c.text);
  }
}

TEST(SizeText, DownloadStatusAndPercent) {
  struct Case {
    uint64_t progress, maximum;
    const char16_t* status;
    int percent;
  } cases[] = {
      {1500000, 3000000, u"Downloading WMA codecs (1464 kb of 2929 kb)", 50},
      {0, 0, u"Downloading WMA codecs (0 bytes of 0 bytes)", 0},
      {2999999, 3000000, u"Downloading WMA codecs (2929 kb of 2929 kb)", 99},  // truncated
      {3000000, 3000000, u"Downloading WMA codecs (2929 kb of 2929 kb)", 100},
      // progress × 100 is beyond 32 bits here
      {5000000000ULL, 10000000000ULL, u"Downloading WMA codecs (4768 Mb of 9536 Mb)", 50},
      // and beyond 64 bits here
      {UINT64_MAX / 4, UINT64_MAX / 2, u"Downloading WMA codecs (4095 Pb of 8191 Pb)", 49},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.progress);
    EXPECT_EQ(ToUtf8(DownloadStatusText(u"WMA codecs", c.progress, c.maximum)), ToUtf8(c.status));
    EXPECT_EQ(DownloadPercent(c.progress, c.maximum), c.percent);
  }
  EXPECT_EQ(ToUtf8(DownloadStatusText(u"Windows Installer", 102400, 204800)),
            "Downloading Windows Installer (100 kb of 200 kb)");
}

TEST(VersionRules, ComponentsAndSystem) {
  struct Case {
    const char* version;
    bool msi, wma;
  } cases[] = {
      {"1.1", false, false},  {"1.0.1", false, false}, {"2.0", true, false},  {"3.1", true, false},
      {"3.1.4000.2435", true, false}, {"8.0", true, false}, {"8.0.0.4477", true, false},
      {"9.0", true, true},    {"10", true, true},       {"10.0", true, true},  {"11", true, true},
      {"11.0.5721.5145", true, true}, {"", false, false},
      // a one-character version has no '.' second
      {"1", true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version);
    EXPECT_EQ(MsiVersionSufficient(c.version), c.msi);
    EXPECT_EQ(WmaVersionSufficient(c.version), c.wma);
  }

  struct Windows {
    int major, minor;
    bool supported;
  } systems[] = {{4, 0, false}, {4, 90, false}, {4, 99, false}, {5, 0, true}, {5, 1, true}, {6, 0, true}, {10, 0, true}};
  for (const auto& w : systems) {
    SCOPED_TRACE(testing::Message() << w.major << "." << w.minor);
    EXPECT_EQ(WindowsVersionSupported(w.major, w.minor), w.supported);
  }
}

// The administrator is whoever runs with the effective user id 0: a root
// process that takes another effective id (its real id staying 0) is not one.
TEST(SetupChecks, AdministratorIsTheEffectiveRoot) {
  if (::geteuid() != 0) {
    EXPECT_FALSE(IsAdministrator());
  } else {
    EXPECT_TRUE(IsAdministrator());
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(::seteuid(65534) == 0 && ::getuid() == 0 && !IsAdministrator() ? 0 : 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  // A native 64-bit build is never a 32-bit process on a 64-bit kernel.
  if (sizeof(void*) == 8) {
    EXPECT_FALSE(IsWow64Process());
  }
}

}  // namespace
}  // namespace tonvik::install
