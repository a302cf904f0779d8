#include "cdrom/cue_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "support/temp_hives.h"

namespace tonvik::cdrom {
namespace {

// BIN files whose sectors say where they come from: bytes 0-3 = file id,
// 4-7 = sector in the file, the rest a pattern of both.
void WriteBin(const std::filesystem::path& path, int file_id, int sectors) {
  std::ofstream out(path, std::ios::binary);
  std::vector<uint8_t> s(kSectorBytes);
  for (int n = 0; n < sectors; ++n) {
    for (int i = 0; i < kSectorBytes; ++i) s[i] = uint8_t(i * 13 + n * 7 + file_id);
    std::memcpy(&s[0], &file_id, 4);
    std::memcpy(&s[4], &n, 4);
    out.write(reinterpret_cast<const char*>(s.data()), kSectorBytes);
  }
}

struct Where {
  int32_t lba;
  int file_id;  // -1: a sector no file holds (zeros)
  int file_sector;
};
struct LayoutCase {
  const char* name;
  std::vector<std::pair<const char*, int>> bins;  // name, sectors; file id = position + 1
  const char* sheet;
  std::vector<int32_t> starts;
  std::vector<int32_t> index0;
  std::vector<int> sessions;
  std::vector<int> controls;
  int32_t lead_out;
  std::vector<Where> samples;
};

class CueLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(CueLayout, TracksLeadOutAndSectors) {
  const LayoutCase& c = GetParam();
  tonvik::testing::TempHives temp;
  for (size_t i = 0; i < c.bins.size(); ++i) WriteBin(temp.root() / c.bins[i].first, int(i + 1), c.bins[i].second);
  const auto cue = temp.root() / "disc.cue";
  std::ofstream(cue) << c.sheet;
  std::string error;
  auto image = CueImage::Load(cue.string(), &error);
  ASSERT_TRUE(image) << error;
  std::vector<int32_t> starts, index0;
  std::vector<int> sessions, controls;
  for (const auto& t : image->tracks()) {
    starts.push_back(t.start_lba);
    index0.push_back(t.index0_lba);
    sessions.push_back(t.session);
    controls.push_back(t.control());
  }
  EXPECT_EQ(starts, c.starts);
  EXPECT_EQ(index0, c.index0);
  EXPECT_EQ(sessions, c.sessions);
  EXPECT_EQ(controls, c.controls);
  EXPECT_EQ(image->lead_out(), c.lead_out);
  std::vector<uint8_t> sector(kSectorBytes);
  for (const Where& w : c.samples) {
    ASSERT_TRUE(image->ReadSector(w.lba, sector.data())) << w.lba;
    int id = 0, n = 0;
    std::memcpy(&id, &sector[0], 4);
    std::memcpy(&n, &sector[4], 4);
    if (w.file_id < 0) {
      EXPECT_EQ(std::count(sector.begin(), sector.end(), 0), kSectorBytes) << "LBA " << w.lba;
    } else {
      EXPECT_EQ(id, w.file_id) << "LBA " << w.lba;
      EXPECT_EQ(n, w.file_sector) << "LBA " << w.lba;
      EXPECT_EQ(sector[100], uint8_t(100 * 13 + n * 7 + id));
    }
  }
  EXPECT_FALSE(image->ReadSector(c.lead_out, sector.data()));
  EXPECT_FALSE(image->ReadSector(-1, sector.data()));

