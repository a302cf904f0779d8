// The tonvik command as a desktop or a person starts it: a copy of the
// launcher beside a stand-in ripper that records its standard input.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "launcher/launcher.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "support/temp_hives.h"

namespace tonvik::launcher {
namespace {

namespace fs = std::filesystem;
using tonvik::testing::TempHives;

constexpr char16_t kDrives[] = u"Software\\Quellbrook\\vandral\\Drives";

std::string Utf16(std::u16string_view text) {
  std::string bytes;
  for (char16_t c : text) bytes += char(c & 0xFF), bytes += char(c >> 8);
  return bytes;
}

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The first letter the launcher may take on this machine: no value in the
// Drives key and no CD device of its own.
char16_t FirstFreeLetter(const std::vector<char16_t>& mapped = {}) {
  for (char16_t l = u'D'; l <= u'Z'; ++l) {
    if (std::find(mapped.begin(), mapped.end(), l) != mapped.end()) continue;
    if (!fs::exists("/dev/sr" + std::to_string(l - u'D'))) return l;
  }
  return 0;
}

struct Result {
  int code;
  std::string out, err, record;  // record: what the ripper read
};

class LauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bin_ = hives_.root() / "app";
    fs::create_directories(bin_);
    fs::copy_file(TONVIK_BINARY_DIR "/src/launcher/tonvik", bin_ / "tonvik");
    fs::copy_file(TONVIK_BINARY_DIR "/tests/launcher/fake_vandral", bin_ / "vandral");
    cue_ = hives_.root() / "discs" / "Album One.cue";
    fs::create_directories(cue_.parent_path());
    std::ofstream(cue_) << "FILE \"a.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    other_ = cue_.parent_path() / "other.CUE";
    fs::copy_file(cue_, other_);
  }

  Result Run(const std::string& args, int exit_code = 0) {
    const fs::path record = hives_.root() / "record", out = hives_.root() / "out", err = hives_.root() / "err";
    fs::remove(record);
    const std::string command = "FAKE_VANDRAL_RECORD='" + record.string() + "' FAKE_VANDRAL_EXIT=" +
                                std::to_string(exit_code) + " '" + (bin_ / "tonvik").string() + "' " + args +
                                " >'" + out.string() + "' 2>'" + err.string() + "'";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out), Slurp(err), Slurp(record)};
  }
  std::string Q(const fs::path& p) { return "'" + p.string() + "'"; }
  std::u16string Letter(char16_t l) { return std::u16string(1, l) + u":\\"; }

  TempHives hives_;
  fs::path bin_, cue_, other_;
};

TEST_F(LauncherTest, WritesTheStartUpLinesOfEachFormatAndTrackSelection) {
  const char16_t free_letter = FirstFreeLetter();
  ASSERT_NE(free_letter, 0);
  const std::u16string root = Letter(free_letter);
  struct Case {
    std::string args;
    std::u16string lines;
  } cases[] = {
      {"--format wav", u"1\n" + root + u"\n\n"},
      {"--format mp3", u"2\n" + root + u"\n\n"},
      {"--format=wma", u"3\n" + root + u"\n\n"},
      {"-f ogg", u"4\n" + root + u"\n\n"},
      {"--format APE", u"5\n" + root + u"\n\n"},
      {"--format flac", u"6\n" + root + u"\n\n"},
      // Tracks in the order given.
      {"--format flac 3 1", u"6\n" + root + u"Track03.cda\n" + root + u"Track01.cda\n\n"},
      {"--format mp3 12", u"2\n" + root + u"Track12.cda\n\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    // The format goes before the source, as the desktop actions write it.
    const std::string format = c.args.substr(0, c.args.find(' ', c.args.find(' ') + 1));
    std::string rest = c.args.size() > format.size() ? c.args.substr(format.size()) : "";
    const Result r = Run(format + " " + Q(cue_) + rest);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.record, Utf16(c.lines));
  }
}

TEST_F(LauncherTest, RemembersTheFormatAndPassesTheRippersExitCode) {
  const std::u16string root = Letter(FirstFreeLetter());
  Result r = Run(Q(cue_));
  EXPECT_EQ(r.record, Utf16(u"6\n" + root + u"\n\n")) << "FLAC the first time";
  r = Run("--format ogg " + Q(cue_), 1);
  EXPECT_EQ(r.code, 1);
  r = Run(Q(cue_) + " 2", 2);
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.record, Utf16(u"4\n" + root + u"Track02.cda\n\n")) << "Ogg Vorbis, as last time";
}

