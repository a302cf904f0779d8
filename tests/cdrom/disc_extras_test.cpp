// ReadDiscExtras through CdDrive against the disc-image drive playing real
// discs' cue sheets (tests/cdrom/data, see its README): catalogue number,
// ISRCs, pregaps and CD-Text, with drives that answer well, poorly, wrongly
// or not at all.
#include "cdrom/disc_extras.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "cdrom/cd_drive.h"
#include "cdrom/disc_check.h"
#include "cdrom/image_transport.h"
#include "cdrom/subchannel.h"
#include "image_fixture.h"

namespace tonvik::cdrom {
namespace {

namespace fs = std::filesystem;

// A sheet of tests/cdrom/data and the length of its audio file, from the
// sheet's CDDB disc ID (seconds × 75).
struct RealDisc {
  const char* sheet;
  const char* audio;
  int32_t sectors;
};
constexpr RealDisc kCure{"cure.cue", "data.wav", 3173 * 75};
constexpr RealDisc kBreeders{"breeders.cue", "data.wav", 2201 * 75};
constexpr RealDisc kBloc{"bloc.cue", "data.wav", 3040 * 75};
constexpr RealDisc kSurferRosa{"surferrosa.eac.single.cue", "Range.wav", 3242 * 75};

// What the sheet says, read here on its own terms (single-file sheets): per
// track the first sector of its pregap (-1 none) and of INDEX 01, its ISRC.
struct SheetFacts {
  std::string catalog;
  std::map<int, int32_t> index0, index1;
  std::map<int, std::string> isrc;
};

int32_t Frames(const std::string& msf) {
  int m = 0, s = 0, f = 0;
  char c1 = 0, c2 = 0;
  std::istringstream(msf) >> m >> c1 >> s >> c2 >> f;
  return (m * 60 + s) * 75 + f;
}

SheetFacts ReadFacts(const fs::path& sheet) {
  SheetFacts facts;
  std::ifstream in(sheet);
  int track = 0;
  int32_t shift = 0, pending = 0;
  bool first_index = false;
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string keyword, a, b;
    words >> keyword >> a >> b;
    if (keyword == "CATALOG") facts.catalog = a;
    if (keyword == "TRACK") {
      track = std::stoi(a);
      first_index = true;
      facts.index0[track] = -1;
    }
    if (keyword == "ISRC") facts.isrc[track] = a;
    if (keyword == "PREGAP") pending = Frames(a);
    if (keyword == "INDEX") {
      if (first_index) {
        shift += pending;
        if (pending > 0) facts.index0[track] = Frames(b) + shift - pending;
        pending = 0;
        first_index = false;
      }
      if (a == "00" && facts.index0[track] < 0) facts.index0[track] = Frames(b) + shift;
      if (a == "01") facts.index1[track] = Frames(b) + shift;
    }
  }
  return facts;
}

// The sheet beside a silent WAV of the disc's length (a sparse file).
class DiscFolder {
 public:
  std::string Stage(const RealDisc& disc) {
    const fs::path dir = folder_.dir();
    fs::create_directories(dir);
    fs::copy_file(fs::path(TONVIK_SOURCE_DIR) / "tests/cdrom/data" / disc.sheet, dir / disc.sheet,
                  fs::copy_options::overwrite_existing);
    const uint32_t bytes = uint32_t(disc.sectors) * 2352;
    std::ofstream wav(dir / disc.audio, std::ios::binary | std::ios::trunc);
    auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) wav.put(char(v >> (8 * i))); };
    auto u16 = [&](uint16_t v) { wav.put(char(v)); wav.put(char(v >> 8)); };
    wav << "RIFF";
    u32(36 + bytes);
    wav << "WAVEfmt ";
    u32(16);
    u16(1);
    u16(2);
    u32(44100);
    u32(44100 * 4);
    u16(4);
    u16(16);
    wav << "data";
    u32(bytes);
    wav.close();
    fs::resize_file(dir / disc.audio, 44 + uint64_t(bytes));
    return (dir / disc.sheet).string();
  }
  std::string Write(const std::string& name, const std::string& text) {
    fs::create_directories(folder_.dir());
    std::ofstream(folder_.dir() / name) << text;
    return (folder_.dir() / name).string();
  }

 private:
  testing::ImageFolder folder_;
};