  // A run of sectors read in one go holds what they hold one at a time,
  // wherever the run starts and ends among files and gaps.
  const size_t disc_bytes = size_t(c.lead_out) * kSectorBytes;
  std::vector<uint8_t> one_by_one(disc_bytes);
  for (int32_t lba = 0; lba < c.lead_out; ++lba)
    ASSERT_TRUE(image->ReadSector(lba, &one_by_one[size_t(lba) * kSectorBytes])) << lba;
  for (const int32_t run : {7, 26, 299, c.lead_out}) {
    std::vector<uint8_t> runs(disc_bytes, 0xAB);
    for (int32_t lba = 0; lba < c.lead_out; lba += run)
      ASSERT_TRUE(image->ReadSectors(lba, std::min(run, c.lead_out - lba), &runs[size_t(lba) * kSectorBytes]));
    EXPECT_TRUE(runs == one_by_one) << "runs of " << run;
  }
  EXPECT_FALSE(image->ReadSectors(c.lead_out - 1, 2, one_by_one.data()));
}

INSTANTIATE_TEST_SUITE_P(
    Sheets, CueLayout,
    ::testing::Values(
        LayoutCase{"index00", {{"a.bin", 1000}},
                   "FILE \"a.bin\" BINARY\r\n  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n"
                   "  TRACK 02 AUDIO\r\n    INDEX 00 00:04:00\r\n    INDEX 01 00:06:00\r\n",
                   {0, 450}, {-1, 300}, {1, 1}, {0, 0}, 1000,
                   {{0, 1, 0}, {300, 1, 300}, {450, 1, 450}, {999, 1, 999}}},
        // Audio before track 1's INDEX 01 (a hidden track): track 1 starts
        // after it, and sector 0 is the file's first.
        LayoutCase{"track1_index00_in_one_file", {{"a.bin", 3000}},
                   "FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 00 00:00:00\nINDEX 01 00:32:00\n"
                   "TRACK 02 AUDIO\nINDEX 01 00:36:00\n",
                   {2400, 2700}, {0, -1}, {1, 1}, {0, 0}, 3000,
                   {{0, 1, 0}, {2399, 1, 2399}, {2400, 1, 2400}, {2999, 1, 2999}}},
        LayoutCase{"track1_index00_in_the_file_before", {{"h.bin", 2400}, {"a.bin", 600}},
                   "FILE h.bin BINARY\n  TRACK 01 AUDIO\n    INDEX 00 00:00:00\nFILE a.bin BINARY\n"
                   "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 01 00:04:00\n",
                   {2400, 2700}, {0, -1}, {1, 1}, {0, 0}, 3000,
                   {{0, 1, 0}, {2399, 1, 2399}, {2400, 2, 0}, {2999, 2, 599}}},
        LayoutCase{"pregap_between_files", {{"a.bin", 300}, {"b b.bin", 200}},
                   "REM a comment\nTITLE \"x\"\nFILE \"a.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                   "FILE \"b b.bin\" BINARY\nTRACK 02 AUDIO\nPREGAP 00:02:00\nINDEX 01 00:00:00\n",
                   {0, 450}, {-1, -1}, {1, 1}, {0, 0}, 650,
                   {{299, 1, 299}, {300, -1, 0}, {449, -1, 0}, {450, 2, 0}, {649, 2, 199}}},
        LayoutCase{"pregap_inside_file", {{"a.bin", 1000}},
                   "FILE a.bin BINARY\nTRACK 01 MODE1/2352\nINDEX 01 00:00:00\nTRACK 02 AUDIO\n"
                   "PREGAP 00:01:00\nINDEX 01 00:04:00\n",
                   {0, 375}, {-1, -1}, {1, 1}, {4, 0}, 1075,
                   {{299, 1, 299}, {300, -1, 0}, {374, -1, 0}, {375, 1, 300}, {1074, 1, 999}}},
        LayoutCase{"second_session", {{"a.bin", 1000}},
                   "FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nREM SESSION 02\n"
                   "TRACK 02 MODE2/2352\nINDEX 01 00:08:00\n",
                   {0, 12000}, {-1, -1}, {1, 2}, {0, 4}, 12400,
                   {{599, 1, 599}, {600, -1, 0}, {11999, -1, 0}, {12000, 1, 600}, {12399, 1, 999}}},
        LayoutCase{"second_session_own_file", {{"a.bin", 100}, {"d.bin", 50}},
                   "FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nREM SESSION 02\nFILE d.bin BINARY\n"
                   "TRACK 02 MODE1/2352\nINDEX 01 00:00:00\n",
                   {0, 11500}, {-1, -1}, {1, 2}, {0, 4}, 11550,
                   {{99, 1, 99}, {100, -1, 0}, {11500, 2, 0}, {11549, 2, 49}}}),
    [](const auto& info) { return std::string(info.param.name); });

struct BadSheet {
  const char* sheet;
  const char* message;
};

class CueErrors : public ::testing::TestWithParam<BadSheet> {};

TEST_P(CueErrors, AreRefusedWithAReason) {
  tonvik::testing::TempHives temp;
  WriteBin(temp.root() / "a.bin", 1, 100);
  const auto cue = temp.root() / "bad.cue";
  std::ofstream(cue) << GetParam().sheet;
  std::string error;
  EXPECT_EQ(CueImage::Load(cue.string(), &error), nullptr);
  EXPECT_NE(error.find(GetParam().message), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, CueErrors,
    ::testing::Values(
        BadSheet{"TRACK 01 AUDIO\nINDEX 01 00:00:00\n", "line 1: TRACK before FILE"},
        BadSheet{"FILE missing.bin BINARY\n", "bad.cue line 1: \"missing.bin\" not found"},
        BadSheet{"FILE a.bin WAVE\n", "bad.cue line 1: \"a.bin\" is neither a WAV nor a FLAC file"},
        BadSheet{"FILE a.mp3 MP3\n", "line 1: files of type MP3 cannot be read (only BINARY, MOTOROLA and WAVE)"},
        BadSheet{"FILE a.bin BINARY\nTRACK 01 MODE1/2048\n", "line 2: unsupported track mode"},
        BadSheet{"FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:61:00\n", "line 3: INDEX needs"},
        BadSheet{"FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:75\n", "INDEX needs"},
        BadSheet{"FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 00 00:00:00\n", "track 1 has no INDEX 01"},
        BadSheet{"FILE a.bin BINARY\nTRACK 01 AUDIO\nTRACK 02 AUDIO\nINDEX 01 00:00:00\n", "track 1 has no INDEX 01"},
        BadSheet{"FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 03 AUDIO\n", "follow each other"},
        BadSheet{"FILE a.bin BINARY\nTRACK 00 AUDIO\n", "1 to 99"},
        BadSheet{"FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:02:00\n",
                 "line 3: INDEX 01 00:02:00 lies beyond the end of \"a.bin\" (00:01:25 long)"},
        BadSheet{"FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:50\nTRACK 02 AUDIO\nINDEX 01 00:00:10\n",
                 "must not go back"},
        BadSheet{"FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nPREGAP 00:02:00\n", "PREGAP must come"},
        BadSheet{"FILE a.bin BINARY\nTRACK 01 AUDIO\nPOSTGAP 00:02:00\n", "line 3: POSTGAP must come after"},
        BadSheet{"FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nREM SESSION 03\n", "REM SESSION"},
        BadSheet{"FILE \"a.bin BINARY\n", "unbalanced quotes"},
        BadSheet{"FILE a.bin BINARY\nFROB 1\n", "bad.cue: the sheet has no tracks"},
        BadSheet{"REM nothing here\n", "no tracks"},
        BadSheet{"FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:00:00\n",
                 "bad.cue line 5: track 2 starts where track 1 starts"},
        BadSheet{"FILE \".\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n", "line 1: \".\" is not a file"},
        BadSheet{"REM SESSION 02\nFILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n",
                 "line 1: REM SESSION 02 comes before any track of the first session"},
        BadSheet{"FILE a.bin BINARY\nTRACK 01 AUDIO\nPREGAP 9999:59:74\nINDEX 01 00:00:00\n",
                 "line 4: the disc would be longer than a CD can be (99:59:74)"}));

TEST(CueImage, MissingSheetNamesTheReason) {
  std::string error;
  EXPECT_EQ(CueImage::Load("/nonexistent/x.cue", &error), nullptr);
  EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
}

}  // namespace
}  // namespace tonvik::cdrom
