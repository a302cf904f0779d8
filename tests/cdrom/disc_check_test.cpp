// The start-up disc check over disc images with faults: every refusal, the
// track selection and the track extents.
#include "cdrom/disc_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/app_exception.h"
#include "image_fixture.h"
#include "platform/text.h"
#include "support/extras_sheet.h"

namespace tonvik::cdrom {
namespace {

using testing::ImageFolder;

// The files under `dir` this process has open: what the check opened of the
// image, whatever else the process (or a library) holds meanwhile.
std::vector<std::string> OpenUnder(const std::filesystem::path& dir) {
  const std::string prefix = std::filesystem::weakly_canonical(dir).string() + "/";
  std::vector<std::string> open;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
    const auto target = std::filesystem::read_symlink(entry.path(), ec);
    if (!ec && target.string().rfind(prefix, 0) == 0) open.push_back(target.string());
  }
  return open;
}

// The message CheckDisc raised, or "" when it passed (with what it found in
// *found when given).
std::string Check(const std::vector<std::u16string>& paths, DiscState* found = nullptr) {
  try {
    DiscState disc = CheckDisc(paths);
    if (found) *found = std::move(disc);
  } catch (const AppException& e) {
    return e.what();
  }
  return "";
}

struct RefusalCase {
  const char* name;
  const char* preset;  // nullptr: the letter names a missing image
  const char* faults;
  std::u16string path;
  std::string message;
};

class Refusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(Refusals, RaiseTheirMessageAndCloseTheDrive) {
  const RefusalCase& c = GetParam();
  ImageFolder folder;
  if (c.preset)
    folder.MakePreset(c.preset, c.faults);
  else
    folder.Map(u'D', (folder.dir() / "gone.cue").string());
  ASSERT_TRUE(OpenUnder(folder.dir()).empty());
  EXPECT_EQ(Check({c.path}), c.message);
  EXPECT_EQ(OpenUnder(folder.dir()), std::vector<std::string>{});  // image files closed again
}

INSTANTIATE_TEST_SUITE_P(
    FailureTable, Refusals,
    ::testing::Values(
        RefusalCase{"cannot_open", nullptr, "", u"D:\\", "Cannot access CD drive: No such file or directory."},
        RefusalCase{"inquiry_fails", "tiny", "sense 12 5 24 0", u"D:\\", "Cannot access CD drive: inquiry failed."},
        RefusalCase{"not_a_cd_device", "tiny", "inquirytype 0", u"D:\\", "Internal error #151. Drive is not a CD drive."},
        RefusalCase{"config_fails", "tiny", "sense 46 3 2 0", u"D:\\", "Internal error #152."},
        RefusalCase{"fallback_info_fails", "tiny", "noconfig\nsense 51 3 2 0", u"D:\\", "Internal error #153."},
        RefusalCase{"fallback_probe_fails", "tiny", "noconfig\nsense 43 5 24 0", u"D:\\", "Internal error #154."},
        RefusalCase{"fallback_probe_no_medium", "tiny", "noconfig\nsense 43 2 3a 2", u"D:\\", "Error. No disc in drive."},
        RefusalCase{"dvd_profile", "tiny", "profile 0x0010", u"D:\\", "Error. No disc in drive."},
        RefusalCase{"no_profile", "tiny", "nodisc", u"D:\\", "Error. No disc in drive."},
        RefusalCase{"info_fails", "tiny", "sense 51 3 2 0", u"D:\\", "Internal error #155."},
        RefusalCase{"blank", "tiny", "blank", u"D:\\", "Error. Disc is either blank or not readable."},
        RefusalCase{"toc_fails", "tiny", "sense 43 3 2 0", u"D:\\", "Error. Disc is not readable"},
        RefusalCase{"data_disc", "data", "", u"D:\\", "Cannot convert this disk. It's probably not an audio disk."},
        RefusalCase{"lead_out_only", "tiny", "leadoutonly", u"D:\\", "Cannot convert this disk. It's probably not an audio disk."},
        RefusalCase{"path_without_digits", "tiny", "", u"D:\\TrackAB.cda",
                    "Error. The path \"D:\\TrackAB.cda\" does not name a track of the disc."},
        RefusalCase{"short_path", "tiny", "", u"D:\\Trac", "Error. The path \"D:\\Trac\" does not name a track of the disc."},
        RefusalCase{"track_not_on_disc", "tiny", "", u"D:\\Track07.cda", "Error. Track 07 is not on this disc."},
        RefusalCase{"track_zero", "tiny", "", u"D:\\Track00.cda", "Error. Track 00 is not on this disc."},
        // Passing cases: the fallback without a probe failure, profiles CD-R and CD-RW.
        RefusalCase{"fallback_passes", "tiny", "noconfig", u"D:\\", ""},
        RefusalCase{"cd_r", "tiny", "profile 9", u"D:\\", ""},
        RefusalCase{"cd_rw", "tiny", "profile a", u"D:\\", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CheckDisc, EmptyInputIsRefused) {
  EXPECT_EQ(Check({}), "Error. The start-up input names no CD drive.");
}

struct SelectionCase {
  const char* name;
  const char* preset;
  std::vector<std::u16string> paths;
  std::vector<int32_t> selection;
};

class Selections : public ::testing::TestWithParam<SelectionCase> {};

TEST_P(Selections, FollowThePaths) {
  DiscState disc;
  const SelectionCase& c = GetParam();
  ImageFolder folder;
  folder.MakePreset(c.preset, "", u'E');
  ASSERT_EQ(Check(c.paths, &disc), "");
  EXPECT_EQ(disc.selection, c.selection);
  EXPECT_EQ(disc.drive_letter, u'E');
}

std::vector<int32_t> Range(int32_t first, int32_t last) {
  std::vector<int32_t> v;
  for (int32_t n = first; n <= last; ++n) v.push_back(n);
  return v;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, Selections,
    ::testing::Values(SelectionCase{"root_all_audio", "demo", {u"E:\\"}, {1, 2, 3, 4, 5}},
                      SelectionCase{"mixed_mode_skips_data", "mixed", {u"E:\\"}, {2, 3, 4}},
                      SelectionCase{"enhanced_skips_data", "enhanced", {u"E:\\"}, {1, 2, 3}},
                      SelectionCase{"ninety_nine", "t99", {u"E:\\"}, Range(1, 99)},
                      SelectionCase{"one_track", "demo", {u"E:\\Track05.cda"}, {5}},
                      SelectionCase{"two_in_path_order", "demo", {u"E:\\Track04.cda", u"E:\\Track02.cda"}, {4, 2}},
                      SelectionCase{"track_99", "t99", {u"E:\\Track99.cda"}, {99}},
                      SelectionCase{"one_sector_track", "tiny", {u"E:\\Track02.cda"}, {2}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CheckDisc, KeepsTheTocAsTheDriveReturnedIt) {
  DiscState disc;
  ImageFolder folder;
  folder.MakePreset("t99");
  ASSERT_EQ(Check({u"D:\\"}, &disc), "");
  const auto& toc = disc.toc;
  ASSERT_EQ(toc.size(), 4u + 100 * 8);
  EXPECT_EQ(toc[0] << 8 | toc[1], 2 + 100 * 8);
  EXPECT_EQ(toc[2], 1);
  EXPECT_EQ(toc[3], 99);
  EXPECT_EQ(toc[4 + 99 * 8 + 2], 0xAA);
  const auto map = BuildTrackMap(toc);
  ASSERT_EQ(map.size(), 99u);
  EXPECT_EQ(map.at(99).first_sector, 98 * 150);
  EXPECT_EQ(map.at(99).sector_count, 150);
}

// The disc check reads what the disc carries besides its audio right after
// the TOC; a drive that answers none of it still passes the check, with
// nothing found.
struct ExtrasCase {
  const char* name;
  bool sheet_extras;   // the demo disc with codes, pregaps and CD-Text; else as generated
  const char* faults;
  bool codes, pregaps, cd_text;  // what the check must find
};

class CheckDiscExtras : public ::testing::TestWithParam<ExtrasCase> {};

TEST_P(CheckDiscExtras, AreReadWithTheToc) {
  const ExtrasCase& c = GetParam();
  const tonvik::testing::SheetExtras sheet{
      "4006381333931", "Five Small Pieces", "The Tonvik Demo Band",
      {{"DEA1X0000001", "One", "", 0},
       {"DEA1X0000002", "Two", "Guest", 75},
       {"", "Three", "", 0},
       {"DEA1X0000004", "Four", "", 33},
       {"DEA1X0000005", "Five", "", 2}}};
  ImageFolder folder;
  const std::string cue = folder.MakePreset("demo", c.faults);
  if (c.sheet_extras) tonvik::testing::AddSheetExtras(cue, sheet);
  DiscState disc;
  ASSERT_EQ(Check({u"D:\\"}, &disc), "");
  EXPECT_EQ(disc.selection, (std::vector<int32_t>{1, 2, 3, 4, 5}));
  ASSERT_TRUE(disc.extras.has_value());
  const DiscExtras& x = *disc.extras;
  ASSERT_EQ(x.tracks.size(), 5u);
  const bool with = c.sheet_extras;
  EXPECT_EQ(x.mcn_found, with && c.codes);
  EXPECT_EQ(x.mcn, with && c.codes ? sheet.catalog : "");
  EXPECT_EQ(x.isrc_found, with && c.codes);
  EXPECT_EQ(x.cd_text_found, with && c.cd_text);
  EXPECT_EQ(x.cd_text.album_title, with && c.cd_text ? sheet.title : "");
  EXPECT_EQ(x.cd_text.album_performer, with && c.cd_text ? sheet.performer : "");
  const auto extents = BuildTrackMap(disc.toc);
  for (const TrackExtras& t : x.tracks) {
    SCOPED_TRACE("track " + std::to_string(t.number));
    const auto& want = sheet.tracks.at(size_t(t.number - 1));
    EXPECT_EQ(t.start_lba, extents.at(t.number).first_sector);  // the pregaps leave the TOC as it was
    EXPECT_EQ(t.isrc, with && c.codes ? want.isrc : "");
    EXPECT_EQ(t.pregap_known, c.pregaps || t.start_lba == 0);  // nothing lies before sector 0
    EXPECT_EQ(t.pregap_sectors, with && c.pregaps ? want.pregap : 0);
    const auto text = x.cd_text.tracks.find(t.number);
    EXPECT_EQ(text != x.cd_text.tracks.end() ? text->second.title : "", with && c.cd_text ? want.title : "");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Drives, CheckDiscExtras,
    ::testing::Values(
        ExtrasCase{"plain_disc", false, "", true, true, true},
        ExtrasCase{"disc_with_extras", true, "", true, true, true},
        // READ SUB-CHANNEL answering zeros: the codes come from the Q sub-channel.
        ExtrasCase{"weak_subchannel", true, "weaksubchannel\n", true, true, true},
        ExtrasCase{"no_cd_text", true, "nocdtext\n", true, true, false},
        // A drive that refuses all of it: the check passes, nothing found.
        ExtrasCase{"refuses_everything", true, "sense 42 5 20 0\nnoqsubchannel\nnocdtext\n", false, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TrackMap, ExtentsRunToTheNextEntry) {
  DiscState disc;
  ImageFolder folder;
  folder.MakePreset("enhanced");
  ASSERT_EQ(Check({u"D:\\"}, &disc), "");
  const auto map = BuildTrackMap(disc.toc);
  ASSERT_EQ(map.size(), 4u);
  EXPECT_EQ(map.at(1).first_sector, 0);
  EXPECT_EQ(map.at(1).sector_count, 20 * 75);
  EXPECT_EQ(map.at(3).first_sector, 35 * 75);
  // The last audio track ends at the first session's lead-out, not at the
  // second-session data track after the gap between the sessions.
  EXPECT_EQ(map.at(3).sector_count, 10 * 75);
  EXPECT_EQ(map.at(4).first_sector, 45 * 75 + 6750 + 4500 + 150);
  EXPECT_EQ(map.at(4).sector_count, 10 * 75);

  // A TOC cut off before its lead-out: the walk ends at the buffer's end.
  std::vector<uint8_t> cut(disc.toc.begin(), disc.toc.begin() + 4 + 2 * 8 + 3);
  const auto partial = BuildTrackMap(cut);
  ASSERT_EQ(partial.size(), 2u);
  EXPECT_EQ(partial.at(1).sector_count, 20 * 75);
  EXPECT_EQ(partial.at(2).sector_count, 0);
  EXPECT_TRUE(BuildTrackMap({}).empty());
}

// A READ TOC format 0 response: tracks 1..n at the given LBAs, data tracks
// marked, then the lead-out.
std::vector<uint8_t> Toc(const std::vector<int32_t>& starts, const std::vector<bool>& data, int32_t lead_out) {
  std::vector<uint8_t> toc(4);
  auto entry = [&](uint8_t number, bool is_data, int32_t lba) {
    toc.insert(toc.end(), {0, uint8_t(0x10 | (is_data ? 4 : 0)), number, 0, uint8_t(lba >> 24), uint8_t(lba >> 16),
                           uint8_t(lba >> 8), uint8_t(lba)});
  };
  for (size_t i = 0; i < starts.size(); ++i) entry(uint8_t(i + 1), data[i], starts[i]);
  entry(0xAA, false, lead_out);
  const size_t length = toc.size() - 2;
  toc[0] = uint8_t(length >> 8), toc[1] = uint8_t(length);
  toc[2] = 1, toc[3] = uint8_t(starts.size());
  return toc;
}

TEST(TrackMap, LayoutsOfPressedDiscs) {
  struct Layout {
    const char* name;
    std::vector<int32_t> starts;  // LBA of every track
    std::vector<bool> data;
    int32_t lead_out;
    std::vector<int32_t> lengths;  // expected sectors of every track
  };
  std::vector<int32_t> starts99, lengths99;
  for (int i = 0; i < 99; ++i) starts99.push_back(i * 3000), lengths99.push_back(3000);
  std::vector<int32_t> starts10, lengths10;
  for (int i = 0; i < 10; ++i) starts10.push_back(i * 15000), lengths10.push_back(15000);
  // Ten audio tracks, then the data track 11400 sectors after the lead-out.
  starts10.push_back(150000 + kSessionGap);
  lengths10.push_back(20000);
  const Layout layouts[] = {
      {"audio only", {0, 20000, 45000}, {false, false, false}, 60000, {20000, 25000, 15000}},
      {"mixed mode", {0, 30000, 50000}, {true, false, false}, 62000, {30000, 20000, 12000}},
      {"enhanced, one audio track", {0, 40000 + kSessionGap}, {false, true}, 40000 + kSessionGap + 9000,
       {40000, 9000}},
      {"enhanced, ten audio tracks", starts10, std::vector<bool>(10, false), 150000 + kSessionGap + 20000,
       lengths10},
      {"99 audio tracks", starts99, std::vector<bool>(99, false), 99 * 3000, lengths99},
      // A pressed enhanced CD as its TOC is published: audio at absolute
      // sectors 150, 12767, ..., 247455, the first session's lead-out at
      // absolute 270335; its last audio track is 22880 sectors long.
      {"published enhanced CD",
       {0, 12617, 40337, 63075, 93260, 117965, 151715, 184190, 215110, 247305, 270185 + kSessionGap},
       {false, false, false, false, false, false, false, false, false, false, true},
       270185 + kSessionGap + 30000,
       {12617, 27720, 22738, 30185, 24705, 33750, 32475, 30920, 32195, 22880, 30000}},
  };
  for (const Layout& l : layouts) {
    SCOPED_TRACE(l.name);
    std::vector<bool> data = l.data;
    if (data.size() < l.starts.size()) data.push_back(true);
    const auto map = BuildTrackMap(Toc(l.starts, data, l.lead_out));
    ASSERT_EQ(map.size(), l.lengths.size());
    int64_t total = 0;
    for (size_t i = 0; i < l.lengths.size(); ++i) {
      EXPECT_EQ(map.at(int32_t(i + 1)).first_sector, l.starts[i]) << "track " << i + 1;
      EXPECT_EQ(map.at(int32_t(i + 1)).sector_count, l.lengths[i]) << "track " << i + 1;
      if (!data[i]) total += l.lengths[i];
    }
    // The audio the job rips never reaches into the gap between sessions.
    const bool enhanced = data.back() && !data.front();
    if (enhanced) {
      EXPECT_EQ(total, l.starts.back() - kSessionGap);
    }
  }
}

TEST(TrackMap, HostileNumbersNeitherOverflowNorWrap) {
  // Track 1 at LBA 1, the lead-out at 0x80000000: the extent would not fit.
  const std::vector<uint8_t> toc = {0x00, 0x12, 0x01, 0x01, 0x00, 0x10, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01,
                                    0x00, 0x10, 0xAA, 0x00, 0x80, 0x00, 0x00, 0x00};
  const auto map = BuildTrackMap(toc);
  ASSERT_EQ(map.size(), 1u);
  EXPECT_EQ(map.at(1).sector_count, 0);  // the lead-out reads as negative: no sectors
  EXPECT_FALSE(IsSoundToc(toc));
  // An enhanced layout with the data track at the very top of the range.
  const auto far = Toc({-0x7FFFFFFF, 0x7FFFFFFE}, {false, true}, 0x7FFFFFFF);
  EXPECT_GE(BuildTrackMap(far).at(1).sector_count, 0);
}

TEST(TrackMap, OnlyASoundTocIsTrusted) {
  DiscState disc;
  struct Case {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> change;
    bool sound;
  };
  auto set_start = [](std::vector<uint8_t>& t, size_t entry, int32_t lba) {
    for (int i = 0; i < 4; ++i) t[4 + entry * 8 + 4 + i] = uint8_t(uint32_t(lba) >> (24 - 8 * i));
  };
  const Case cases[] = {
      {"a pressed audio CD", [](auto&) {}, true},
      {"a data-only disc whose length claims two more descriptors",
       [](auto& t) {
         t.resize(t.size() + 16, 0);
         t[1] = uint8_t(t.size() - 2);
       },
       false},
      {"a length that does not match the answer", [](auto& t) { t[1] += 8; }, false},
      {"half a descriptor", [](auto& t) {
         t.resize(t.size() + 4, 0);
         t[1] += 4;
       }, false},
      {"track 0", [](auto& t) { t[4 + 2] = 0; }, false},
      {"track 100", [](auto& t) { t[4 + 16 + 2] = 100; }, false},
      {"a track twice", [](auto& t) { t[4 + 8 + 2] = 1; }, false},
      {"tracks descending", [](auto& t) { std::swap(t[4 + 2], t[4 + 8 + 2]); }, false},
      {"no lead-out", [](auto& t) { t[4 + 24 + 2] = 4; }, false},
      {"the lead-out before a track", [](auto& t) { std::swap(t[4 + 16 + 2], t[4 + 24 + 2]); }, false},
      {"a negative start", [&](auto& t) { set_start(t, 0, -150); }, false},
      {"two tracks at one address", [&](auto& t) { set_start(t, 1, 0); }, false},
      {"a lead-out past 100 minutes", [&](auto& t) { set_start(t, 3, 450000); }, false},
      {"a header that names other tracks", [](auto& t) { t[3] = 5; }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> toc = Toc({0, 20000, 45000}, {false, false, false}, 60000);
    c.change(toc);
    EXPECT_EQ(IsSoundToc(toc), c.sound);
  }
  // Every preset of the image maker passes, 99 tracks and two sessions included.
  for (const char* preset : {"demo", "mixed", "enhanced", "data", "tiny", "t99"}) {
    SCOPED_TRACE(preset);
    ImageFolder folder;
    folder.MakePreset(preset);
    const std::string error = Check({u"D:\\"}, &disc);
    if (std::string(preset) == "data") {
      EXPECT_EQ(error, "Cannot convert this disk. It's probably not an audio disk.");
    } else {
      EXPECT_EQ(error, "");
      EXPECT_TRUE(IsSoundToc(disc.toc));
    }
  }
}

}  // namespace
}  // namespace tonvik::cdrom
