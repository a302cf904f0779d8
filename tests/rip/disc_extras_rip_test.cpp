// What the disc carries besides its audio, through a whole rip: the disc
// check reads it from the image drive, the record falls back on CD-Text, and
// every format with a field for them carries the ISRC and the catalogue
// number, read back by ffprobe and metaflac.
#include <gtest/gtest.h>

#include <map>

#include "cdrom/cd_drive.h"

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
        if (p.extension() == ".log" || p.extension() == ".cue") continue;
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

// Every sector of the disc in drive `letter`, lead-out excluded.
std::string DiscPcm(char16_t letter, int32_t lead_out) {
  CdDrive drive;
  if (!drive.Open(letter)) return "<no drive>";
  std::string pcm(size_t(lead_out) * 2352, '\0');
  for (int32_t lba = 0; lba < lead_out; lba += 20) {
    const int32_t n = std::min(20, lead_out - lba);
    if (drive.ReadCd(lba, uint8_t(n), pcm.data() + size_t(lba) * 2352) != 0) return "<read failed>";
  }
  drive.Close();
  return pcm;
}

int32_t LeadOut(const std::vector<uint8_t>& toc) {
  const uint8_t* d = &toc[toc.size() - 8];
  return int32_t(uint32_t(d[4]) << 24 | d[5] << 16 | d[6] << 8 | d[7]);
}

std::string Shell(const std::string& command, int* status) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    *status = pclose(p);
  }
  return out;
}

