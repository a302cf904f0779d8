// Loading the options: defaults, invariants, malformed values, writers.
#include <gtest/gtest.h>

#include "core/settings.h"
#include "platform/registry.h"
#include "support/temp_hives.h"

namespace tonvik {
namespace {

using testing::TempHives;

const std::string kUserHeader =
    "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Quellbrook\\vandral]\n";

TEST(SettingsLoad, FirstStartOfANewUserCreatesTheKeysAndHasEveryDefault) {
  TempHives hives;
  hives.Install();
  Settings s;
  EXPECT_TRUE(reg::Key::Open(reg::Root::CurrentUser, u"Software\\Quellbrook"));
  EXPECT_TRUE(reg::Key::Open(reg::Root::CurrentUser, kProductKey));
  EXPECT_EQ(s.JitterCorrection, 0);
  EXPECT_EQ(s.EncodeOnTheFly, 1);
  EXPECT_EQ(s.PreventClicks, 1);
  EXPECT_EQ(s.LastPreset, 1);
  EXPECT_EQ(s.LastMP3Value, 8);
  EXPECT_EQ(s.LastWMAValue, 15);
  EXPECT_EQ(s.LastOGGValue, 1);
  EXPECT_EQ(s.LastAPEValue, 2);
  EXPECT_EQ(s.LastFLACValue, 5);
  EXPECT_EQ(s.CDDBAutoConfig, 1);
  EXPECT_EQ(s.CDDBProxyTimeout, 20);
  EXPECT_EQ(s.NameTemplate, u"%1 - [%6] %2");
  EXPECT_EQ(s.AppPath, u"/opt/tonvik/lib/tonvik/");
  EXPECT_EQ(s.HomeURL, u"https://tonvik.example/");
  // The music folder is the default destination and exists afterwards.
  ASSERT_FALSE(s.LastFolder.empty());
  EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::path(s.LastFolder)));
  EXPECT_EQ(std::filesystem::path(s.LastFolder).parent_path(), hives.root() / "home");
}

TEST(SettingsLoad, StoredValuesAreReadAndMalformedStringsLoadAsEmpty) {
  TempHives hives;
  TempHives::WriteFile(hives.user_hive(),
                       kUserHeader +
                           "\"JitterCorrection\"=dword:00000001\n"
                           "\"LastPreset\"=dword:00000007\n"          // no range check
                           "\"LastFLACValue\"=hex(1):03,00,00,00\n"   // wrong type: still read
                           "\"LastOGGValue\"=hex(4):05\n"             // short DWORD over the default
                           "\"LastMP3Value\"=hex:01,02,03,04,05\n"    // too long: default stays
                           "\"CDDBServer\"=hex(1):61,00\n"            // no terminator
                           "\"CDDBProxyServer\"=hex(1):61,00,00\n"    // odd byte count
                           "\"CDDBProxyEmail\"=dword:00000001\n"      // not a string type
                           "\"LastFolder\"=hex(2):2f,00,78,00,00,00\n" // expand string taken as is
                           "\"NameTemplate\"=\"\"\n");
  Settings s;
  EXPECT_EQ(s.JitterCorrection, 1);
  EXPECT_EQ(s.LastPreset, 7);
  EXPECT_EQ(s.LastFLACValue, 3);
  EXPECT_EQ(s.LastOGGValue, 5);
  EXPECT_EQ(s.LastMP3Value, 8);
  EXPECT_EQ(s.CDDBServer, u"");
  EXPECT_EQ(s.CDDBProxyServer, u"");
  EXPECT_EQ(s.CDDBProxyEmail, u"");
  EXPECT_EQ(s.LastFolder, u"/x");
  EXPECT_EQ(s.NameTemplate, u"%1 - [%6] %2");
  EXPECT_EQ(s.AppPath, u"");  // no machine hive
}

TEST(SettingsLoad, AnAbsentValueIsNotWrittenBackByTheLoad) {
  TempHives hives;
  TempHives::WriteFile(hives.user_hive(), kUserHeader + "\"LastPreset\"=dword:00000002\n");
  const std::string before = TempHives::ReadFile(hives.user_hive());
  Settings s;
  EXPECT_EQ(s.LastMP3Value, 8);
  EXPECT_EQ(TempHives::ReadFile(hives.user_hive()), before);
}

TEST(SettingsWriters, StoreInTheRecordThenInTheUserKeyForTheNextLoad) {
  TempHives hives;
  Settings s;
  s.SetEjectWhenDone(1);
  s.SetLastFolder(u"/music/rips");
  s.SetLastWMAValue(7);
  s.SetNameTemplate(u"%2");
  EXPECT_EQ(s.EjectWhenDone, 1);
  Settings fresh;
  EXPECT_EQ(fresh.EjectWhenDone, 1);
  EXPECT_EQ(fresh.LastFolder, u"/music/rips");
  EXPECT_EQ(fresh.LastWMAValue, 7);
  EXPECT_EQ(fresh.NameTemplate, u"%2");
}

TEST(SettingsWriters, AFailedWriteIsSilentAndKeepsTheNewValueInTheRecord) {
  TempHives hives;
  std::filesystem::create_directories(hives.user_hive().parent_path().parent_path());
  TempHives::WriteFile(hives.user_hive().parent_path(), "a file where the folder belongs");
  Settings s;  // neither key can be created: defaults
  EXPECT_EQ(s.NameTemplate, u"%1 - [%6] %2");
  s.SetLastPreset(3);
  EXPECT_EQ(s.LastPreset, 3);
  EXPECT_EQ(Settings().LastPreset, 1);
}

TEST(InstallCheck, NeedsTheMachineKeyWithAppPathAndHomeUrl) {
  TempHives hives;
  EXPECT_FALSE(InstallCheck());
  hives.Install();
  EXPECT_TRUE(InstallCheck());
  TempHives::WriteFile(hives.machine_hive(),
                       "[HKEY_LOCAL_MACHINE\\Software\\Quellbrook\\vandral]\n\"HomeURL\"=\"x\"\n");
  EXPECT_FALSE(InstallCheck());
  TempHives::WriteFile(hives.machine_hive(),
                       "[HKEY_LOCAL_MACHINE\\Software\\Quellbrook\\vandral]\n\"AppPath\"=\"/a/\"\n");
  EXPECT_FALSE(InstallCheck());
}

}  // namespace
}  // namespace tonvik
