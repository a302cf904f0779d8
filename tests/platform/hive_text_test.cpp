// What a write adds to a hive never joins a line that was kept as it was:
// after any SetValue the new value reads back and every other value reads as
// before, whatever odd lines the file held.
#include <gtest/gtest.h>

#include <map>

#include "platform/hive_text.h"

namespace tonvik::reg {
namespace {

using Values = std::map<std::pair<std::string, std::string>, std::pair<uint32_t, std::vector<uint8_t>>>;

Values Read(const HiveText& hive) {
  Values values;
  std::string section;
  for (const auto& e : hive.entries()) {
    if (e.kind == HiveEntry::kSection) section = e.section;
    if (e.kind == HiveEntry::kValue) values[{section, e.name}] = {e.type, e.data};
  }
  return values;
}

TEST(HiveText, AWriteNeverJoinsAKeptLineNorWakesADeadOne) {
  const std::string head = "Windows Registry Editor Version 5.00\n\n";
  struct Case {
    const char* label;
    std::string text;
    std::string section;  // where the write goes
  } cases[] = {
      {"an unparseable line with an open continuation, then an empty line",
       head + "[HKEY_CURRENT_USER\\A]\n\"x\"=dword:00000001\n\"=hex\\\\\n\n", "HKEY_CURRENT_USER\\A"},
      {"a value's continuation left open at the end of the file",
       head + "[HKEY_CURRENT_USER\\A]\n\"Wrapped\"=dword:00000001\n\"Wrapped\"=hex:01,02,\\", "HKEY_CURRENT_USER\\B"},
      {"the same, written into its own section",
       head + "[HKEY_CURRENT_USER\\A]\n\"Wrapped\"=dword:00000001\n\"Wrapped\"=hex:01,02,\\", "HKEY_CURRENT_USER\\A"},
      {"an open continuation before the next section",
       head + "[HKEY_CURRENT_USER\\A]\n\"y\"=hex:0a,\\\n[HKEY_CURRENT_USER\\B]\n\"z\"=dword:00000002\n",
       "HKEY_CURRENT_USER\\A"},
      {"a continuation that really goes on",
       head + "[HKEY_CURRENT_USER\\A]\n\"long\"=hex:01,02,\\\n  03,04\n", "HKEY_CURRENT_USER\\A"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    HiveText hive = HiveText::Parse(c.text);
    EXPECT_EQ(hive.Print(), c.text.back() == '\n' ? c.text : c.text + "\n");
    const Values before = Read(hive);
    hive.SetValue(c.section, "new", 1, {'A', 0, 0, 0});
    const HiveText again = HiveText::Parse(hive.Print());
    Values expected = before;
    expected[{c.section, "new"}] = {1, {'A', 0, 0, 0}};
    EXPECT_EQ(Read(again), expected) << hive.Print();
  }
  // A real continuation is still one value.
  const Values long_value = Read(HiveText::Parse(cases[4].text));
  EXPECT_EQ(long_value.at({"HKEY_CURRENT_USER\\A", "long"}).second, (std::vector<uint8_t>{1, 2, 3, 4}));
}

}  // namespace
}  // namespace tonvik::reg