// The sheet written beside a WAV rip plays, through the disc-image drive, the
// same disc: TOC byte for byte, every sector, the codes, the pregaps and the
// CD-Text; cuetools read it too.
TEST_F(RipExtrasTest, TheCueSheetBesideAWavRipIsTheSameDiscAgain) {
  const struct {
    const char* name;
    std::vector<int32_t> sectors;
    testing::SheetExtras extras;
  } discs[] = {
      {"codes_text_and_pregaps",
       {75 * 3, 75 * 2 + 10, 75 * 2, 75 * 4},
       {"4006381333931", "Five Small Pieces", "The Tonvik Demo Band",
        {{"DEA1X0000001", "One", "Solo", 0}, {"DEA1X0000002", "Two", "", 40}, {"", "Three", "", 0},
         {"DEA1X0000004", "Four", "", 75 + 3}}}},
      // Pregaps alone (no codes, no text): the files are named by number.
      {"pregaps_only", {75 * 2, 75 * 2, 75 * 2}, {"", "", "", {{}, {"", "", "", 1}, {"", "", "", 149}}}},
      {"codes_only", {75 * 2, 75 * 2}, {"4006381333931", "", "", {{}, {"DEA1X0000002"}}}},
  };
  for (const auto& d : discs) {
    SCOPED_TRACE(d.name);
    fs::remove_all(music_);
    MakeDisc(d.sectors, "", false, d.extras);
    metadata_ = ChooseDiscRecord(std::nullopt, disc_);
    Run(Job(1));
    ASSERT_TRUE(observer_.Errors().empty()) << ToUtf8(observer_.Errors().front());
    std::vector<fs::path> sheets, logs;
    for (const fs::path& p : FilesUnder(music_)) {
      if (p.extension() == ".cue") sheets.push_back(p);
      if (p.extension() == ".log") logs.push_back(p);
    }
    ASSERT_EQ(sheets.size(), 1u);
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(sheets[0].stem(), logs[0].stem()) << "named like the log";

    MapDrive((music_ / sheets[0]).string());
    const DiscState again = CheckDisc({u"D:\\"});
    EXPECT_EQ(again.toc, disc_.toc);
    ASSERT_TRUE(again.extras && disc_.extras);
    EXPECT_EQ(again.extras->mcn, disc_.extras->mcn);
    EXPECT_EQ(again.extras->cd_text.album_title, disc_.extras->cd_text.album_title);
    EXPECT_EQ(again.extras->cd_text.album_performer, disc_.extras->cd_text.album_performer);
    ASSERT_EQ(again.extras->tracks.size(), disc_.extras->tracks.size());
    for (size_t i = 0; i < again.extras->tracks.size(); ++i) {
      SCOPED_TRACE("track " + std::to_string(i + 1));
      const auto& a = again.extras->tracks[i];
      const auto& b = disc_.extras->tracks[i];
      EXPECT_EQ(a.isrc, b.isrc);
      EXPECT_EQ(a.pregap_sectors, b.pregap_sectors);
      EXPECT_EQ(a.pregap_sectors, i < d.extras.tracks.size() ? d.extras.tracks[i].pregap : 0);
      const auto ta = again.extras->cd_text.tracks.find(int(i + 1));
      const auto tb = disc_.extras->cd_text.tracks.find(int(i + 1));
      EXPECT_EQ(ta != again.extras->cd_text.tracks.end() ? ta->second.title + "/" + ta->second.performer : "",
                tb != disc_.extras->cd_text.tracks.end() ? tb->second.title + "/" + tb->second.performer : "");
    }
    MapDrive(cue_.string());
    const std::string original = DiscPcm(u'D', LeadOut(disc_.toc));
    MapDrive((music_ / sheets[0]).string());
    EXPECT_TRUE(DiscPcm(u'D', LeadOut(disc_.toc)) == original) << "the sheet plays other audio";
    MapDrive(cue_.string());

    // cuetools: cueprint finds every track with its ISRC, cuebreakpoints
    // reads the sheet. (Both say "too many files specified" on standard
    // error for a track whose INDEX 00 and INDEX 01 lie in two files, and
    // read it all the same.)
    int status = -1;
    const std::string sheet = "'" + (music_ / sheets[0]).string() + "'";
    const std::string printed = Shell("cueprint -d '%N\\n' -t '%n %i\\n' " + sheet, &status);
    EXPECT_EQ(status, 0) << printed;
    std::string want = std::to_string(d.sectors.size()) + "\n";
    for (size_t i = 0; i < d.sectors.size(); ++i)
      want += std::to_string(i + 1) + " " + (i < d.extras.tracks.size() ? d.extras.tracks[i].isrc : "") + "\n";
    EXPECT_EQ(printed, want);
    // With the gaps given to the track they belong to, each pregap is a
    // break inside the file before, that many sectors before its end.
    const std::string breaks = Shell("cuebreakpoints --prepend-gaps " + sheet, &status);
    EXPECT_EQ(status, 0) << breaks;
    std::string want_breaks;
    for (size_t i = 1; i < d.sectors.size(); ++i) {
      const int gap = i < d.extras.tracks.size() ? d.extras.tracks[i].pregap : 0;
      if (gap == 0) continue;
      const int at = d.sectors[i - 1] - gap;
      char line[32];
      std::snprintf(line, sizeof line, "%d:%02d.%02d\n", at / 4500, at / 75 % 60, at % 75);
      want_breaks += line;
    }
    EXPECT_EQ(breaks, want_breaks);
  }
}

// No sheet for a rip of part of the disc, or with WriteCueSheet = 0.
TEST_F(RipExtrasTest, NoSheetForAPartialRipOrWhenTheUserDoesNotWantOne) {
  MakeDisc({75 * 2, 75 * 2}, "", false, {"4006381333931", "", "", {{}, {"", "", "", 20}}});
  const struct {
    const char* name;
    std::vector<int32_t> selection;
    int option;
    bool sheet;
  } cases[] = {
      {"whole_disc", {1, 2}, 1, true},
      {"option_off", {1, 2}, 0, false},
      {"one_track", {2}, 1, false},
      {"out_of_order", {2, 1}, 1, false},
  };
  const DiscState checked = disc_;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(music_);
    SetOption(u"WriteCueSheet", c.option);
    disc_ = checked;
    disc_.selection = c.selection;
    Run(Job(6));
    ASSERT_TRUE(observer_.Errors().empty()) << ToUtf8(observer_.Errors().front());
    bool sheet = false;
    for (const fs::path& p : FilesUnder(music_)) sheet = sheet || p.extension() == ".cue";
    EXPECT_EQ(sheet, c.sheet);
  }
}

}  // namespace
}  // namespace tonvik