struct Opened {
  std::unique_ptr<CdDrive> drive;
  ImageTransport* image = nullptr;
  std::vector<uint8_t> toc;
};

Opened Open(const std::string& cue, const std::string& faults = "") {
  Opened o;
  std::string error;
  auto image = CueImage::Load(cue, &error);
  EXPECT_TRUE(image) << error;
  FaultPlan plan;
  EXPECT_TRUE(FaultPlan::Parse(faults, &plan, &error)) << error;
  auto transport = std::make_unique<ImageTransport>(std::move(image), plan);
  o.image = transport.get();
  o.drive = std::make_unique<CdDrive>(std::move(transport));
  o.toc.resize(804);
  EXPECT_EQ(o.drive->ReadToc(1, o.toc.data(), uint16_t(o.toc.size())), 0);
  o.toc.resize(size_t(o.toc[0] << 8 | o.toc[1]) + 2);
  return o;
}

TEST(DiscExtras, RealSheetsComeBackAsTheyWereWritten) {
  for (const RealDisc& disc : {kCure, kBreeders, kBloc, kSurferRosa}) {
    SCOPED_TRACE(disc.sheet);
    DiscFolder folder;
    const std::string cue = folder.Stage(disc);
    const SheetFacts facts = ReadFacts(cue);
    Opened o = Open(cue);
    ASSERT_TRUE(IsSoundToc(o.toc));
    const DiscExtras extras = ReadDiscExtras(*o.drive, o.toc);

    // The TOC is the sheet's INDEX 01s; the extras follow it.
    ASSERT_EQ(extras.tracks.size(), facts.index1.size());
    const bool codes = IsValidMcn(facts.catalog);
    EXPECT_EQ(extras.mcn_found, codes);
    EXPECT_EQ(extras.mcn, codes ? facts.catalog : "");
    for (const TrackExtras& t : extras.tracks) {
      SCOPED_TRACE("track " + std::to_string(t.number));
      EXPECT_EQ(t.start_lba, facts.index1.at(t.number));
      const std::string isrc = facts.isrc.count(t.number) ? facts.isrc.at(t.number) : "";
      EXPECT_EQ(t.isrc, IsValidIsrc(isrc) ? isrc : "");
      ASSERT_TRUE(t.pregap_known);
      const int32_t index0 = facts.index0.at(t.number);
      EXPECT_EQ(t.index0_lba, index0);
      EXPECT_EQ(t.pregap_sectors, index0 < 0 ? 0 : t.start_lba - index0);
    }
    // A drive that answers READ SUB-CHANNEL needs no scan where it gives
    // the codes; its "none" is checked once, on track 1. Every sector the
    // search and the scan say they read is one the drive served with Q.
    const bool isrcs = IsValidIsrc(facts.isrc.count(1) ? facts.isrc.at(1) : "");
    EXPECT_EQ(extras.scan_sectors, codes && isrcs ? 0 : kCodeScanSectors);
    EXPECT_EQ(extras.search_sectors + extras.scan_sectors, o.image->counters()->q_sectors_read.load());
    EXPECT_LT(extras.search_sectors * 100, o.image->image().lead_out()) << "more than 1% of the disc";
    std::cout << "  [" << disc.sheet << "] pregap search read " << extras.search_sectors << " of "
              << o.image->image().lead_out() << " sectors (" << 100.0 * double(extras.search_sectors) /
                 double(o.image->image().lead_out()) << "%)\n";
  }
}