TEST_F(LauncherTest, ReusesTheLetterOfAPathAndKeepsEveryOtherValue) {
  // D holds someone else's sheet; Z a value the launcher has no business with.
  auto drives = reg::Key::Create(reg::Root::CurrentUser, kDrives);
  ASSERT_TRUE(drives);
  drives->SetString(u"D", u"/home/someone/else.cue");
  drives->SetString(u"Z", u"/dev/whatever");
  const char16_t first = FirstFreeLetter({u'D', u'Z'});
  const char16_t second = FirstFreeLetter({u'D', u'Z', first});
  const Result a = Run(Q(cue_));
  const Result b = Run(Q(other_));
  const Result again = Run(Q(cue_));
  // The path is stored resolved, so the same sheet by another name is the
  // same drive.
  const Result relative = Run("'" + (cue_.parent_path() / "." / cue_.filename()).string() + "'");
  EXPECT_EQ(a.record, Utf16(u"6\n" + Letter(first) + u"\n\n"));
  EXPECT_EQ(b.record, Utf16(u"6\n" + Letter(second) + u"\n\n"));
  EXPECT_EQ(again.record, a.record);
  EXPECT_EQ(relative.record, a.record);
  auto read = [&](char16_t letter) {
    uint32_t type = 0;
    std::vector<uint8_t> data;
    reg::Key::Open(reg::Root::CurrentUser, kDrives)->Query(std::u16string(1, letter), &type, &data);
    std::u16string text;
    for (size_t i = 0; i + 1 < data.size(); i += 2) text += char16_t(data[i] | data[i + 1] << 8);
    while (!text.empty() && text.back() == 0) text.pop_back();
    return ToUtf8(text);
  };
  EXPECT_EQ(read(u'D'), "/home/someone/else.cue");
  EXPECT_EQ(read(u'Z'), "/dev/whatever");
  EXPECT_EQ(read(first), fs::canonical(cue_).string());
  EXPECT_EQ(read(second), fs::canonical(other_).string());
}

TEST_F(LauncherTest, RefusesWhatItCannotRipWithAClearMessage) {
  const fs::path text = hives_.root() / "notes.txt";
  std::ofstream(text) << "hello";
  struct Case {
    std::string args;
    std::string message;
  } cases[] = {
      {"/no/such/album.cue", "tonvik: /no/such/album.cue: No such file or directory\n"},
      {"cdda://sr97", "tonvik: cdda://sr97: No such file or directory\n"},
      {Q(text), "tonvik: " + text.string() + ": not a CD drive or a CUE sheet\n"},
      {Q(hives_.root()), "tonvik: " + hives_.root().string() + ": not a CD drive or a CUE sheet\n"},
      {"--format aac " + Q(cue_), "tonvik: unknown format \"aac\" (wav, mp3, wma, ogg, ape or flac)\n"},
      {"--format", "tonvik: --format needs a format: wav, mp3, wma, ogg, ape or flac\n"},
      {Q(cue_) + " two", "tonvik: \"two\" is not a track number (1 to 99)\n"},
      {Q(cue_) + " 100", "tonvik: \"100\" is not a track number (1 to 99)\n"},
      {"--loud", "tonvik: unknown option \"--loud\" (see tonvik --help)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const Result r = Run(c.args);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, c.message);
    EXPECT_TRUE(r.record.empty()) << "the ripper was started";
  }
  // Nothing was mapped or remembered by a refused command.
  EXPECT_FALSE(reg::Key::Open(reg::Root::CurrentUser, kDrives));
}

TEST_F(LauncherTest, HelpVersionAndAMissingRipper) {
  Result r = Run("--help");
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out.rfind("Usage: tonvik [--format FORMAT] [SOURCE [TRACK...]]\n", 0), 0u) << r.out;
  r = Run("--version");
  EXPECT_EQ(r.out, "tonvik 1.13\n");
  fs::remove(bin_ / "vandral");
  r = Run(Q(cue_));
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err, "tonvik: cannot start the ripper: " + (bin_ / "vandral").string() +
                       ": No such file or directory\n");
}

}  // namespace
}  // namespace tonvik::launcher
