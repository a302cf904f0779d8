// Images one byte or one frame away from valid ones (the shared hostile
// fixtures beside the repository): each is either read as the audio it holds
// or fails its reads, never passed on as other audio without an error.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cdrom/cd_drive.h"
#include "cdrom/image_transport.h"

namespace tonvik::cdrom {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
constexpr SenseCode kReadError = 0x31100;  // L-EC uncorrectable error, as the image drive reports damage

fs::path HostileDir() { return fs::path(TONVIK_SOURCE_DIR) / "../shared/fixtures/hostile"; }

int32_t LeadOut(CdDrive& drive) {
  uint8_t toc[804] = {};
  EXPECT_EQ(drive.ReadToc(1, toc, sizeof toc), 0);
  for (size_t at = 4; at + 8 <= size_t(toc[0] << 8 | toc[1]) + 2; at += 8)
    if (toc[at + 2] == 0xAA) return toc[at + 4] << 24 | toc[at + 5] << 16 | toc[at + 6] << 8 | toc[at + 7];
  return -1;
}

// Every fixture is a one-track sheet over one file. The tests skip when the
// fixtures are not there.
template <typename Case>
class HostileImage : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    if (!fs::is_directory(HostileDir())) GTEST_SKIP() << "no shared hostile fixtures beside the repository";
  }

  // The fixture's sheet in a drive of its own (replacing the one before),
  // and the disc's lead-out as its TOC gives it.
  void Load(const std::string& cue) {
    std::string error;
    auto transport = ImageTransport::Open((HostileDir() / cue).string(), &error);
    ASSERT_TRUE(transport) << cue << ": " << error;
    drive_ = std::make_unique<CdDrive>(std::move(transport));
    lead_out_ = LeadOut(*drive_);
  }

  std::unique_ptr<CdDrive> drive_;
  int32_t lead_out_ = -1;
};

Bytes FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// WAVE_FORMAT_EXTENSIBLE PCM files whose data chunk is shorter than a
// sector: the disc is one sector, the file's PCM and silence after it.
struct WavCase {
  const char* name;
  const char* cue;
  size_t data_bytes;
};

using HostileWav = HostileImage<WavCase>;

TEST_P(HostileWav, IsReadAsThePcmItHolds) {
  const WavCase& c = GetParam();
  ASSERT_NO_FATAL_FAILURE(Load(c.cue));
  EXPECT_EQ(lead_out_, 1);
  const Bytes file = FileBytes(HostileDir() / (std::string(c.cue, std::strlen(c.cue) - 4) + ".wav"));
  ASSERT_GE(file.size(), c.data_bytes);
  Bytes expected(2352, 0);
  std::copy(file.end() - std::ptrdiff_t(c.data_bytes), file.end(), expected.begin());
  Bytes got(2352, 0xEE);
  ASSERT_EQ(drive_->ReadCd(0, 1, got.data()), 0);
  EXPECT_TRUE(got == expected);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, HostileWav,
                         ::testing::Values(WavCase{"extensible", "wav-extensible-ok.cue", 32},
                                           WavCase{"extensible_shorter_data_than_its_format", "wav-extensible-short-data.cue", 24}),
                         [](const auto& info) { return std::string(info.param.name); });

// FLAC files whose STREAMINFO MD5 is wrong, one of them also with frames
// that run past the length STREAMINFO states: read whole in order, the read
// that decodes the last frame fails and so does every read after it, of any
// sector. Both are short enough that reading their last sector alone decodes
// them from the start too.
struct Md5Case {
  const char* name;
  const char* cue;
};

using HostileFlacMd5 = HostileImage<Md5Case>;

TEST_P(HostileFlacMd5, FailsTheReadThatCompletesTheFileAndEveryLaterOne) {
  const Md5Case& c = GetParam();
  ASSERT_NO_FATAL_FAILURE(Load(c.cue));
  const int32_t lead_out = lead_out_;
  ASSERT_GT(lead_out, 10);
  uint8_t sector[2352];
  int32_t lba = 0;
  while (lba < lead_out && drive_->ReadCd(lba, 1, sector) == 0) ++lba;
  ASSERT_LT(lba, lead_out) << "every sector read";
  EXPECT_GT(lba, lead_out - 8) << "the first failure is not near the end";
  for (; lba < lead_out; ++lba) EXPECT_EQ(drive_->ReadCd(lba, 1, sector), kReadError) << "LBA " << lba;
  EXPECT_EQ(drive_->ReadCd(0, 1, sector), kReadError) << "the file stays unreadable";

  // A fresh drive, whose first read is the last sector.
  ASSERT_NO_FATAL_FAILURE(Load(c.cue));
  EXPECT_EQ(drive_->ReadCd(lead_out - 1, 1, sector), kReadError);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, HostileFlacMd5,
                         ::testing::Values(Md5Case{"wrong_md5", "flac-wrong-md5.cue"},
                                           Md5Case{"wrong_md5_frames_past_stated_length",
                                                   "flac-wrong-md5-total-short.cue"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A FLAC file with a frame numbered before the one decoded just before it:
// whatever order the sectors are read in, and however often, a sector that
// reads at all reads the same bytes every time, and the frame out of order
// fails the reads that touch it.
struct OrderCase {
  const char* name;
  bool backwards_first;
};

using HostileFlacOrder = HostileImage<OrderCase>;

TEST_P(HostileFlacOrder, ASectorNeverReadsTwoWays) {
  ASSERT_NO_FATAL_FAILURE(Load("cueaudio-flac-backward-frames.cue"));
  const int32_t lead_out = lead_out_;
  ASSERT_GT(lead_out, 20);
  std::map<int32_t, Bytes> first_read;  // the sectors that read, as they first read
  int failures = 0;
  for (int pass = 0; pass < 2; ++pass) {
    const bool backwards = (pass == 0) == GetParam().backwards_first;
    for (int32_t i = 0; i < lead_out; ++i) {
      const int32_t lba = backwards ? lead_out - 1 - i : i;
      Bytes sector(2352);
      const SenseCode sense = drive_->ReadCd(lba, 1, sector.data());
      if (sense != 0) {
        EXPECT_EQ(sense, kReadError) << "LBA " << lba;
        ++failures;
        continue;
      }
      auto [it, first] = first_read.emplace(lba, sector);
      if (!first) {
        EXPECT_TRUE(it->second == sector) << "LBA " << lba << " read two ways, pass " << pass;
      }
    }
  }
  EXPECT_GT(failures, 0) << "the frame out of order went unnoticed";
}

INSTANTIATE_TEST_SUITE_P(Orders, HostileFlacOrder,
                         ::testing::Values(OrderCase{"in_order_then_backwards", false},
                                           OrderCase{"backwards_then_in_order", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tonvik::cdrom