TEST(DiscExtras, CdTextOfTheSheetReachesTheReader) {
  const struct {
    RealDisc disc;
    bool found;
    const char* album_title;
    const char* album_performer;
    std::map<int, std::pair<std::string, std::string>> tracks;  // title, performer
  } cases[] = {
      {kBreeders, true, "MOUNTAIN BATTLES", "THE BREEDERS",
       {{1, {"OVERGLAZED", ""}}, {4, {"WE'RE GONNA RISE", ""}}, {13, {"MOUNTAIN BATTLES", ""}}}},
      {kSurferRosa, true, "Surfer Rosa & Come on Pilgrim", "Pixies",
       {{1, {"Bone Machine", "Pixies"}}, {9, {"Tony's Theme", "Pixies"}}, {11, {"Vamos", "Pixies"}},
        {15, {"Vamos", "Pixies"}}, {21, {"Levitate Me", "Pixies"}}}},
      {kBloc, false, "", "", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.disc.sheet);
    DiscFolder folder;
    Opened o = Open(folder.Stage(c.disc));
    const DiscExtras extras = ReadDiscExtras(*o.drive, o.toc, {.mcn = false, .isrc = false, .pregaps = false});
    EXPECT_EQ(extras.cd_text_found, c.found);
    EXPECT_EQ(extras.cd_text.bad_crc, 0);
    EXPECT_EQ(extras.cd_text.album_title, c.album_title);
    EXPECT_EQ(extras.cd_text.album_performer, c.album_performer);
    for (const auto& [n, tp] : c.tracks) {
      ASSERT_TRUE(extras.cd_text.tracks.count(n)) << n;
      EXPECT_EQ(extras.cd_text.tracks.at(n).title, tp.first) << n;
      EXPECT_EQ(extras.cd_text.tracks.at(n).performer, tp.second) << n;
    }
    EXPECT_EQ(o.image->counters()->read_cd_calls, 0);
    if (c.found) { EXPECT_EQ(extras.cd_text.tracks.size(), size_t(o.image->image().tracks().size())); }
  }
}

TEST(DiscExtras, QSubChannelOfTheImageDriveFollowsTheSheet) {
  DiscFolder folder;
  const std::string cue = folder.Stage(kCure);
  const SheetFacts facts = ReadFacts(cue);
  Opened o = Open(cue);
  // Around every track start: each position frame names the sector it came
  // from, its track and index, and the distance to INDEX 01; codes come at
  // least once in every 100 sectors.
  for (const auto& [track, start] : facts.index1) {
    if (track == 1) continue;
    std::vector<uint8_t> buffer(100 * 2368);
    const int32_t from = start - 60;
    ASSERT_EQ(o.drive->ReadCdWithQ(from, 100, buffer.data()), 0);
    int mcn = 0, isrc = 0;
    for (int i = 0; i < 100; ++i) {
      const int32_t lba = from + i;
      const auto frame = DecodeQ(buffer.data() + size_t(i) * 2368 + 2352);
      ASSERT_TRUE(frame) << lba;
      if (frame->kind == QFrame::Catalogue) {
        ++mcn;
        EXPECT_EQ(frame->text, facts.catalog);
        continue;
      }
      if (frame->kind == QFrame::Isrc) {
        ++isrc;
        EXPECT_EQ(frame->text, facts.isrc.at(lba < start ? track - 1 : track)) << lba;
        continue;
      }
      const int32_t index0 = facts.index0.at(track);
      const int expected_track = index0 >= 0 && lba >= index0 ? track : lba >= start ? track : track - 1;
      EXPECT_EQ(frame->absolute, lba + 150);
      EXPECT_EQ(frame->track, expected_track) << lba;
      if (expected_track == track) {
        EXPECT_EQ(frame->index, lba < start ? 0 : 1) << lba;
        EXPECT_EQ(frame->relative, lba < start ? start - lba : lba - start) << lba;
      } else {
        EXPECT_EQ(frame->index, 1) << lba;
        EXPECT_EQ(frame->relative, lba - facts.index1.at(track - 1)) << lba;
      }
    }
    EXPECT_LE(mcn, 1) << track;
    EXPECT_LE(isrc, 1) << track;
    // Inside the track, away from its start: each code once in 100 sectors.
    std::vector<uint8_t> inside(100 * 2368);
    ASSERT_EQ(o.drive->ReadCdWithQ(start + 2, 100, inside.data()), 0);
    mcn = isrc = 0;
    for (int i = 0; i < 100; ++i) {
      const auto frame = DecodeQ(inside.data() + size_t(i) * 2368 + 2352);
      ASSERT_TRUE(frame);
      mcn += frame->kind == QFrame::Catalogue;
      isrc += frame->kind == QFrame::Isrc && frame->text == facts.isrc.at(track);
    }
    EXPECT_EQ(mcn, 1) << track;
    EXPECT_EQ(isrc, 1) << track;
    // The audio beside the frames is the audio READ CD gives alone.
    std::vector<uint8_t> plain(100 * 2352);
    ASSERT_EQ(o.drive->ReadCd(from, 100, plain.data()), 0);
    for (int i = 0; i < 100; ++i)
      ASSERT_TRUE(std::equal(plain.begin() + i * 2352, plain.begin() + (i + 1) * 2352, buffer.begin() + i * 2368));
  }
}

