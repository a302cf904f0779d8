// Template expansion, name fitting, folders and the overwrite decisions.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "core/settings.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "output/folders.h"
#include "output/naming.h"
#include "output/overwrite.h"

namespace tonvik {
namespace {

namespace fs = std::filesystem;

TEST(ExpandTemplateTest, Table) {
  DiscMetadata disc{"AC/DC", "Back: In Black...", "1980", "", "", {}, "b1-2"};
  disc.titles = {"Hells Bells.", "Shoot", "\xF0\x9F\x8E\xB5 ?*<>", "...", "Why?"};
  struct Case {
    const char16_t* tmpl;
    uint32_t index;
    const char16_t* expected;
  } cases[] = {
      {u"%1 - [%6] %2", 0, u"ACDC - [01] Hells Bells"},
      {u"%2...", 1, u"Shoot"},
      {u"%4.", 0, u"1980"},
      {u"%4.x", 0, u"1980.x"},        // only a trailing dot goes
      {u"%3 (%4)", 0, u"Back In Black (1980)"},
      {u"100%", 0, u"100%"},
      {u"%a%9%0", 0, u"%a%9%0"},
      {u"%5", 0, u""},
      {u"%6", 99, u"100"},
      {u"%6", 8, u"09"},
      {u"%2", 2, u"\U0001F3B5 "},     // the emoji survives, the forbidden ones go
      {u"%2 end", 3, u" end"},        // a title of dots vanishes
      {u"%2", 4, u"Why"},
      {u"%2", 40, u""},               // no title for the index
      {u"%1 - [%6] %2", kHiddenTrackIndex, u"ACDC - [00] Hidden track"},  // before track 1
      {u"%1\\%3\\", 0, u"ACDC/Back In Black/"},
      {u"%1/%2", 0, u"ACDC/Hells Bells"},
      {u"a:b", 0, u"a:b"},            // literal text is not filtered
      {u"%8", 0, u"b1-2"},
      {u"%7%1", 0, u"ACDC"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExpandTemplate(disc, c.tmpl, c.index), c.expected) << ToUtf8(c.tmpl);
  }
  disc.artist = "";
  EXPECT_EQ(ExpandTemplate(disc, u"%1 - [%6] %2", 1), u" - [02] Shoot");
  disc.artist = "...";
  EXPECT_EQ(ExpandTemplate(disc, u"%1", 0), u"");
}

TEST(FilterNameTest, RemovesTheNineCharacters) {
  EXPECT_EQ(FilterName(u"a:b*c?d\\e/f<g>h\"i|j.k "), u"abcdefghij.k ");
}

TEST(FitComponentsTest, LongComponentsShortenedAtCharacterBoundaries) {
  const std::u16string e255(255, u'e');
  struct Case {
    std::u16string in;
    std::u16string out;
  } cases[] = {
      {u"/m/" + e255 + u".flac", u"/m/" + std::u16string(250, u'e') + u".flac"},
      {u"/m/" + e255, u"/m/" + e255},
      // 2-byte characters: 127 of them are 254 bytes; the extension keeps its 4.
      {u"/m/" + std::u16string(200, u'\u00E9') + u".ogg", u"/m/" + std::u16string(125, u'\u00E9') + u".ogg"},
      // A surrogate pair is never split: 63 pairs are 252 bytes.
      {u"/" + [] { std::u16string s; for (int i = 0; i < 100; ++i) s += u"\U0001F3B5"; return s; }() + u"/x.wav",
       u"/" + [] { std::u16string s; for (int i = 0; i < 63; ++i) s += u"\U0001F3B5"; return s; }() + u"/x.wav"},
  };
  for (const auto& c : cases) {
    const std::u16string got = FitComponents(c.in);
    EXPECT_EQ(got, c.out);
    for (const auto& part : fs::path(ToUtf8(got))) EXPECT_LE(part.string().size(), 255u);
  }
}

class FolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tonvik-name-XXXXXX";
    root = mkdtemp(tmpl);
    setenv("XDG_CONFIG_DIRS", (root + "/etc").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/home").c_str(), 1);
  }
  void TearDown() override { fs::remove_all(root); }
  std::string root;
};

TEST_F(FolderTest, EnsureFolderCreatesEachLevelAndKeepsCwd) {
  const fs::path cwd = fs::current_path();
  EnsureFolder(FromUtf8(root + "/a/ b c /d/"));
  EXPECT_TRUE(fs::is_directory(root + "/a/b c/"));
  // The trimmed level exists under its trimmed name, so the untrimmed path
  // does not; the file creation reports that.
  EXPECT_FALSE(fs::exists(root + "/a/ b c /d"));
  EnsureFolder(FromUtf8(root + "/x/y/z"));
  EXPECT_TRUE(fs::is_directory(root + "/x/y/z"));
  EnsureFolder(u"");
  EXPECT_EQ(fs::current_path(), cwd);
}

// Answers from a script and counts the questions.
class ScriptedPrompt : public OverwritePrompt {
 public:
  explicit ScriptedPrompt(std::vector<Answer> answers) : answers_(std::move(answers)) {}
  Answer AskOverwrite(const std::u16string& path) override {
    asked.push_back(path);
    return answers_.at(asked.size() - 1);
  }
  std::vector<std::u16string> asked;

