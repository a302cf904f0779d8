// What the disc carries besides its audio, through a whole rip: the disc
// check reads it from the image drive, the record falls back on CD-Text, and
// every format with a field for them carries the ISRC and the catalogue
// number, read back by ffprobe and metaflac.
#include <gtest/gtest.h>

#include <map>

#include "rip/disc_record.h"
#include "rip/rip_job_fixture.h"

namespace tonvik {
namespace {

// Every tag ffprobe finds in the file (format and stream), by its key as
// ffprobe prints it.
std::map<std::string, std::string> ProbeTags(const fs::path& file) {
  const std::string cmd = "ffprobe -v error -show_entries format_tags:stream_tags -of default=nw=1 '" +
                          file.string() + "'";
  std::map<std::string, std::string> tags;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char line[4096];
    while (std::fgets(line, sizeof line, p)) {
      std::string text(line);
      while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
      const size_t eq = text.find('=');
      if (text.rfind("TAG:", 0) != 0 || eq == std::string::npos) continue;
      tags[text.substr(4, eq - 4)] = text.substr(eq + 1);
    }
    pclose(p);
  }
  return tags;
}

// One tag of a FLAC file as metaflac reads it ("" when absent).
std::string MetaflacTag(const fs::path& file, const std::string& name) {
  const std::string cmd = "metaflac --show-tag=" + name + " '" + file.string() + "'";
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[512];
    while (std::fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
  }
  const size_t eq = out.find('=');
  if (eq == std::string::npos) return "";
  std::string value = out.substr(eq + 1);
  while (!value.empty() && value.back() == '\n') value.pop_back();
  return value;
}

const testing::SheetExtras kExtras{
    "4006381333931", "Five Small Pieces", "The Tonvik Demo Band",
    {{"DEA1X0000001", "One", "", 0}, {"DEA1X0000002", "Two", "", 30}, {"", "Three", "", 12}}};

class RipExtrasTest : public RipJobTest {};

TEST_F(RipExtrasTest, CdTextNamesTheFilesAndCodesGoIntoEveryFormatsTags) {
  MakeDisc({75 * 2, 75 * 2, 75 * 2}, "", false, kExtras);
  ASSERT_TRUE(disc_.extras && disc_.extras->cd_text_found && disc_.extras->mcn_found);
  // No lookup: the record is the disc's CD-Text, as the Format dialog takes it.
  metadata_ = ChooseDiscRecord(std::nullopt, disc_);
  ASSERT_EQ(metadata_.titles, (std::vector<std::string>{"One", "Two", "Three"}));
  // The WMA runtime as the build made it.
  reg::Key::Create(reg::Root::LocalMachine, kWindowsVersionKey)
      ->SetString(u"SystemModulesDir", FromUtf8(TONVIK_BINARY_DIR "/src/modules/wmvcore/"));

  const struct {
    int format;
    const char* ext;
    const char* isrc_key;     // the key ffprobe shows the ISRC under
    const char* catalog_key;  // "" where the format has no catalogue field of ours
  } formats[] = {
      {2, ".mp3", "TSRC", "CATALOGNUMBER"},  {3, ".wma", "WM/ISRC", ""},
      {4, ".ogg", "ISRC", "CATALOGNUMBER"},  {5, ".ape", "ISRC", "CATALOGNUMBER"},
      {6, ".flac", "ISRC", "CATALOGNUMBER"},
  };
  for (const auto& f : formats) {
    SCOPED_TRACE(f.ext);
    fs::remove_all(music_);
    Run(Job(f.format));
    ASSERT_TRUE(observer_.Errors().empty()) << ToUtf8(observer_.Errors().front());
    std::vector<fs::path> tracks;
    for (const fs::path& p : FilesUnder(music_))
      if (p.extension() == f.ext) tracks.push_back(p);
    ASSERT_EQ(tracks.size(), 3u);
    for (size_t i = 0; i < tracks.size(); ++i) {
      SCOPED_TRACE(tracks[i].string());
      const std::string& title = metadata_.titles[i];
      EXPECT_NE(tracks[i].string().find(title), std::string::npos) << "named after its CD-Text title";
      const auto tags = ProbeTags(music_ / tracks[i]);
      const std::string& isrc = kExtras.tracks[i].isrc;
      const auto found_isrc = tags.find(f.isrc_key);
      // A track without an ISRC gets no field at all.
      EXPECT_EQ(found_isrc != tags.end() ? found_isrc->second : "<none>", isrc.empty() ? "<none>" : isrc);
      if (*f.catalog_key) {
        const auto found = tags.find(f.catalog_key);
        EXPECT_EQ(found != tags.end() ? found->second : "<none>", kExtras.catalog);
      }
      bool titled = false;
      for (const auto& [key, value] : tags) titled = titled || value == title;
      EXPECT_TRUE(titled) << "the CD-Text title is in the tags";
      if (f.format == 6) {
        EXPECT_EQ(MetaflacTag(music_ / tracks[i], "ISRC"), isrc);
        EXPECT_EQ(MetaflacTag(music_ / tracks[i], "CATALOGNUMBER"), kExtras.catalog);
      }
    }
  }
}

// Pregaps alone change no file: the same disc with and without them rips to
// the same bytes (the formats whose files carry no time of their own).
TEST_F(RipExtrasTest, ADiscWithoutCodesOrTextRipsToTheSameBytesWhateverItsPregaps) {
  metadata_ = DiscMetadata{"Band", "Album", "2001", "", "", {"One", "Two", "Three"}, ""};
  std::map<std::string, std::string> plain;
  for (const bool pregaps : {false, true}) {
    testing::SheetExtras extras;
    if (pregaps) extras.tracks = {{}, {"", "", "", 30}, {"", "", "", 12}};
    MakeDisc({75 * 2, 75 * 2, 75 * 2}, "", false, extras);
    ASSERT_EQ(disc_.extras->tracks.at(1).pregap_sectors, pregaps ? 30 : 0);
    for (int format : {1, 2, 4, 5, 6}) {
      fs::remove_all(music_);
      Run(Job(format));
      ASSERT_TRUE(observer_.Errors().empty()) << ToUtf8(observer_.Errors().front());
      for (const fs::path& p : FilesUnder(music_)) {
        if (p.extension() == ".log") continue;
        const std::string bytes = Slurp(music_ / p);
        if (!pregaps)
          plain[p.string()] = bytes;
        else
          EXPECT_EQ(bytes, plain[p.string()]) << p;  // also fails for a file the plain rip lacks
      }
    }
  }
  EXPECT_EQ(plain.size(), 15u);
}

}  // namespace
}  // namespace tonvik