TEST(DiscExtras, DrivesThatAnswerPoorlyOrRefuse) {
  DiscFolder folder;
  const std::string cue = folder.Stage(kCure);
  const SheetFacts facts = ReadFacts(cue);
  const struct {
    const char* faults;
    bool codes;        // MCN and ISRCs found
    bool scanned;      // through the Q sub-channel
    bool pregaps;      // every pregap found, and right
  } cases[] = {
      {"", true, false, true},
      {"weaksubchannel", true, true, true},
      {"sense 42 5 20 0", true, true, true},           // READ SUB-CHANNEL unknown
      {"sense 42 5 24 0", true, true, true},           // ... or refused
      {"badq 7", true, false, true},                   // some frames spoiled
      {"weaksubchannel\nbadq 3", true, true, true},
      {"noqsubchannel", true, false, false},
      {"weaksubchannel\nnoqsubchannel", false, false, false},
      {"weaksubchannel\nbadq 1", false, true, false},  // every Q frame spoiled
      {"nocdtext", true, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.faults);
    Opened o = Open(cue, c.faults);
    const DiscExtras extras = ReadDiscExtras(*o.drive, o.toc);
    EXPECT_EQ(extras.mcn_found, c.codes);
    EXPECT_EQ(extras.mcn, c.codes ? facts.catalog : "");
    EXPECT_EQ(extras.isrc_found, c.codes);
    EXPECT_EQ(extras.scan_sectors > 0, c.scanned);
    EXPECT_LE(extras.scan_sectors, int64_t(kCodeScanSectors) * 13);
    const int bad_q = o.image->plan().bad_q;
    auto spoiled = [&](int32_t lba) { return bad_q > 0 && lba % bad_q == 0; };
    for (size_t i = 0; i < extras.tracks.size(); ++i) {
      const TrackExtras& t = extras.tracks[i];
      EXPECT_EQ(t.isrc, c.codes ? facts.isrc.at(t.number) : "") << t.number;
      // Where the pregap begins (a), the Q frames on both sides of the
      // change tell it; with either spoiled the search must say it cannot.
      const int32_t index0 = facts.index0.at(t.number);
      const int32_t a = index0 < 0 ? t.start_lba : index0;
      const int32_t lowest = i == 0 ? 0 : extras.tracks[i - 1].start_lba + 1;
      const bool readable = !(a - 1 >= lowest && spoiled(a - 1)) && !(a < t.start_lba && spoiled(a));
      // (Before LBA 0 nothing can be read: a first track there has no pregap to find.)
      EXPECT_EQ(t.pregap_known, (c.pregaps && readable) || lowest >= t.start_lba) << t.number;
      if (t.pregap_known) { EXPECT_EQ(t.index0_lba, index0) << t.number; }
    }
    EXPECT_EQ(extras.search_sectors + extras.scan_sectors, o.image->counters()->q_sectors_read.load());
    EXPECT_LT(extras.search_sectors * 100, o.image->image().lead_out());
    // The sheet's codes also go into the disc's CD-Text (0x8E packs).
    const bool cd_text = std::string(c.faults) != "nocdtext";
    EXPECT_EQ(extras.cd_text_found, cd_text);
    if (cd_text) {
      EXPECT_EQ(extras.cd_text.upc, facts.catalog);
      for (const auto& [n, isrc] : facts.isrc) { EXPECT_EQ(extras.cd_text.tracks.count(n) ? extras.cd_text.tracks.at(n).isrc : "", isrc) << n; }
    }
  }
}

