// Every option of the user key against a list written out here by hand: its
// value name, its field and its writer. The list must name every option the
// record has, so a new option cannot go unchecked. The defaults are the
// record's own; what they must be good for is checked where they are used
// (the format table's slider positions, the naming template).
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
};

#define OPTION(Name) {u## #Name, &Settings::Name, &Settings::Set##Name}
const DwordOption kDwords[] = {
    OPTION(JitterCorrection),      OPTION(LockDisk),             OPTION(SpinUpTime),
    OPTION(EjectWhenDone),         OPTION(EncodeOnTheFly),       OPTION(PreventClicks),
    OPTION(MP3ForceCBR),           OPTION(LastPreset),           OPTION(LastMP3Value),
    OPTION(LastWMAValue),          OPTION(LastOGGValue),         OPTION(LastAPEValue),
    OPTION(LastFLACValue),         OPTION(CDDBAutoConfig),       OPTION(CDDBMode),
    OPTION(CDDBProxyEnabled),      OPTION(CDDBProxyPort),        OPTION(CDDBProxyTimeout),
    OPTION(CDDBAutoLoad),          OPTION(SetMaxSpeed),          OPTION(AlwaysOverwrite),
    OPTION(CreateArtistSubfolder), OPTION(CreateAlbumSubfolder), OPTION(BeepWhenDone),
    OPTION(OpenFolderWhenDone),    OPTION(AccurateRip),          OPTION(WriteLog),
    OPTION(WriteCueSheet),         OPTION(CTDB),                 OPTION(EncoderThreads),
    OPTION(RipHiddenTrack),
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

// An empty key loads the defaults the record declares, and those defaults,
// stored and loaded again, are what an empty key gives: no default is lost
// or changed by its own writer.
TEST(SettingsTable, AnEmptyKeyLoadsEveryDefaultAndItsWritersKeepThem) {
  TempHives hives;
  TempHives::WriteFile(hives.user_hive(), kUserHeader);
  Settings s;
#define EXPECT_DEFAULT(Name, default_value) EXPECT_EQ(s.Name, default_value) << #Name;
#define NO_STRING(Name, default_value)
  TONVIK_USER_SETTINGS(EXPECT_DEFAULT, NO_STRING)
#undef NO_STRING
#undef EXPECT_DEFAULT
  // The texts: the template of the naming, the user's music folder, and
  // nothing for the lookup's server and proxy, which are set when used.
  EXPECT_EQ(s.NameTemplate, kDefaultNameTemplate);
  EXPECT_EQ(std::filesystem::path(s.LastFolder).parent_path(), hives.root() / "home");
  for (const std::u16string* empty : {&s.CDDBServer, &s.CDDBProxyServer, &s.CDDBProxyEmail})
    EXPECT_EQ(*empty, u"");

  const Settings defaults = s;
  for (const auto& o : kDwords) (s.*o.set)(defaults.*o.field);
  for (const auto& o : kStrings) (s.*o.set)(defaults.*o.field);
  const Settings stored;
  for (const auto& o : kDwords) EXPECT_EQ(stored.*o.field, defaults.*o.field) << ToUtf8(o.name);
  for (const auto& o : kStrings) EXPECT_EQ(stored.*o.field, defaults.*o.field) << ToUtf8(o.name);
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
