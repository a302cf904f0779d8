// The rip log on disk: its name, a new number beside earlier logs, nothing
// left or lost when the folder refuses it, and the check of a log file.
#include "riplog/log_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/as_nobody.h"
#include "support/file_size_limit.h"

namespace tonvik::riplog {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> Listing(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

bool ValidUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

RipLog Sample(std::string album = "Album") {
  RipLog log;
  log.version = "1.13";
  log.drive_vendor = "HL-DT-ST";
  log.drive_product = "BD-RE  WH16NS40 ";
  log.drive_revision = "1.05";
  log.album = std::move(album);
  log.toc = {{1, 0, 15000, true}};
  log.disc_ids = {1, 0x3a98, 0x3a98, 0x020000c9};
  LogTrack t;
  t.number = 1;
  t.file = "01 - One.flac";
  t.length = 15000;
  t.sectors_read = 15000;
  log.tracks = {t};
  return log;
}

class LogFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tonvik-riplog-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    ::chmod(root_.c_str(), 0755);
  }
  void TearDown() override {
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(root_, ec))
      if (e.is_directory()) ::chmod(e.path().c_str(), 0755);
    fs::remove_all(root_, ec);
  }
  fs::path root_;
};

TEST_F(LogFileTest, TheNameComesFromTheAlbumTheDriveOrTheImage) {
  struct Case {
    const char* name;
    std::string album, vendor, product, image;
    std::string stem;
  } cases[] = {
      {"album", "Album One", "V", "P", "", "Album One"},
      {"album with forbidden characters", "AC/DC: Back in Black? <Live> \"|\\*", "V", "P", "",
       "ACDC Back in Black Live"},
      {"album with a line break and a tab", "Line\nBreak\tTab", "V", "P", "", "LineBreakTab"},
      {"album with trailing dots", "And So On...", "V", "P", "", "And So On"},
      {"album that would be hidden", ".hidden", "V", "P", "", "hidden"},
      {"album of UTF-8 text", "Ágætis byrjun", "V", "P", "", "Ágætis byrjun"},
      {"no album: the drive", "", "PLEXTOR ", "DVDR   PX-716A  ", "", "PLEXTOR DVDR PX-716A"},
      {"an album of nothing safe: the drive", "/?:..", "HL-DT-ST", "BD-RE", "", "HL-DT-ST BD-RE"},
      {"drive with unsafe characters", "", "A/B", "C:D", "", "AB CD"},
      {"no album: the image", "", "V", "P", "/discs/My: Disc.v2.cue", "My Disc.v2"},
      {"image without extension", "", "", "", "/discs/image", "image"},
      {"nothing usable", "", "", "", "", "Rip"},
      {"nothing usable in the image name", "", "", "", "/discs/...cue", "Rip"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RipLog log = Sample(c.album);
    log.drive_vendor = c.vendor;
    log.drive_product = c.product;
    log.image_path = c.image;
    EXPECT_EQ(LogFileStem(log), c.stem);
    // And the file system takes it as it is.
    const fs::path dir = root_ / std::to_string(&c - cases);
    fs::create_directory(dir);
    std::string error;
    const auto path = WriteLog(log, dir.string(), &error);
    ASSERT_TRUE(path) << error;
    EXPECT_EQ(Listing(dir), std::vector<std::string>{c.stem + ".log"});
  }
}

TEST_F(LogFileTest, LongNamesAreCutAtACharacterAndStillTakeANumber) {
  std::string album;
  for (int i = 0; i < 200; ++i) album += "é";  // 400 bytes
  for (const std::string& tail : {std::string(""), std::string("x"), std::string("xx")}) {
    const std::string stem = LogFileStem(Sample(tail + album));
    EXPECT_TRUE(ValidUtf8(stem)) << tail;
    EXPECT_LE(LogFileName(stem, 9999).size(), 255u);
    EXPECT_GE(stem.size(), 240u);
  }
  const fs::path dir = root_ / "long";
  fs::create_directory(dir);
  std::string error;
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(WriteLog(Sample(album), dir.string(), &error)) << error;
  EXPECT_EQ(Listing(dir).size(), 2u);
}

TEST_F(LogFileTest, AnExistingLogIsKeptAndTheNewOneNumbered) {
  struct Case {
    const char* name;
    std::vector<std::string> existing;
    std::string written;
  } cases[] = {
      {"empty folder", {}, "Album.log"},
      {"one log", {"Album.log"}, "Album (2).log"},
      {"two logs", {"Album.log", "Album (2).log"}, "Album (3).log"},
      {"a gap is filled", {"Album.log", "Album (3).log"}, "Album (2).log"},
      {"other names do not count", {"Album (2).log", "album.log", "Album.log.txt", "Album.LOG"}, "Album.log"},
      {"a folder of that name", {"Album.log/"}, "Album (2).log"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path dir = root_ / std::to_string(&c - cases);
    fs::create_directory(dir);
    for (const std::string& name : c.existing) {
      if (name.back() == '/')
        fs::create_directory(dir / name);
      else
        std::ofstream(dir / name) << "earlier " << name;
    }
    std::string error;
    const RipLog log = Sample();
    const auto path = WriteLog(log, dir.string(), &error);
    ASSERT_TRUE(path) << error;
    EXPECT_EQ(*path, (dir / c.written).string());
    EXPECT_EQ(Slurp(*path), RenderLog(log));
    EXPECT_EQ(CheckLog(*path).status, LogCheck::Intact);
    for (const std::string& name : c.existing) {
      if (name.back() != '/') {
        EXPECT_EQ(Slurp(dir / name), "earlier " + name);
      }
    }
    std::vector<std::string> expected;
    for (const std::string& name : c.existing) expected.push_back(name.back() == '/' ? name.substr(0, name.size() - 1) : name);
    expected.push_back(c.written);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Listing(dir), expected);  // no temporary file either
  }
}

TEST_F(LogFileTest, TheLogIsReadableByOthers) {
  std::string error;
  const auto path = WriteLog(Sample(), root_.string(), &error);
  ASSERT_TRUE(path) << error;
  struct stat st {};
  ASSERT_EQ(::stat(path->c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}

// A folder the process may not write. Root writes anywhere, so the writer
// runs in a child that becomes nobody first.
TEST_F(LogFileTest, AFolderThatCannotBeWrittenIsReportedAndLeftAsItWas) {
  const fs::path locked = root_ / "locked";
  fs::create_directory(locked);
  std::ofstream(locked / "Album.log") << "earlier";
  ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);
  const std::optional<std::string> message = tonvik::testing::AsNobody([] {}, [&] {
    std::string error;
    const auto path = WriteLog(Sample(), locked.string(), &error);
    return path ? "written " + *path : error;
  });
  ASSERT_TRUE(message.has_value());
  EXPECT_EQ(*message, locked.string() + ": Permission denied");
  EXPECT_EQ(Listing(locked), std::vector<std::string>{"Album.log"});
  EXPECT_EQ(Slurp(locked / "Album.log"), "earlier");
}

TEST_F(LogFileTest, AFullDiskOrAMissingFolderIsReportedAndLeavesNothing) {
  std::ofstream(root_ / "Album.log") << "earlier";
  struct Case {
    const char* name;
    fs::path folder;
    size_t size_limit;  // 0: none
    std::string error;
  } cases[] = {
      {"full disk", root_, 100, root_.string() + ": File too large"},
      {"missing folder", root_ / "missing", 0, (root_ / "missing").string() + ": No such file or directory"},
      {"a file, not a folder", root_ / "Album.log", 0, (root_ / "Album.log").string() + ": Not a directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    std::optional<std::string> path;
    {
      std::optional<tonvik::testing::FileSizeLimit> limit;
      if (c.size_limit) limit.emplace(c.size_limit);
      path = WriteLog(Sample(), c.folder.string(), &error);
    }
    EXPECT_FALSE(path);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(Listing(root_), std::vector<std::string>{"Album.log"});
    EXPECT_EQ(Slurp(root_ / "Album.log"), "earlier");
  }
}

TEST_F(LogFileTest, CheckingAFile) {
  const std::string text = RenderLog(Sample());
  std::string edited = text;
  edited[edited.find("HL-DT-ST")] = 'X';
  const std::string no_checksum = text.substr(0, text.rfind(kChecksumPrefix));
  struct Case {
    const char* name;
    const std::string* content;  // nullptr: nothing written
    LogCheck status;
  } cases[] = {
      {"intact", &text, LogCheck::Intact},
      {"edited", &edited, LogCheck::Edited},
      {"without checksum", &no_checksum, LogCheck::NoChecksum},
      {"missing", nullptr, LogCheck::Unreadable},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path path = root_ / (std::string(c.name) + ".log");
    if (c.content) std::ofstream(path, std::ios::binary) << *c.content;
    const LogCheckResult result = CheckLog(path.string());
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.error.empty(), c.status != LogCheck::Unreadable) << result.error;
  }
  const LogCheckResult folder = CheckLog(root_.string());
  EXPECT_EQ(folder.status, LogCheck::Unreadable);
  EXPECT_EQ(folder.error, root_.string() + ": Is a directory");
}

}  // namespace
}  // namespace tonvik::riplog
