// The hive files: value forms, malformed text, concurrent writers, crashes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>


#include "platform/hive_text.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "support/temp_hives.h"

namespace tonvik::reg {
namespace {

using tonvik::testing::TempHives;
constexpr char16_t kKey[] = u"Software\\Quellbrook\\vandral";

std::vector<uint8_t> Bytes(std::initializer_list<int> list) {
  std::vector<uint8_t> v;
  for (int b : list) v.push_back(static_cast<uint8_t>(b));
  return v;
}

struct RoundTripCase {
  const char* label;
  uint32_t type;
  std::vector<uint8_t> data;
  const char* line;  // how it is stored
};

TEST(HiveValues, EveryValueFormRoundTripsThroughTheFile) {
  const RoundTripCase cases[] = {
      {"dword", kDword, Bytes({0x08, 0, 0, 0}), "\"V\"=dword:00000008"},
      {"negative dword", kDword, Bytes({0xff, 0xff, 0xff, 0xff}), "\"V\"=dword:ffffffff"},
      {"string", kSz, Bytes({'a', 0, '"', 0, '\\', 0, 0, 0}), "\"V\"=\"a\\\"\\\\\""},
      {"empty string", kSz, Bytes({0, 0}), "\"V\"=\"\""},
      {"string without terminator", kSz, Bytes({'a', 0}), "\"V\"=hex(1):61,00"},
      {"odd byte count", kSz, Bytes({'a', 0, 0}), "\"V\"=hex(1):61,00,00"},
      {"string with LF", kSz, Bytes({'a', 0, '\n', 0, 0, 0}), "\"V\"=hex(1):61,00,0a,00,00,00"},
      {"expand string", kExpandSz, Bytes({'%', 0, 0, 0}), "\"V\"=hex(2):25,00,00,00"},
      {"binary", kBinary, Bytes({1, 2, 0xfe}), "\"V\"=hex:01,02,fe"},
      {"empty binary", kBinary, {}, "\"V\"=hex:"},
      {"short dword", kDword, Bytes({1, 2}), "\"V\"=hex(4):01,02"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TempHives hives;
    auto key = Key::Create(Root::CurrentUser, kKey);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->Set(u"V", c.type, c.data.data(), c.data.size()));
    EXPECT_NE(TempHives::ReadFile(hives.user_hive()).find(std::string(c.line) + "\n"),
              std::string::npos)
        << TempHives::ReadFile(hives.user_hive());
    uint32_t type = 0;
    std::vector<uint8_t> data;
    ASSERT_TRUE(Key::Open(Root::CurrentUser, kKey)->Query(u"v", &type, &data));
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(data, c.data);
  }
}

TEST(HiveValues, UnicodeStringsAreStoredAsUtf8TextAndReadAsUtf16) {
  TempHives hives;
  auto key = Key::Create(Root::CurrentUser, kKey);
  ASSERT_TRUE(key->SetString(u"LastFolder", u"/home/\u00e9l\u00e8ve/M\u00fcsik \U0001F3B5"));
  EXPECT_NE(TempHives::ReadFile(hives.user_hive()).find("M\xc3\xbcsik"), std::string::npos);
  uint32_t type;
  std::vector<uint8_t> data;
  ASSERT_TRUE(key->Query(u"LastFolder", &type, &data));
  std::u16string back;
  for (size_t i = 0; i + 1 < data.size(); i += 2) back += char16_t(data[i] | data[i + 1] << 8);
  EXPECT_EQ(back, std::u16string(u"/home/\u00e9l\u00e8ve/M\u00fcsik \U0001F3B5") + u'\0');
}

TEST(HiveKeys, MissingKeyFailsToOpenAndMissingValueFailsToQuery) {
  TempHives hives;
  EXPECT_FALSE(Key::Open(Root::CurrentUser, kKey));  // no hive file at all
  TempHives::WriteFile(hives.user_hive(),
                       "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Quellbrook]\n");
  EXPECT_FALSE(Key::Open(Root::CurrentUser, kKey));  // parent only
  EXPECT_TRUE(Key::Open(Root::CurrentUser, u"software\\QUELLBROOK"));  // case-insensitive
  auto key = Key::Create(Root::CurrentUser, kKey);
  ASSERT_TRUE(key);
  EXPECT_FALSE(key->Query(u"Nothing", nullptr, nullptr));
  // A section of the other root in the wrong file is not that root's key.
  EXPECT_FALSE(Key::Open(Root::LocalMachine, kKey));
}

TEST(HiveKeys, CreateFailsWhenTheHiveCannotBeWritten) {
  TempHives hives;
  std::filesystem::create_directories(hives.user_hive().parent_path().parent_path());
  TempHives::WriteFile(hives.user_hive().parent_path(), "not a folder");  // folder is a file
  EXPECT_FALSE(Key::Create(Root::CurrentUser, kKey));
}

TEST(HiveKeys, ReadAllAnswersEveryNameAsQueryFromOneParse) {
  TempHives hives;
  EXPECT_FALSE(Key::ReadAll(Root::CurrentUser, kKey));  // no hive file at all
  TempHives::WriteFile(hives.user_hive(),
                       "Windows Registry Editor Version 5.00\n\n"
                       "[HKEY_CURRENT_USER\\Software\\Quellbrook\\vandral]\n"
                       "\"Mixed\"=dword:00000001\n"
                       "\"Twice\"=dword:00000001\n"
                       "this line is no value\n"
                       "\"Text\"=\"abc\"\n"
                       "\n[HKEY_CURRENT_USER\\Software\\Quellbrook\\vandral\\Drives]\n"
                       "\"Inner\"=\"/dev/sr0\"\n"
                       "\"Twice\"=dword:00000007\n"
                       "\n[HKEY_CURRENT_USER\\SOFTWARE\\quellbrook\\VANDRAL]\n"
                       "\"TWICE\"=hex:05\n"
                       "\"Short\"=hex(4):02\n");
  EXPECT_FALSE(Key::ReadAll(Root::CurrentUser, u"Software\\Quellbrook\\Missing"));

  const uint64_t user_parses = HiveParseCount(Root::CurrentUser);
  const uint64_t machine_parses = HiveParseCount(Root::LocalMachine);
  auto values = Key::ReadAll(Root::CurrentUser, kKey);
  ASSERT_TRUE(values);
  EXPECT_EQ(HiveParseCount(Root::CurrentUser) - user_parses, 1u);
  EXPECT_EQ(HiveParseCount(Root::LocalMachine), machine_parses);

  auto key = Key::Open(Root::CurrentUser, kKey);
  ASSERT_TRUE(key);
  for (const char16_t* name :
       {u"Mixed", u"mIXED", u"Twice", u"twice", u"Text", u"Short", u"Inner", u"Missing", u""}) {
    SCOPED_TRACE(ToUtf8(name));
    uint32_t type = 99, snapshot_type = 99;
    std::vector<uint8_t> data, snapshot_data;
    const bool found = key->Query(name, &type, &data);
    EXPECT_EQ(values->Query(name, &snapshot_type, &snapshot_data), found);
    EXPECT_EQ(snapshot_type, type);
    EXPECT_EQ(snapshot_data, data);
  }
  // What the comparison above rests on: the last line of a name wins across
  // both spellings of the section, and a subkey's values stay its own.
  uint32_t type = 0;
  std::vector<uint8_t> data;
  ASSERT_TRUE(values->Query(u"twice", &type, &data));
  EXPECT_EQ(type, kBinary);
  EXPECT_EQ(data, Bytes({5}));
  EXPECT_FALSE(values->Query(u"Inner", nullptr, nullptr));

  // The snapshot stays as it was read; the key's own ReadAll reads the hive again.
  ASSERT_TRUE(key->SetDword(u"Mixed", 3));
  ASSERT_TRUE(values->Query(u"Mixed", nullptr, &data));
  EXPECT_EQ(data, Bytes({1, 0, 0, 0}));
  ASSERT_TRUE(key->ReadAll()->Query(u"Mixed", nullptr, &data));
  EXPECT_EQ(data, Bytes({3, 0, 0, 0}));
  TempHives::WriteFile(hives.user_hive(), "Windows Registry Editor Version 5.00\n");
  EXPECT_FALSE(key->ReadAll());  // the section is gone
}

TEST(HiveText, GarbageIsSkippedWhenReadAndKeptVerbatimWhenWritten) {
  TempHives hives;
  const std::string original =
      "Windows Registry Editor Version 5.00\n"
      "\n"
      "; a comment\n"
      "[HKEY_CURRENT_USER\\Software\\Quellbrook\\vandral]\n"
      "\"Good\"=dword:00000001\n"
      "\"BadDword\"=dword:123\n"
      "\"Unclosed=\"x\n"
      "garbage \x01\x02 line\n"
      "\"Wrapped\"=hex:01,02,\\\n"
      "  03,04\n"
      "\"BadHex\"=hex:zz\n"
      "[-HKEY_CURRENT_USER\\Deleted]\n"
      "[HKEY_CURRENT_USER\\Software\\Other]\n"
      "\"Keep\"=\"me\"\n";
  TempHives::WriteFile(hives.user_hive(), original);
  auto key = Key::Open(Root::CurrentUser, kKey);
  ASSERT_TRUE(key);
  uint32_t type;
  std::vector<uint8_t> data;
  EXPECT_TRUE(key->Query(u"Good", &type, &data));
  EXPECT_FALSE(key->Query(u"BadDword", &type, &data));
  EXPECT_FALSE(key->Query(u"BadHex", &type, &data));
  ASSERT_TRUE(key->Query(u"Wrapped", &type, &data));
  EXPECT_EQ(data, Bytes({1, 2, 3, 4}));

  ASSERT_TRUE(key->SetDword(u"Good", 7));
  ASSERT_TRUE(key->SetDword(u"New", 9));
  std::string after = TempHives::ReadFile(hives.user_hive());
  std::string expected = original;
  expected.replace(expected.find("\"Good\"=dword:00000001"), 21, "\"Good\"=dword:00000007");
  expected.insert(expected.find("[-HKEY"), "\"New\"=dword:00000009\n");
  EXPECT_EQ(after, expected);
}

TEST(HiveText, BinaryJunkAndTruncatedFilesNeverCrash) {
  std::string junk;
  for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 7919) & 0xFF);
  for (size_t cut : {size_t(0), size_t(1), size_t(100), junk.size()}) {
    HiveText h = HiveText::Parse(std::string_view(junk).substr(0, cut));
    EXPECT_EQ(h.Print().size() >= cut, true);
  }
  HiveText h = HiveText::Parse("\"A\"=hex:01,\\");  // continuation at end of file
  EXPECT_EQ(h.entries().size(), 1u);
}

