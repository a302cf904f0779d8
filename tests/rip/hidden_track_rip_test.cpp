// The hidden track before track 1 through a whole rip: disc images whose
// track 1 starts after sound (or silence) in its pregap, ripped by the job,
// the files decoded by ffmpeg and read by metaflac, the sheet beside them
// played again by the image drive and read by cuetools.
#include <gtest/gtest.h>

#include <map>

#include "cdrom/cd_drive.h"
#include "rip/disc_record.h"
#include "rip/rip_job_fixture.h"
#include "accuraterip/record_bytes.h"
#include "support/shell.h"

namespace tonvik {
namespace {

using discimage::ImageTrack;

// One tag of a FLAC file as metaflac reads it ("<none>" when absent).
std::string FlacTag(const fs::path& file, const std::string& name) {
  const std::string out = testing::Shell("metaflac --show-tag=" + name + " '" + file.string() + "'");
  const size_t eq = out.find('=');
  if (eq == std::string::npos) return "<none>";
  return out.substr(eq + 1, out.find('\n', eq) - eq - 1);
}

// Every sector of the disc in drive D before `lead_out`.
std::string DiscPcm(int32_t lead_out) {
  CdDrive drive;
  if (!drive.Open(u'D')) return "<no drive>";
  std::string pcm(size_t(lead_out) * 2352, '\0');
  for (int32_t lba = 0; lba < lead_out; lba += 20) {
    const int32_t n = std::min(20, lead_out - lba);
    if (drive.ReadCd(lba, uint8_t(n), pcm.data() + size_t(lba) * 2352) != 0) return "<read failed>";
  }
  return pcm;
}

// The value of the log's first line labelled `label` after `from`, or
// "<none>".
std::string LogValue(const std::string& log, const std::string& from, const std::string& label) {
  const size_t start = log.find(from);
  if (start == std::string::npos) return "<none>";
  size_t at = log.find("\n" + label + ":", start);
  if (at == std::string::npos) return "<none>";
  at = log.find_first_not_of(' ', at + label.size() + 2);
  return log.substr(at, log.find('\n', at) - at);
}

class HiddenTrackRipTest : public RipJobTest {
 protected:
  // An image whose first `hidden` sectors (`signal`) lie before track 1's
  // INDEX 01, as its INDEX 00, and whose tracks have the given lengths;
  // `extras` go into the sheet as MakeDisc puts them. Mapped to drive D and
  // checked.
  void MakeHiddenTrackDisc(int32_t hidden, ImageTrack::Signal signal, const std::vector<int32_t>& sectors,
                           const testing::SheetExtras& extras = {}, const std::string& faults = "") {
    hidden_ = hidden;
    std::vector<ImageTrack> tracks{{ImageTrack::Audio, hidden, signal}};
    for (int32_t n : sectors) tracks.push_back({ImageTrack::Audio, n, ImageTrack::Music});
    cue_ = hives_.root() / "disc" / "disc.cue";
    fs::create_directories(cue_.parent_path());
    std::string error;
    ASSERT_TRUE(discimage::WriteDiscImage(cue_.string(), tracks, false, &error)) << error;
    // The image's first track becomes track 1's INDEX 00; the others move
    // down one number.
    std::istringstream in(Slurp(cue_));
    std::string sheet;
    int track = 0;
    for (std::string line; std::getline(in, line);) {
      char number[16];
      if (line.find("TRACK ") != std::string::npos) {
        if (++track == 2) continue;
        std::snprintf(number, sizeof number, "%02d", track == 1 ? 1 : track - 1);
        line.replace(line.find("TRACK ") + 6, 2, number);
      }
      if (track == 1 && line.find("INDEX 01") != std::string::npos) line.replace(line.find("INDEX 01"), 8, "INDEX 00");
      sheet += line + "\n";
    }
    std::ofstream(cue_, std::ios::trunc) << sheet;
    UseSheet(faults, extras);
  }
  // The PCM before track 1 as the image holds it.
  std::string HiddenPcm() { return Slurp(fs::path(cue_).replace_extension(".bin")).substr(0, size_t(hidden_) * 2352); }
  // The files of the rip, by name, but the log (it holds the date).
  std::map<std::string, std::string> Files() {
    std::map<std::string, std::string> files;
    for (const fs::path& p : FilesUnder(music_))
      if (p.extension() != ".log") files[p.string()] = Slurp(music_ / p);
    return files;
  }
  std::string Log() {
    for (const fs::path& p : FilesUnder(music_))
      if (p.extension() == ".log") return Slurp(music_ / p);
    return "<no log>";
  }