// A sheet of one's own: codes a drive should never pass on.
TEST(DiscExtras, IsrcsAndCatalogueNumbersWithBadCharactersAreRefused) {
  const char* bad[] = {"usum70839873", "USUM7083987", "US-UM7083987", "1SUM70839873", "USUM7O839873",
                       "000000000000"};
  for (const char* isrc : bad) {
    SCOPED_TRACE(isrc);
    DiscFolder folder;
    folder.Stage(kBloc);  // for its data.wav, under a sheet written here
    const std::string cue = folder.Write("x.cue", std::string("CATALOG 06025176422X6\nFILE \"data.wav\" WAVE\n"
                                                             "  TRACK 01 AUDIO\n    ISRC ") +
                                                     isrc + "\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    ISRC " +
                                                     isrc + "\n    INDEX 00 01:00:00\n    INDEX 01 01:02:00\n");
    for (const char* faults : {"", "weaksubchannel"}) {
      Opened o = Open(cue, faults);
      const DiscExtras extras = ReadDiscExtras(*o.drive, o.toc);
      EXPECT_FALSE(extras.mcn_found) << faults;
      EXPECT_FALSE(extras.isrc_found) << faults;
      for (const TrackExtras& t : extras.tracks) { EXPECT_EQ(t.isrc, "") << faults; }
      // The scan looked (the drive said nothing usable) and stopped in bounds.
      EXPECT_GT(extras.scan_sectors, 0) << faults;
      EXPECT_LE(extras.scan_sectors, 3 * kCodeScanSectors) << faults;
      ASSERT_EQ(extras.tracks.size(), 2u);
      EXPECT_EQ(extras.tracks[1].index0_lba, 4500) << faults;
    }
  }
}

// A drive whose answers to some commands are replaced, the rest the image's.
class Tampered : public ScsiTransport {
 public:
  using Change = std::function<void(const uint8_t* cdb, uint8_t* out, uint32_t length, ImageTransport& image)>;
  Tampered(std::unique_ptr<ImageTransport> inner, Change change) : inner_(std::move(inner)), change_(std::move(change)) {}
  bool Execute(const uint8_t* cdb, int cdb_length, int direction, void* buffer, uint32_t length, uint32_t timeout,
               uint8_t sense[18]) override {
    const bool ok = inner_->Execute(cdb, cdb_length, direction, buffer, length, timeout, sense);
    if (ok && buffer) change_(cdb, static_cast<uint8_t*>(buffer), length, *inner_);
    return ok;
  }

 private:
  std::unique_ptr<ImageTransport> inner_;
  Change change_;
};