// Each child writes its own value `count` times; all values must survive.
void WriterProcess(int id, int count) {
  auto key = Key::Create(Root::CurrentUser, kKey);
  for (int i = 1; i <= count; ++i) {
    std::u16string name = u"Writer" + std::u16string(1, char16_t(u'A' + id));
    if (!key || !key->SetDword(name, i)) _exit(2);
  }
  _exit(0);
}

TEST(HiveConcurrency, TwoProcessesWritingDifferentValuesLoseNoWrite) {
  TempHives hives;
  ASSERT_TRUE(Key::Create(Root::CurrentUser, kKey));
  const int kWrites = 300;
  pid_t a = fork();
  if (a == 0) WriterProcess(0, kWrites);
  pid_t b = fork();
  if (b == 0) WriterProcess(1, kWrites);
  int sa = 0, sb = 0;
  waitpid(a, &sa, 0);
  waitpid(b, &sb, 0);
  ASSERT_TRUE(WIFEXITED(sa) && WEXITSTATUS(sa) == 0);
  ASSERT_TRUE(WIFEXITED(sb) && WEXITSTATUS(sb) == 0);
  auto key = Key::Open(Root::CurrentUser, kKey);
  for (const char16_t* name : {u"WriterA", u"WriterB"}) {
    std::vector<uint8_t> data;
    uint32_t type;
    ASSERT_TRUE(key->Query(name, &type, &data));
    EXPECT_EQ(data, Bytes({kWrites & 0xFF, kWrites >> 8, 0, 0}));
  }
}

