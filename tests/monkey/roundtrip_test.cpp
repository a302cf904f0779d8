// Files from the encoder decoded by ffmpeg (strict: CRC checked, errors
// fatal) and compared with the input, per level and channel count.
#include <gtest/gtest.h>

#include "monkey_test_env.h"

namespace tonvik::monkey::test {
namespace {

struct Case {
  const char* name;
  Signal signal;
  int frames;     // length = frames * blocks-per-frame + extra
  int extra;
  int bits;
};

// The cases that reach frame boundaries run at every level with that
// level's frame length.
constexpr Case kCases[] = {
    {"music", Signal::kMusic, 0, 30000, 16},
    {"silence then tail", Signal::kSilence, 1, 1000, 16},
    {"channels equal", Signal::kSame, 0, 20000, 16},
    {"first channel silent", Signal::kFirstSilent, 0, 20000, 16},
    {"second channel silent", Signal::kSecondSilent, 0, 20000, 16},
    {"anti-phase", Signal::kAntiPhase, 0, 20000, 16},
    {"full-scale noise", Signal::kNoise, 0, 20000, 16},
    {"full-scale square", Signal::kSquare, 0, 20000, 16},
    {"dither and runs", Signal::kDither, 0, 60000, 16},
    {"one block", Signal::kMusic, 0, 1, 16},
    {"one-block last frame", Signal::kMusic, 1, 1, 16},
    {"last frame one short", Signal::kMusic, 2, -1, 16},
    {"exactly one frame", Signal::kMusic, 1, 0, 16},
    {"8-bit music", Signal::kMusic, 0, 30000, 8},
    {"8-bit noise", Signal::kNoise, 0, 20000, 8},
    {"8-bit silence", Signal::kSilence, 0, 5000, 8},
    {"8-bit last frame", Signal::kSquare, 1, 7, 8},
};

// Chunk sizes the data arrives in: the ripper's, odd ones that split
// blocks, and everything at once.
constexpr size_t kChunks[] = {61152, 7, 4093, 1 << 30, 65537};

class RoundTrip : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(RoundTrip, FfmpegDecodesEveryCaseBitExact) {
  const auto [level, channels] = GetParam();
  TempDir dir;
  for (size_t i = 0; i < std::size(kCases); ++i) {
    const Case& c = kCases[i];
    SCOPED_TRACE(c.name);
    const size_t blocks = c.frames * FrameBlocks(level) + c.extra;
    const Bytes pcm = MakeSignal(c.signal, blocks, channels, c.bits, static_cast<uint32_t>(i));
    const std::string path = dir.Path("t.ape");
    ASSERT_EQ(EncodeFile(path, pcm, level, channels, c.bits, {.chunk = kChunks[i % std::size(kChunks)]}), 0);
    int status = -1;
    const std::string decoded = FfmpegDecode(path, c.bits, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(decoded.size(), pcm.size());
    EXPECT_TRUE(decoded == std::string(pcm.begin(), pcm.end()));
    // The header's length, where frame counting can go wrong.
    if (c.frames > 0 || blocks == 1) {
      EXPECT_EQ(ProbeDurationTs(path), static_cast<long>(blocks));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, RoundTrip,
                         ::testing::Combine(::testing::Values(1000, 2000, 3000, 4000),
                                            ::testing::Values(1, 2)),
                         [](const auto& info) {
                           return "L" + std::to_string(std::get<0>(info.param)) +
                                  (std::get<1>(info.param) == 1 ? "Mono" : "Stereo");
                         });

// The harness can fail: a flipped CRC bit and a flipped payload bit both
// make the strict decode exit non-zero.
TEST(Corruption, FlippedCrcOrPayloadBitFailsTheDecode) {
  TempDir dir;
  const std::string path = dir.Path("t.ape");
  ASSERT_EQ(EncodeFile(path, MakeSignal(Signal::kMusic, 40000, 2), 2000, 2, 16), 0);
  const Bytes good = ReadFile(path);
  const size_t first = 52 + 24 + Le32(good, 16);
  int status = -1;
  FfmpegDecode(path, 16, &status);
  ASSERT_EQ(status, 0);
  // The CRC word is stored byte-reversed: its lowest byte comes first.
  for (size_t at : {first, first + (good.size() - first) / 2}) {
    SCOPED_TRACE(at);
    Bytes bad = good;
    bad[at] ^= 0x04;
    WriteFile(path, bad);
    FfmpegDecode(path, 16, &status);
    EXPECT_NE(status, 0);
  }
}

}  // namespace
}  // namespace tonvik::monkey::test