TEST(DiscExtras, OddAnswersNeverGiveWrongValues) {
  DiscFolder folder;
  const std::string cue = folder.Stage(kBreeders);
  const SheetFacts facts = ReadFacts(cue);
  auto is_cd_text = [](const uint8_t* cdb) { return cdb[0] == 0x43 && (cdb[2] & 0x0F) == 5; };
  const struct {
    const char* name;
    Tampered::Change change;
  } cases[] = {
      {"READ SUB-CHANNEL all 0xFF", [](const uint8_t* cdb, uint8_t* out, uint32_t n, ImageTransport&) {
         if (cdb[0] == 0x42) std::fill(out, out + n, 0xFF);
       }},
      {"READ SUB-CHANNEL valid with a letter among the digits", [](const uint8_t* cdb, uint8_t* out, uint32_t n, ImageTransport&) {
         if (cdb[0] == 0x42 && n >= 24) out[9 + 6] = 'Z';
       }},
      {"READ SUB-CHANNEL for another track", [](const uint8_t* cdb, uint8_t* out, uint32_t n, ImageTransport&) {
         if (cdb[0] == 0x42 && cdb[3] == 3 && n >= 24) out[6] = uint8_t(out[6] + 1);
       }},
      {"Q bytes all zero", [](const uint8_t* cdb, uint8_t* out, uint32_t n, ImageTransport&) {
         if (cdb[0] == 0xBE && cdb[10] == 2)
           for (uint32_t at = 2352; at + 16 <= n; at += 2368) std::fill(out + at, out + at + 16, 0);
       }},
      {"Q frames of the sector after", [](const uint8_t* cdb, uint8_t* out, uint32_t n, ImageTransport& image) {
         // As a drive whose sub-channel runs one sector ahead of its audio.
         const int32_t lba = cdb[3] << 16 | cdb[4] << 8 | cdb[5];
         if (cdb[0] == 0xBE && cdb[10] == 2)
           for (uint32_t i = 0; (i + 1) * 2368 <= n; ++i) image.QFrameAt(lba + int32_t(i) + 1, out + i * 2368 + 2352);
       }},
      {"CD-Text cut after 5 packs", [=](const uint8_t* cdb, uint8_t* out, uint32_t n, ImageTransport&) {
         if (is_cd_text(cdb) && n > 4 + 5 * 18) std::fill(out + 4 + 5 * 18, out + n, 0);
       }},
      {"CD-Text length field 0xFFFF", [=](const uint8_t* cdb, uint8_t* out, uint32_t n, ImageTransport&) {
         if (is_cd_text(cdb) && n >= 2) out[0] = out[1] = 0xFF;
       }},
      {"CD-Text every third byte flipped", [=](const uint8_t* cdb, uint8_t* out, uint32_t n, ImageTransport&) {
         if (is_cd_text(cdb))
           for (uint32_t i = 4; i < n; i += 3) out[i] ^= 0x41;
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    auto image = CueImage::Load(cue, &error);
    ASSERT_TRUE(image) << error;
    auto inner = std::make_unique<ImageTransport>(std::move(image), FaultPlan{});
    CdDrive drive(std::make_unique<Tampered>(std::move(inner), c.change));
    std::vector<uint8_t> toc(804);
    ASSERT_EQ(drive.ReadToc(1, toc.data(), uint16_t(toc.size())), 0);
    toc.resize(size_t(toc[0] << 8 | toc[1]) + 2);
    const DiscExtras extras = ReadDiscExtras(drive, toc);
    if (extras.mcn_found) { EXPECT_EQ(extras.mcn, facts.catalog); }
    for (const TrackExtras& t : extras.tracks) {
      if (!t.isrc.empty()) { EXPECT_EQ(t.isrc, facts.isrc.at(t.number)) << t.number; }
      if (t.pregap_known) { EXPECT_EQ(t.index0_lba, facts.index0.at(t.number)) << t.number; }
    }
    if (!extras.cd_text.album_title.empty()) { EXPECT_EQ(extras.cd_text.album_title, "MOUNTAIN BATTLES"); }
    for (const auto& [n, t] : extras.cd_text.tracks) { EXPECT_TRUE(t.performer.empty()) << n; }
    EXPECT_LT((extras.search_sectors + extras.scan_sectors) * 100, 165075);
  }
}

TEST(DiscExtras, UnsoundTocOrClosedDriveGiveNothing) {
  CdDrive closed;
  EXPECT_TRUE(ReadDiscExtras(closed, {}).tracks.empty());
  // Track 1 at LBA 32: sectors before it could hold a pregap, but nothing answers.
  const std::vector<uint8_t> toc = {0, 18, 1, 1, 0, 0x10, 1, 0, 0, 0, 0, 0x20, 0, 0x10, 0xAA, 0, 0, 0, 0x40, 0};
  ASSERT_TRUE(IsSoundToc(toc));
  const DiscExtras extras = ReadDiscExtras(closed, toc);
  EXPECT_FALSE(extras.mcn_found || extras.isrc_found || extras.cd_text_found);
  ASSERT_EQ(extras.tracks.size(), 1u);
  EXPECT_FALSE(extras.tracks[0].pregap_known);
  EXPECT_EQ(extras.search_sectors + extras.scan_sectors, 0);
}

TEST(FaultPlanSubcode, LinesParse) {
  const struct {
    const char* text;
    bool ok;
  } cases[] = {{"nocdtext", true},  {"weaksubchannel", true}, {"noqsubchannel", true}, {"badq 5", true},
               {"badq 0", false},   {"badq", false},          {"nocdtext 1", false},   {"badq x", false}};
  for (const auto& c : cases) {
    FaultPlan plan;
    std::string error;
    EXPECT_EQ(FaultPlan::Parse(c.text, &plan, &error), c.ok) << c.text << ": " << error;
  }
  FaultPlan plan;
  std::string error;
  ASSERT_TRUE(FaultPlan::Parse("nocdtext\nweaksubchannel\nnoqsubchannel\nbadq 9\n", &plan, &error)) << error;
  EXPECT_TRUE(plan.no_cd_text && plan.weak_subchannel && plan.no_q_subchannel);
  EXPECT_EQ(plan.bad_q, 9);
}

}  // namespace
}  // namespace tonvik::cdrom