 private:
  std::vector<Answer> answers_;
};

TEST_F(FolderTest, MayWriteFileDecisions) {
  for (const char* n : {"1", "2", "3", "4"}) std::ofstream(root + "/" + n) << "old";
  auto path = [&](const char* n) { return FromUtf8(root + "/" + n); };
  struct Step {
    const char* file;
    bool skip;
    size_t asked_after;
  };
  struct Case {
    const char* name;
    std::vector<OverwritePrompt::Answer> answers;
    int always_overwrite;
    std::vector<Step> steps;
  } cases[] = {
      {"no file, no question", {}, 0, {{"missing", false, 0}}},
      {"yes each time", {{true, false}, {true, false}}, 0, {{"1", false, 1}, {"2", false, 2}}},
      {"no asks again", {{false, false}, {true, false}}, 0, {{"1", true, 1}, {"2", false, 2}}},
      {"no remembered", {{false, true}}, 0, {{"1", true, 1}, {"2", true, 1}, {"3", true, 1}}},
      {"yes remembered", {{true, true}}, 0, {{"1", false, 1}, {"2", false, 1}}},
      {"always overwrite", {}, 1, {{"1", false, 0}, {"4", false, 0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    reg::Key::Create(reg::Root::CurrentUser, kProductKey)->SetDword(u"AlwaysOverwrite",
                                                                   c.always_overwrite);
    ScriptedPrompt prompt(c.answers);
    OverwritePolicy policy(&prompt);  // each rip starts with nothing remembered
    for (const auto& s : c.steps) {
      EXPECT_EQ(policy.MayWriteFile(path(s.file)), s.skip) << s.file;
      EXPECT_EQ(prompt.asked.size(), s.asked_after) << s.file;
    }
    // Nothing is deleted by the decision; the encoder's rename replaces.
    for (const char* n : {"1", "2", "3", "4"}) EXPECT_TRUE(fs::exists(root + "/" + n));
  }
  // No prompt installed: overwrite without remembering.
  reg::Key::Create(reg::Root::CurrentUser, kProductKey)->SetDword(u"AlwaysOverwrite", 0);
  OverwritePolicy policy;
  EXPECT_FALSE(policy.MayWriteFile(path("1")));
  ScriptedPrompt later({{false, false}});
  policy.SetPrompt(&later);
  EXPECT_TRUE(policy.MayWriteFile(path("1")));
  EXPECT_EQ(later.asked, std::vector<std::u16string>{path("1")});
  // A remembered choice belongs to its rip: the next one asks again.
  ScriptedPrompt first({{false, true}}), second({{true, false}});
  OverwritePolicy one(&first), two(&second);
  EXPECT_TRUE(one.MayWriteFile(path("1")));
  EXPECT_TRUE(one.MayWriteFile(path("2")));
  EXPECT_FALSE(two.MayWriteFile(path("2")));
  EXPECT_EQ(first.asked.size(), 1u);
  EXPECT_EQ(second.asked.size(), 1u);
}

}  // namespace
}  // namespace tonvik
