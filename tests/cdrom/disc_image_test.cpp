// The test-image maker: deterministic bytes, the signals it promises, and
// layouts the CUE reader takes back as written.
#include "disc_image.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>
#include <sys/wait.h>

#include "cdrom/cue_image.h"
#include "image_fixture.h"

namespace tonvik::cdrom {
namespace {

using testing::ImageFolder;
using discimage::ImageTrack;

std::vector<int16_t> Samples(const std::vector<uint8_t>& bytes, size_t first_sector, size_t sectors) {
  std::vector<int16_t> s(sectors * 1176);
  std::memcpy(s.data(), bytes.data() + first_sector * 2352, s.size() * 2);
  return s;
}

TEST(DiscImage, MusicIsNeitherSilenceNorASine) {
  ImageFolder folder;
  const std::string cue = folder.Make("m", {{ImageTrack::Audio, 150, ImageTrack::Music}});
  const auto bin = ImageFolder::ReadFile(std::filesystem::path(cue).replace_extension(".bin"));
  const auto s = Samples(bin, 0, 150);
  int peak = 0, left_right_differ = 0, sign_changes = 0;
  std::set<int16_t> values;
  for (size_t i = 0; i + 1 < s.size(); i += 2) {
    peak = std::max(peak, std::abs(int(s[i])));
    if (s[i] != s[i + 1]) ++left_right_differ;
    if (i >= 2 && (s[i] < 0) != (s[i - 2] < 0)) ++sign_changes;
    values.insert(s[i]);
  }
  EXPECT_GT(peak, 8000);
  EXPECT_LT(peak, 32767);  // no clipping
  EXPECT_GT(left_right_differ, int(s.size() / 2 * 9 / 10));
  EXPECT_GT(values.size(), 5000u);
  // A pure sine's level is constant; the note envelope makes the level of
  // the first and the last 0.1 s of a note differ widely.
  auto rms = [&](size_t from, size_t frames) {
    double sum = 0;
    for (size_t i = from; i < from + frames; ++i) sum += double(s[i * 2]) * s[i * 2];
    return std::sqrt(sum / frames);
  };
  EXPECT_GT(rms(441, 4410), 3 * rms(22050 - 4410, 4410));
}

TEST(DiscImage, SameArgumentsSameBytes) {
  ImageFolder folder;
  std::vector<ImageTrack> tracks;
  ASSERT_TRUE(discimage::Preset("mixed", &tracks));
  const auto a = folder.Make("a", tracks), b = folder.Make("b", tracks);
  EXPECT_EQ(ImageFolder::ReadFile(std::filesystem::path(a).replace_extension(".bin")),
            ImageFolder::ReadFile(std::filesystem::path(b).replace_extension(".bin")));
}

TEST(DiscImage, FullScaleSilenceAndDataSectors) {
  ImageFolder folder;
  const std::string cue = folder.Make("f", {{ImageTrack::Audio, 2, ImageTrack::FullScale},
                                            {ImageTrack::Audio, 2, ImageTrack::Silence},
                                            {ImageTrack::Mode1, 2, ImageTrack::Silence}});
  const auto bin = ImageFolder::ReadFile(std::filesystem::path(cue).replace_extension(".bin"));
  const auto full = Samples(bin, 0, 2);
  EXPECT_EQ(*std::max_element(full.begin(), full.end()), 32767);
  EXPECT_EQ(*std::min_element(full.begin(), full.end()), -32768);
  for (int16_t v : full) EXPECT_TRUE(v == 32767 || v == -32768);
  const auto silence = Samples(bin, 2, 2);
  EXPECT_EQ(std::count(silence.begin(), silence.end(), 0), long(silence.size()));
  const uint8_t* data = bin.data() + 4 * 2352;
  const uint8_t sync[12] = {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};
  EXPECT_EQ(std::memcmp(data, sync, 12), 0);
  EXPECT_EQ(data[12], 0x00);  // MSF of LBA 4: 00:02:04 in BCD
  EXPECT_EQ(data[13], 0x02);
  EXPECT_EQ(data[14], 0x04);
  EXPECT_EQ(data[15], 1);  // mode 1
}

struct LayoutCase {
  const char* preset;
  bool per_track;
  size_t tracks;
  int sessions;
  int32_t lead_out;
};

class Layouts : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(Layouts, ReadBackAsWritten) {
  const LayoutCase& c = GetParam();
  ImageFolder folder;
  std::vector<ImageTrack> tracks;
  ASSERT_TRUE(discimage::Preset(c.preset, &tracks));
  const std::string cue = folder.Make(c.preset, tracks, "", u'D', c.per_track);
  std::string error;
  auto image = CueImage::Load(cue, &error);
  ASSERT_TRUE(image) << error;
  ASSERT_EQ(image->tracks().size(), c.tracks);
  EXPECT_EQ(image->sessions(), c.sessions);
  EXPECT_EQ(image->lead_out(), c.lead_out);
  for (size_t i = 0; i < tracks.size(); ++i)
    EXPECT_EQ(image->tracks()[i].control(), tracks[i].kind == ImageTrack::Audio ? 0 : 4) << i;
  // The sectors the reader serves are the ones the maker generated.
  for (size_t i = 0; i < tracks.size(); ++i) {
    const int32_t start = image->tracks()[i].start_lba;
    const int32_t last = start + tracks[i].sectors - 1;
    for (int32_t lba : {start, last}) {
      uint8_t got[2352], want[2352];
      ASSERT_TRUE(image->ReadSector(lba, got));
      discimage::FillSector(tracks[i], int(i), lba - start, lba, want);
      EXPECT_EQ(std::memcmp(got, want, 2352), 0) << "track " << i + 1 << " LBA " << lba;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Presets, Layouts,
    ::testing::Values(LayoutCase{"tiny", false, 3, 1, 226}, LayoutCase{"tiny", true, 3, 1, 226},
                      LayoutCase{"mixed", false, 4, 1, 45 * 75},
                      LayoutCase{"enhanced", false, 4, 2, 55 * 75 + 11400},
                      LayoutCase{"enhanced", true, 4, 2, 55 * 75 + 11400},
                      LayoutCase{"t99", false, 99, 1, 99 * 150}),
    [](const auto& info) { return std::string(info.param.preset) + (info.param.per_track ? "_per_track" : ""); });

TEST(DiscImage, ProgramWritesPresetsAndCustomDiscs) {
  ImageFolder folder;
  std::filesystem::create_directories(folder.dir());
  const std::string tool = std::string(TONVIK_BINARY_DIR) + "/tools/discimage/make_disc_image";
  struct Run { std::string args; int status; int32_t lead_out; } runs[] = {
      {"demo " + (folder.dir() / "demo.cue").string(), 0, (25 + 32 + 20 + 40 + 28) * 75},
      {"custom " + (folder.dir() / "c.cue").string() + " 1 0.5 2", 0, 75 + 37 + 150},
      {"custom " + (folder.dir() / "bad.cue").string() + " x", 2, -1},
      {"nosuch " + (folder.dir() / "n.cue").string(), 2, -1},
  };
  for (const Run& r : runs) {
    const std::string command = tool + " " + r.args + " 2>/dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << r.args;
    EXPECT_EQ(WEXITSTATUS(status), r.status) << r.args;
    if (r.lead_out < 0) continue;
    std::string error;
    auto image = CueImage::Load(r.args.substr(r.args.find(' ') + 1, r.args.find(".cue") + 3 - r.args.find(' ')), &error);
    ASSERT_TRUE(image) << error;
    EXPECT_EQ(image->lead_out(), r.lead_out);
  }
}

}  // namespace
}  // namespace tonvik::cdrom