// Where the killed writer of the next test dies (set in the child after fork).
WriteStep g_kill_at;

TEST(HiveConcurrency, AWriterKilledMidWriteLeavesTheHiveWhole) {
  TempHives hives;
  auto key = Key::Create(Root::CurrentUser, kKey);
  std::vector<uint8_t> big(200000, 0xAB);
  ASSERT_TRUE(key->Set(u"Big", kBinary, big.data(), big.size()));
  ASSERT_TRUE(key->SetDword(u"Counter", 0));
  struct KillCase {
    const char* what;
    WriteStep at;
    bool written;  // the hive holds the new value
  };
  const KillCase cases[] = {
      {"holding the lock", WriteStep::Locked, false},
      {"with the new hive written beside the old", WriteStep::TemporaryWritten, false},
      {"just after the replacement", WriteStep::Replaced, true},
  };
  int32_t expected = 0;
  for (int round = 0; round < 3; ++round) {
    for (const KillCase& c : cases) {
      SCOPED_TRACE(c.what);
      const int32_t value = expected + 1;
      pid_t child = fork();
      if (child == 0) {
        g_kill_at = c.at;
        SetWriteStepHook([](WriteStep step) {
          if (step == g_kill_at) ::raise(SIGKILL);
        });
        Key::Open(Root::CurrentUser, kKey)->SetDword(u"Counter", value);
        _exit(3);  // never reached: the write passes every step
      }
      int status = 0;
      ASSERT_EQ(waitpid(child, &status, 0), child);
      ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the writer was not killed in its write";
      if (c.written) expected = value;
      auto k = Key::Open(Root::CurrentUser, kKey);
      ASSERT_TRUE(k);
      std::vector<uint8_t> data;
      uint32_t type;
      ASSERT_TRUE(k->Query(u"Big", &type, &data));
      ASSERT_EQ(data, big);
      ASSERT_TRUE(k->Query(u"Counter", &type, &data));
      EXPECT_EQ(data, Bytes({uint8_t(expected), 0, 0, 0}));
      // The lock of a killed writer is released with its descriptor.
      EXPECT_TRUE(key->SetDword(u"Marker", value));
    }
  }
}

}  // namespace
}  // namespace tonvik::reg
