// The tonvik command as a desktop or a person starts it: a copy of the
// launcher beside a stand-in ripper that records its standard input.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "launcher/launcher.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "riplog/log_file.h"
#include "riplog/rip_log.h"
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

// The value of a letter in the Drives key, "" without one.
std::string DriveValue(char16_t letter) {
  auto key = reg::Key::Open(reg::Root::CurrentUser, kDrives);
  if (!key) return "";
  auto value = key->QueryString(std::u16string(1, letter));
  return value ? ToUtf8(*value) : "";
}

// The letter the Drives key gives the path (0 for none). Which letter the
// launcher takes depends on the CD devices of the machine; the process-level
// tests read it from the key, LetterFor's rules are checked with a device
// list of the test's own.
char16_t MappedLetter(const fs::path& path) {
  for (char16_t l = u'D'; l <= u'Z'; ++l)
    if (DriveValue(l) == fs::canonical(path).string()) return l;
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
  ASSERT_EQ(Run(Q(cue_)).code, 0);
  const char16_t letter = MappedLetter(cue_);
  ASSERT_NE(letter, 0) << "the sheet was given no letter";
  const std::u16string root = Letter(letter);
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
  Result r = Run(Q(cue_));
  const std::u16string root = Letter(MappedLetter(cue_));
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
  const Result a = Run(Q(cue_));
  const char16_t first = MappedLetter(cue_);
  const Result b = Run(Q(other_));
  const char16_t second = MappedLetter(other_);
  const Result again = Run(Q(cue_));
  // The path is stored resolved, so the same sheet by another name is the
  // same drive.
  const Result relative = Run("'" + (cue_.parent_path() / "." / cue_.filename()).string() + "'");
  ASSERT_NE(first, 0);
  ASSERT_NE(second, 0);
  // Two new letters between the taken ones, the first sheet's before the second's.
  EXPECT_GT(first, u'D');
  EXPECT_LT(first, second);
  EXPECT_LT(second, u'Z');
  EXPECT_EQ(a.record, Utf16(u"6\n" + Letter(first) + u"\n\n"));
  EXPECT_EQ(b.record, Utf16(u"6\n" + Letter(second) + u"\n\n"));
  EXPECT_EQ(again.record, a.record);
  EXPECT_EQ(relative.record, a.record);
  EXPECT_EQ(DriveValue(u'D'), "/home/someone/else.cue");
  EXPECT_EQ(DriveValue(u'Z'), "/dev/whatever");
  EXPECT_EQ(DriveValue(first), fs::canonical(cue_).string());
  EXPECT_EQ(DriveValue(second), fs::canonical(other_).string());
}