  int32_t hidden_ = 0;
};

// Music before track 1 becomes "Track 00", its PCM the disc's sectors before
// track 1 exactly, at any read offset the drive has and the job knows; the
// other tracks are what they always were; the log tells of it apart.
TEST_F(HiddenTrackRipTest, MusicBeforeTrack1IsRippedAsTrack0BitExact) {
  const struct {
    int format;
    const char* ext;
    int32_t offset;  // the drive's, and the job's
  } cases[] = {{1, ".wav", 0}, {6, ".flac", 0}, {1, ".wav", 667}, {1, ".wav", -30}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.ext) + " offset " + std::to_string(c.offset));
    fs::remove_all(music_);
    MakeHiddenTrackDisc(75 * 3 + 11, ImageTrack::Music, {75 * 2, 75 * 2 + 5}, {},
                        "offset " + std::to_string(c.offset) + "\n");
    reg::Key::Create(reg::Root::CurrentUser, DriveOptionsKey(u'D'))->SetDword(u"ReadOffset", uint32_t(c.offset));
    ASSERT_EQ(BuildTrackMap(disc_.toc).at(1).first_sector, hidden_);
    RipJob& job = Job(c.format);
    Run(job);
    ASSERT_TRUE(observer_.Errors().empty()) << ToUtf8(observer_.Errors().front());
    const std::string ext = c.ext;
    ASSERT_EQ(FilesUnder(music_), (std::vector<fs::path>{"Track 00" + ext, "Track 01" + ext, "Track 02" + ext,
                                                         "disc.cue", "disc.log"}));
    // What the drive cannot reach at its offset, before sector 0 or from the
    // lead-out on, the rip holds as silence, as AccurateRip has it.
    std::string hidden = HiddenPcm(), last = TrackPcm(2);
    if (c.offset < 0) std::fill_n(hidden.begin(), -c.offset * 4, '\0');
    if (c.offset > 0) std::fill_n(last.end() - c.offset * 4, c.offset * 4, '\0');
    EXPECT_TRUE(DecodeToPcm(music_ / ("Track 00" + ext)) == hidden);
    EXPECT_TRUE(DecodeToPcm(music_ / ("Track 01" + ext)) == TrackPcm(1));
    EXPECT_TRUE(DecodeToPcm(music_ / ("Track 02" + ext)) == last);
    // The bars count it: the whole disc, every byte of it done.
    EXPECT_EQ(job.total_bytes.load(), int32_t(HiddenPcm().size() + TrackPcm(1).size() + TrackPcm(2).size()));
    EXPECT_EQ(job.total_done.load(), uint32_t(job.total_bytes.load()));

    EXPECT_FALSE(session_->results.at(0).summed) << "no database holds sums of it";
    const std::string log = Log();
    EXPECT_EQ(LogValue(log, "\nTrack 0\n", "File"), "Track 00" + ext);
    EXPECT_EQ(LogValue(log, "\nSummary\n", "Tracks ripped"), "2");

    // The same disc without it: tracks 1 and 2 give the same files; only
    // track 0 (and the sheet that tells of it) is new.
    std::map<std::string, std::string> with = Files();
    SetOption(u"RipHiddenTrack", 0);
    fs::remove_all(music_);
    Run(Job(c.format));
    SetOption(u"RipHiddenTrack", 1);
    ASSERT_TRUE(observer_.Errors().empty()) << ToUtf8(observer_.Errors().front());
    for (const auto& [name, bytes] : Files()) {
      if (name != "disc.cue") {
        EXPECT_TRUE(with[name] == bytes) << name;
      }
      with.erase(name);
    }
    EXPECT_EQ(with.size(), 1u);
    EXPECT_EQ(with.count("Track 00" + ext), 1u);
  }
}

