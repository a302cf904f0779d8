// Every option of the user key against a list written out here by hand: its
// value name, its field, its writer and its default. The list must name every
// option the record has, so a new option cannot go unchecked.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "core/settings.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "support/temp_hives.h"

namespace tonvik {
namespace {

using testing::TempHives;

struct DwordOption {
  const char16_t* name;
  int32_t Settings::*field;
  void (Settings::*set)(int32_t);
  int32_t default_value;
};

#define OPTION(Name, default_value) {u## #Name, &Settings::Name, &Settings::Set##Name, default_value}
const DwordOption kDwords[] = {
    OPTION(JitterCorrection, 0),   OPTION(LockDisk, 0),          OPTION(SpinUpTime, 0),
    OPTION(EjectWhenDone, 0),      OPTION(EncodeOnTheFly, 1),    OPTION(PreventClicks, 1),
    OPTION(MP3ForceCBR, 0),        OPTION(LastPreset, 1),        OPTION(LastMP3Value, 8),
    OPTION(LastWMAValue, 15),      OPTION(LastOGGValue, 1),      OPTION(LastAPEValue, 2),
    OPTION(LastFLACValue, 5),      OPTION(CDDBAutoConfig, 1),    OPTION(CDDBMode, 0),
    OPTION(CDDBProxyEnabled, 0),   OPTION(CDDBProxyPort, 0),     OPTION(CDDBProxyTimeout, 20),
    OPTION(CDDBAutoLoad, 0),       OPTION(SetMaxSpeed, 0),       OPTION(AlwaysOverwrite, 0),
    OPTION(CreateArtistSubfolder, 0), OPTION(CreateAlbumSubfolder, 0), OPTION(BeepWhenDone, 0),
    OPTION(OpenFolderWhenDone, 0),
};
#undef OPTION

struct StringOption {
  const char16_t* name;
  std::u16string Settings::*field;
  void (Settings::*set)(const std::u16string&);
};

#define OPTION(Name) {u## #Name, &Settings::Name, &Settings::Set##Name}
const StringOption kStrings[] = {
    OPTION(LastFolder), OPTION(CDDBServer), OPTION(CDDBProxyServer), OPTION(CDDBProxyEmail),
    OPTION(NameTemplate),
};
#undef OPTION

const std::string kUserHeader =
    "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Quellbrook\\vandral]\n";

std::string DwordLine(const char16_t* name, int32_t value) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%08x", static_cast<uint32_t>(value));
  return "\"" + ToUtf8(name) + "\"=dword:" + hex + "\n";
}

// A value of each option that no other option gets and no default equals.
int32_t Distinct(size_t i) { return 0x1000 + static_cast<int32_t>(i) * 0x101; }
std::u16string Distinct(const char16_t* name) { return u"/value of " + std::u16string(name); }

TEST(SettingsTable, TheListAboveNamesEveryOptionOfTheUserKey) {
#define NAME(Name, unused) u## #Name,
  const std::set<std::u16string> record = {TONVIK_USER_SETTINGS(NAME, NAME)};
#undef NAME
  std::set<std::u16string> listed;
  for (const auto& o : kDwords) listed.insert(o.name);
  for (const auto& o : kStrings) listed.insert(o.name);
  EXPECT_EQ(listed.size(), std::size(kDwords) + std::size(kStrings));  // no name twice
  EXPECT_EQ(record, listed);
}

TEST(SettingsTable, AnEmptyKeyLoadsEveryDefault) {
  TempHives hives;
  TempHives::WriteFile(hives.user_hive(), kUserHeader);
  Settings s;
  for (const auto& o : kDwords) EXPECT_EQ(s.*o.field, o.default_value) << ToUtf8(o.name);
  EXPECT_EQ(s.CDDBServer, u"");
  EXPECT_EQ(s.CDDBProxyServer, u"");
  EXPECT_EQ(s.CDDBProxyEmail, u"");
  EXPECT_EQ(s.NameTemplate, kDefaultNameTemplate);
  EXPECT_EQ(std::filesystem::path(s.LastFolder).parent_path(), hives.root() / "home");
}

TEST(SettingsTable, EveryOptionLoadsFromItsOwnValueName) {
  TempHives hives;
  std::string text = kUserHeader;
  for (size_t i = 0; i < std::size(kDwords); ++i) text += DwordLine(kDwords[i].name, Distinct(i));
  for (const auto& o : kStrings)
    text += "\"" + ToUtf8(o.name) + "\"=\"" + ToUtf8(Distinct(o.name)) + "\"\n";
  TempHives::WriteFile(hives.user_hive(), text);
  Settings s;
  for (size_t i = 0; i < std::size(kDwords); ++i)
    EXPECT_EQ(s.*kDwords[i].field, Distinct(i)) << ToUtf8(kDwords[i].name);
  for (const auto& o : kStrings) EXPECT_EQ(s.*o.field, Distinct(o.name)) << ToUtf8(o.name);
}

TEST(SettingsTable, EveryWriterStoresUnderItsOwnValueNameForTheNextLoad) {
  TempHives hives;
  Settings s;
  for (size_t i = 0; i < std::size(kDwords); ++i) {
    (s.*kDwords[i].set)(Distinct(i));
    EXPECT_EQ(s.*kDwords[i].field, Distinct(i)) << ToUtf8(kDwords[i].name);
  }
  for (const auto& o : kStrings) {
    (s.*o.set)(Distinct(o.name));
    EXPECT_EQ(s.*o.field, Distinct(o.name)) << ToUtf8(o.name);
  }
  const std::string stored = TempHives::ReadFile(hives.user_hive());
  for (size_t i = 0; i < std::size(kDwords); ++i)
    EXPECT_NE(stored.find(DwordLine(kDwords[i].name, Distinct(i))), std::string::npos)
        << ToUtf8(kDwords[i].name);
  Settings fresh;
  for (size_t i = 0; i < std::size(kDwords); ++i)
    EXPECT_EQ(fresh.*kDwords[i].field, Distinct(i)) << ToUtf8(kDwords[i].name);
  for (const auto& o : kStrings) EXPECT_EQ(fresh.*o.field, Distinct(o.name)) << ToUtf8(o.name);
}

TEST(SettingsLoad, ParsesEachHiveOnce) {
  TempHives hives;
  hives.Install();
  TempHives::WriteFile(hives.user_hive(), kUserHeader + DwordLine(u"LastPreset", 3) +
                                              "\"NameTemplate\"=\"%2\"\n");
  const uint64_t machine = reg::HiveParseCount(reg::Root::LocalMachine);
  const uint64_t user = reg::HiveParseCount(reg::Root::CurrentUser);
  Settings s;
  EXPECT_EQ(s.LastPreset, 3);
  EXPECT_EQ(s.AppPath, u"/opt/tonvik/lib/tonvik/");
  EXPECT_EQ(reg::HiveParseCount(reg::Root::LocalMachine) - machine, 1u);
  EXPECT_EQ(reg::HiveParseCount(reg::Root::CurrentUser) - user, 1u);

  EXPECT_TRUE(InstallCheck());
  EXPECT_EQ(reg::HiveParseCount(reg::Root::LocalMachine) - machine, 2u);
}

// A user key that cannot be created leaves the options to the machine key,
// whose hive the load has already read.
TEST(SettingsLoad, WithoutAUserKeyTheOptionsComeFromTheMachineKey) {
  TempHives hives;
  TempHives::WriteFile(hives.machine_hive(),
                       "[HKEY_LOCAL_MACHINE\\Software\\Quellbrook\\vandral]\n"
                       "\"AppPath\"=\"/a/\"\n" +
                           DwordLine(u"LastMP3Value", 11) + "\"CDDBServer\"=\"cddb.example\"\n");
  std::filesystem::create_directories(hives.user_hive().parent_path().parent_path());
  TempHives::WriteFile(hives.user_hive().parent_path(), "a file where the folder belongs");
  const uint64_t machine = reg::HiveParseCount(reg::Root::LocalMachine);
  Settings s;
  EXPECT_EQ(reg::HiveParseCount(reg::Root::LocalMachine) - machine, 1u);
  EXPECT_EQ(s.AppPath, u"/a/");
  EXPECT_EQ(s.LastMP3Value, 11);
  EXPECT_EQ(s.CDDBServer, u"cddb.example");
  EXPECT_EQ(s.NameTemplate, kDefaultNameTemplate);
}

}  // namespace
}  // namespace tonvik