// The choice of a letter against CD devices the test decides on.
TEST_F(LauncherTest, ALetterIsTakenFromDPastValuesAndDevices) {
  struct Case {
    const char* what;
    std::vector<std::pair<char16_t, std::u16string>> values;  // in the Drives key before
    std::vector<std::string> devices;                         // present
    std::string path;
    char16_t letter;  // 0: none
    bool written;     // the path became the letter's value
  };
  const std::string sheet = "/music/album.cue";
  std::vector<std::string> every_device;
  for (int n = 0; n <= u'Z' - u'D'; ++n) every_device.push_back("/dev/sr" + std::to_string(n));
  const Case cases[] = {
      {"nothing there: D", {}, {}, sheet, u'D', true},
      {"two drives: past them", {}, {"/dev/sr0", "/dev/sr1"}, sheet, u'F', true},
      {"a drive with a gap after it", {}, {"/dev/sr0", "/dev/sr2"}, sheet, u'E', true},
      {"D and E mapped", {{u'D', u"/x.cue"}, {u'E', u"/y.cue"}}, {}, sheet, u'F', true},
      {"D mapped, E a drive", {{u'D', u"/x.cue"}}, {"/dev/sr1"}, sheet, u'F', true},
      {"the path's own letter", {{u'G', u"/music/album.cue"}}, {"/dev/sr0"}, sheet, u'G', false},
      {"a device by its default letter", {}, {"/dev/sr0", "/dev/sr1"}, "/dev/sr1", u'E', false},
      {"every letter a drive", {}, every_device, sheet, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempHives hives;
    auto drives = reg::Key::Create(reg::Root::CurrentUser, kDrives);
    ASSERT_TRUE(drives);
    for (const auto& [letter, value] : c.values) drives->SetString(std::u16string(1, letter), value);
    const auto present = [&](const std::string& device) {
      return std::find(c.devices.begin(), c.devices.end(), device) != c.devices.end();
    };
    EXPECT_EQ(LetterFor(c.path, present), c.letter);
    size_t values = 0;
    for (char16_t l = u'D'; l <= u'Z'; ++l) values += !DriveValue(l).empty();
    EXPECT_EQ(values, c.values.size() + (c.written ? 1 : 0));
    if (c.written) EXPECT_EQ(DriveValue(c.letter), c.path);
    for (const auto& [letter, value] : c.values) EXPECT_EQ(DriveValue(letter), ToUtf8(value));  // kept
  }
}

TEST_F(LauncherTest, RefusesWhatItCannotRipWithAClearMessage) {
  // A device name no machine has.
  const std::string missing_device = "tonvik-test-no-drive-" + std::to_string(::getpid());
  const fs::path text = hives_.root() / "notes.txt";
  std::ofstream(text) << "hello";
  struct Case {
    std::string args;
    std::string message;
  } cases[] = {
      {"/no/such/album.cue", "tonvik: /no/such/album.cue: No such file or directory\n"},
      {"cdda://" + missing_device, "tonvik: cdda://" + missing_device + ": No such file or directory\n"},
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

// tonvik --check-log: one line, the exit code a script can test, and no
// ripper started.
TEST_F(LauncherTest, ChecksARipLog) {
  riplog::RipLog log;
  log.version = "1.13";
  log.album = "Album One";
  log.tracks.resize(2);
  const std::string text = riplog::RenderLog(log);
  const fs::path logs = hives_.root() / "logs";
  fs::create_directories(logs);
  std::string edited = text;
  edited[edited.find("Album One")] = 'a';
  const std::string no_checksum = text.substr(0, text.rfind(riplog::kChecksumPrefix));
  struct Case {
    std::string name;
    const std::string* content;  // nullptr: no file
    int code;
    std::string out, err;
  } cases[] = {
      {"intact.log", &text, 0, ": intact, the checksum matches\n", ""},
      {"edited.log", &edited, 1, ": edited, the checksum does not match\n", ""},
      {"plain.log", &no_checksum, 1, ": no checksum line, cannot be verified\n", ""},
      {"missing.log", nullptr, 2, "", ": No such file or directory\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path path = logs / c.name;
    if (c.content) std::ofstream(path, std::ios::binary) << *c.content;
    const Result r = Run("--check-log " + Q(path));
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.out, c.out.empty() ? "" : path.string() + c.out);
    EXPECT_EQ(r.err, c.err.empty() ? "" : "tonvik: " + path.string() + c.err);
    EXPECT_TRUE(r.record.empty()) << "the ripper was started";
    if (c.content) EXPECT_EQ(Run("--check-log=" + Q(path)).code, c.code);
  }
  // A folder cannot be read as a log.
  const Result folder = Run("--check-log " + Q(logs));
  EXPECT_EQ(folder.code, 2);
  EXPECT_EQ(folder.err, "tonvik: " + logs.string() + ": Is a directory\n");
}

TEST_F(LauncherTest, CheckLogRefusesWhatItCannotUse) {
  struct Case {
    std::string args, message;
  } cases[] = {
      {"--check-log", "tonvik: --check-log needs the log file to check\n"},
      {"--check-log=", "tonvik: --check-log needs the log file to check\n"},
      {"--check-log a.log " + Q(cue_), "tonvik: --check-log takes no source, track or format\n"},
      {"--format mp3 --check-log a.log", "tonvik: --check-log takes no source, track or format\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const Result r = Run(c.args);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, c.message);
    EXPECT_TRUE(r.record.empty());
  }
  const Result help = Run("--help");
  EXPECT_NE(help.out.find("tonvik --check-log FILE\n"), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("--check-log FILE  checks a rip log"), std::string::npos) << help.out;
}

}  // namespace
}  // namespace tonvik::launcher