// Neither database's sums take the hidden track in: a disc whose record
// and CUETools entry are those of its TOC's tracks verifies whole, track 0
// ripped beside them.
TEST_F(HiddenTrackRipTest, TheDatabasesVerifyTheDiscWithTrack0RippedBeside) {
  MakeHiddenTrackDisc(75 * 3, ImageTrack::Music, {75 * 7, 75 * 8 + 3});
  const accuraterip::DiscToc toc = *accuraterip::DiscTocFromReadToc(disc_.toc);
  const accuraterip::DiscIds ids = accuraterip::ComputeDiscIds(toc);
  std::vector<accuraterip::TrackEntry> entries;
  ctdb::DiscCrc crcs(ctdb::LayoutOf(toc));
  for (const auto& t : accuraterip::AudioTracks(toc)) {
    const std::string pcm = TrackPcm(t.toc_number);
    accuraterip::TrackChecksum sum(t.first, t.last);
    sum.Add(reinterpret_cast<const uint8_t*>(pcm.data()), pcm.size());
    const accuraterip::TrackSums sums = sum.Finish();
    entries.push_back({3, sums.v1, sums.crc450.value_or(0)});
    crcs.Add(reinterpret_cast<const uint8_t*>(pcm.data()), pcm.size());
  }
  char hex[24];
  std::snprintf(hex, sizeof hex, "%08x %08x", crcs.Track(0, 0).value_or(0), crcs.Track(1, 0).value_or(0));
  const std::string track_crcs = hex;
  std::snprintf(hex, sizeof hex, "%08x", crcs.Disc(0).value_or(0));
  const fs::path dir = hives_.root() / "db";
  fs::create_directories(dir);
  std::ofstream(dir / "record.bin", std::ios::binary) << accuraterip::testing::Chunk(ids, entries);
  std::ofstream(dir / "ctdb.xml")
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ctdb xmlns=\"http://db.cuetools.net/ns/mmd-1.0#\">\n"
         "  <entry confidence=\"5\" crc32=\"" + std::string(hex) + "\" id=\"1\" npar=\"8\" stride=\"5880\" toc=\"" +
             ctdb::TocString(toc) + "\" trackcrcs=\"" + track_crcs + "\" />\n</ctdb>\n";
  testing::LoopbackServer server(
      dir, "/accuraterip/" + accuraterip::RecordPath(ids) + " 200 record.bin\n/lookup2.php 200 ctdb.xml\n");
  ASSERT_NE(server.port(), 0) << "the loopback server did not start";
  ::setenv("http_proxy", server.proxy().c_str(), 1);
  reg::Key::Create(reg::Root::CurrentUser, DriveOptionsKey(u'D'))->SetDword(u"ReadOffset", 0);
  Run(Job(6));
  testing::PointProxyNowhere();

  ASSERT_TRUE(observer_.Errors().empty()) << ToUtf8(observer_.Errors().front());
  ASSERT_EQ(session_->results.size(), 3u);
  EXPECT_EQ(session_->results[0].track, 0);
  for (size_t i = 1; i < 3; ++i) {
    EXPECT_EQ(session_->results[i].verdict.verdict, accuraterip::Verdict::Accurate) << i;
    EXPECT_TRUE(session_->results[i].ctdb_verified) << i;
  }
  const std::string log = Log();
  EXPECT_EQ(LogValue(log, "\n", "CTDB disc"), "Accurately ripped (5/5)");
  EXPECT_NE(log.find("Every track was ripped accurately."), std::string::npos) << log;
}

// With a disc record the template names it with the number 0 and the
// hidden track's title, and its tags say the same.
TEST_F(HiddenTrackRipTest, TheTemplateAndTheTagsGiveItTheNumber0) {
  MakeHiddenTrackDisc(75 * 2, ImageTrack::Music, {75, 75});
  metadata_ = DiscMetadata{"Band", "Album", "2001", "", "", {"One", "Two"}, ""};
  Run(Job(6));
  ASSERT_TRUE(observer_.Errors().empty()) << ToUtf8(observer_.Errors().front());
  ASSERT_EQ(FilesUnder(music_), (std::vector<fs::path>{"Album.cue", "Album.log", "Band - [00] Hidden track.flac",
                                                       "Band - [01] One.flac", "Band - [02] Two.flac"}));
  const struct {
    const char* file;
    const char* number;
    const char* title;
  } tracks[] = {{"Band - [00] Hidden track.flac", "0", kHiddenTrackTitle},
                {"Band - [01] One.flac", "1", "One"},
                {"Band - [02] Two.flac", "2", "Two"}};
  for (const auto& t : tracks) {
    SCOPED_TRACE(t.file);
    EXPECT_EQ(FlacTag(music_ / t.file, "TRACKNUMBER"), t.number);
    EXPECT_EQ(FlacTag(music_ / t.file, "TITLE"), t.title);
    EXPECT_EQ(FlacTag(music_ / t.file, "ARTIST"), "Band");
    EXPECT_EQ(FlacTag(music_ / t.file, "ALBUM"), "Album");
  }
  EXPECT_TRUE(DecodeToPcm(music_ / tracks[0].file) == HiddenPcm());
}

// No track 0 for silence before track 1, with the user's value off, or for
// a rip that is not the whole disc: the files are those of the same rip
// with the value off, byte for byte.
TEST_F(HiddenTrackRipTest, NoTrack0ForSilenceTheValueOffOrAPartialRip) {
  const struct {
    const char* name;
    ImageTrack::Signal before;
    std::vector<int32_t> selection;  // empty: the whole disc
    int value;
  } cases[] = {
      {"digital_silence", ImageTrack::Silence, {}, 1},
      {"value_off", ImageTrack::Music, {}, 0},
      {"one_track", ImageTrack::Music, {2}, 1},
      {"first_track_alone", ImageTrack::Music, {1}, 1},
      {"out_of_order", ImageTrack::Music, {2, 1}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MakeHiddenTrackDisc(75 * 2, c.before, {75 * 2, 75});
    if (!c.selection.empty()) disc_.selection = c.selection;
    std::map<std::string, std::string> runs[2];
    for (int run = 0; run < 2; ++run) {
      SetOption(u"RipHiddenTrack", run == 0 ? c.value : 0);
      fs::remove_all(music_);
      Run(Job(6));
      ASSERT_TRUE(observer_.Errors().empty()) << ToUtf8(observer_.Errors().front());
      for (const TrackResult& r : session_->results) EXPECT_NE(r.track, 0);
      EXPECT_EQ(Log().find("Track 0\n"), std::string::npos);
      runs[run] = Files();
    }
    SetOption(u"RipHiddenTrack", 1);
    EXPECT_EQ(runs[0].count("Track 00.flac"), 0u);
    EXPECT_EQ(runs[0].size(), runs[1].size());
    for (const auto& [name, bytes] : runs[1]) EXPECT_TRUE(runs[0][name] == bytes) << name;
  }
}

// The sheet beside a WAV rip of a disc with a hidden track plays, through
// the image drive, the same disc: the TOC byte for byte and every sector
// from sector 0 on, the hidden ones included; cuetools read it as the
// disc's tracks, the hidden track no track of its own.
TEST_F(HiddenTrackRipTest, TheCueSheetPlaysTheHiddenTrackAgain) {
  const struct {
    const char* name;
    std::vector<int32_t> sectors;
    testing::SheetExtras extras;
    const char* printed;  // by cueprint: the track count, each track's number and ISRC
    const char* breaks;   // by cuebreakpoints --prepend-gaps
  } discs[] = {
      // Nothing but the hidden track: it alone makes the sheet.
      {"hidden_track_only", {75 * 2, 75 * 2}, {}, "2\n1 \n2 \n", ""},
      // Track 2's pregap of 40 sectors ends track 1's file: a break 110
      // sectors into it.
      {"codes_text_and_pregaps",
       {75 * 2, 75 * 3},
       {"4006381333931", "Album", "Band", {{"DEA1X0000001", "One", "Solo", 0}, {"DEA1X0000002", "Two", "", 40}}},
       "2\n1 DEA1X0000001\n2 DEA1X0000002\n", "0:01.35\n"},
  };
  const int32_t hidden = 75 * 4 + 3;
  for (const auto& d : discs) {
    SCOPED_TRACE(d.name);
    fs::remove_all(music_);
    MakeHiddenTrackDisc(hidden, ImageTrack::Music, d.sectors, d.extras);
    metadata_ = ChooseDiscRecord(std::nullopt, disc_);
    Run(Job(1));
    ASSERT_TRUE(observer_.Errors().empty()) << ToUtf8(observer_.Errors().front());
    ASSERT_EQ(session_->results.size(), d.sectors.size() + 1);
    fs::path sheet;
    for (const fs::path& p : FilesUnder(music_))
      if (p.extension() == ".cue") sheet = music_ / p;
    ASSERT_FALSE(sheet.empty());
    const std::string text = Slurp(sheet);
    const std::string hidden_file = ToUtf8(session_->results[0].file);
    EXPECT_NE(text.find("FILE \"" + hidden_file + "\" WAVE\n  TRACK 01 AUDIO\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("PREGAP"), std::string::npos) << text;

    const int32_t lead_out = BuildTrackMap(disc_.toc).rbegin()->second.first_sector +
                             BuildTrackMap(disc_.toc).rbegin()->second.sector_count;
    const std::string original = DiscPcm(lead_out);
    MapDrive(sheet.string());
    const DiscState again = CheckDisc({u"D:\\"});
    EXPECT_EQ(again.toc, disc_.toc);
    ASSERT_TRUE(again.extras && disc_.extras);
    EXPECT_EQ(again.extras->tracks.at(0).pregap_sectors, hidden);
    EXPECT_TRUE(DiscPcm(lead_out) == original) << "the sheet plays other audio";
    MapDrive(cue_.string());

    // cuetools: the disc's tracks, numbered from 1; with the gaps given to
    // their tracks, track 1 begins at the start of the hidden track's file.
    int status = -1;
    const std::string quoted = "'" + sheet.string() + "'";
    EXPECT_EQ(testing::Shell("cueprint -d '%N\\n' -t '%n %i\\n' " + quoted, &status), d.printed);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(testing::Shell("cuebreakpoints --prepend-gaps " + quoted, &status), d.breaks);
    EXPECT_EQ(status, 0);
  }
}

}  // namespace
}  // namespace tonvik
