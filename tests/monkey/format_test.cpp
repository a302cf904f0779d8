// The file layout checked from the outside: special frames, seek table,
// MD5, what Start refuses, and errors of the file interface.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "monkey/nn_filter.h"
#include "monkey_test_env.h"

namespace tonvik::monkey::test {
namespace {

uint32_t Crc(const uint8_t* data, size_t bytes) {
  return static_cast<uint32_t>(crc32(0, data, static_cast<uInt>(bytes)));
}

void ExpectFfmpegDecodes(const std::string& path, const Bytes& pcm) {
  int status = -1;
  EXPECT_TRUE(FfmpegDecode(path, 16, &status) == std::string(pcm.begin(), pcm.end()));
  EXPECT_EQ(status, 0);
}

// A silent frame is its CRC word with the flags bit, the flags word and the
// 5-byte empty range-coder stream; in the file each word is byte-reversed
// and the stream ends with zero padding.
TEST(Format, SilentFrameBytes) {
  TempDir dir;
  for (const auto& [channels, flags] : {std::pair{2, 7}, {1, 1}}) {
    SCOPED_TRACE(channels);
    const Bytes pcm(1000 * 2 * channels, 0);
    ASSERT_EQ(EncodeFile(dir.Path("s.ape"), pcm, 2000, channels, 16), 0);
    const Bytes file = ReadFile(dir.Path("s.ape"));
    const size_t first = 52 + 24 + 4;
    ASSERT_EQ(file.size(), first + 16);
    EXPECT_EQ(Le32(file, first), Crc(pcm.data(), pcm.size()) >> 1 | 0x80000000u);
    EXPECT_EQ(Bytes(file.begin() + first + 4, file.end()),
              (Bytes{static_cast<uint8_t>(flags), 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0}));
    ExpectFfmpegDecodes(dir.Path("s.ape"), pcm);
  }
}

// Seek entries point at each frame's CRC word; spare slots stay zero; the
// MD5 (checked with md5sum) covers the stored WAV header, the frame data,
// the terminating data, the header and the whole seek table.
TEST(Format, SeekTableAndMd5OfMultiFrameFiles) {
  constexpr size_t kFrame = 73728 * 4;
  const Bytes pcm = MakeSignal(Signal::kMusic, 73728 * 3 + 500, 2);
  const EncodeOptions cases[] = {
      {}, {.max_bytes = 6 * kFrame, .header = Bytes(46, 0x33), .terminating = Bytes(6, 0x44)}};
  TempDir dir;
  const std::string path = dir.Path("m.ape");
  for (const EncodeOptions& c : cases) {
    SCOPED_TRACE(c.header.size());
    ASSERT_EQ(EncodeFile(path, pcm, 1000, 2, 16, c), 0);
    const Bytes file = ReadFile(path);
    const uint32_t slots = c.max_bytes < 0 ? 4 : 6;
    ASSERT_EQ(Le32(file, 16), 4 * slots);
    ASSERT_EQ(Le32(file, 20), c.header.size());
    const size_t first = 52 + 24 + 4 * slots + c.header.size();
    const uint32_t frame_bytes = Le32(file, 24);
    ASSERT_EQ(file.size(), first + frame_bytes + c.terminating.size());
    EXPECT_EQ(Le32(file, 32), c.terminating.size());

    Bytes stream(file.begin() + first, file.begin() + first + frame_bytes);
    for (size_t i = 0; i < stream.size(); i += 4) std::reverse(&stream[i], &stream[i + 4]);
    for (uint32_t f = 0; f < slots; ++f) {
      const uint32_t entry = Le32(file, 76 + 4 * f);
      if (f >= 4) {
        EXPECT_EQ(entry, 0u) << f;
        continue;
      }
      const size_t at = entry - first;
      ASSERT_LT(at + 4, stream.size());
      const uint32_t word = static_cast<uint32_t>(stream[at] << 24 | stream[at + 1] << 16 | stream[at + 2] << 8 | stream[at + 3]);
      EXPECT_EQ(word & 0x7FFFFFFFu, Crc(&pcm[f * kFrame], f < 3 ? kFrame : 500 * 4) >> 1) << f;
    }

    Bytes covered(c.header);
    covered.insert(covered.end(), file.begin() + first, file.begin() + first + frame_bytes);
    covered.insert(covered.end(), c.terminating.begin(), c.terminating.end());
    covered.insert(covered.end(), file.begin() + 52, file.begin() + 76 + 4 * slots);
    WriteFile(dir.Path("covered"), covered);
    char hex[33];
    for (int i = 0; i < 16; ++i) std::snprintf(hex + 2 * i, 3, "%02x", file[36 + i]);
    EXPECT_EQ(Shell("md5sum < " + dir.Path("covered")).substr(0, 32), hex);
    ExpectFfmpegDecodes(path, pcm);
  }
}

TEST(Format, RefusalsWriteNothing) {
  struct Case {
    uint16_t tag, bits, channels, align;
    int level;
    int64_t header_bytes;  // with no header data
  } cases[] = {{1, 24, 2, 6, 2000, -1}, {1, 16, 3, 6, 2000, -1}, {3, 16, 2, 4, 2000, -1},
               {1, 16, 2, 2, 2000, -1}, {1, 16, 2, 4, 5000, -1}, {1, 16, 2, 4, 2500, -1},
               {1, 16, 2, 4, 2000, 44}};
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.bits << " " << c.channels << " " << c.level);
    WaveFormat format = MakeWaveFormat(44100, c.bits, c.channels);
    format.format_tag = c.tag;
    format.block_align = c.align;
    FileIO io;
    CAPECompress encoder;
    ASSERT_EQ(io.Create(dir.Path("r.ape").c_str()), 0);
    EXPECT_NE(encoder.Start(&io, &format, -1, c.level, nullptr, c.header_bytes), 0);
    EXPECT_EQ(io.GetSize(), 0);
  }
  // No audio: the format has no file for it.
  EXPECT_EQ(EncodeFile(dir.Path("empty.ape"), {}, 2000, 2, 16), ERROR_NO_AUDIO);
  // Beyond the announced length AddData refuses the whole chunk; the file
  // still completes with what came before.
  const Bytes pcm = MakeSignal(Signal::kMusic, 300, 2);
  const WaveFormat format = MakeWaveFormat(44100, 16, 2);
  FileIO io;
  CAPECompress encoder;
  ASSERT_EQ(io.Create(dir.Path("max.ape").c_str()), 0);
  ASSERT_EQ(encoder.Start(&io, &format, 1000, 2000), 0);
  EXPECT_EQ(encoder.AddData(pcm.data(), 1200), ERROR_APE_COMPRESS_TOO_MUCH_DATA);
  ASSERT_EQ(encoder.AddData(pcm.data(), 800), 0);
  ASSERT_EQ(encoder.Finish(nullptr, 0, 0), 0);
  ExpectFfmpegDecodes(dir.Path("max.ape"), Bytes(pcm.begin(), pcm.begin() + 800));
}

// A file interface that fails on demand.
class FaultyIO : public FileIO {
 public:
  enum Fault { kNone, kWriteError, kShortWrite, kReadError, kTruncateError } fault = kNone;
  int Write(const void* data, unsigned bytes, unsigned* written) override {
    if (fault == kWriteError) return ERROR_IO_WRITE;
    return FileIO::Write(data, fault == kShortWrite && bytes > 1 ? bytes - 1 : bytes, written);
  }
  int Read(void* data, unsigned bytes, unsigned* read) override {
    return fault == kReadError ? ERROR_IO_READ : FileIO::Read(data, bytes, read);
  }
  int SetEOF() override { return fault == kTruncateError ? ERROR_IO_WRITE : FileIO::SetEOF(); }
};

// A failure surfaces from the call that met it and from every call after.
TEST(Format, FileErrorsSurface) {
  const std::pair<FaultyIO::Fault, int> cases[] = {  // fault, from step (0 Start, 2 AddData, 3 Finish)
      {FaultyIO::kWriteError, 0}, {FaultyIO::kShortWrite, 0}, {FaultyIO::kWriteError, 2},
      {FaultyIO::kShortWrite, 2}, {FaultyIO::kWriteError, 3}, {FaultyIO::kShortWrite, 3},
      {FaultyIO::kReadError, 3},  {FaultyIO::kTruncateError, 3}};
  TempDir dir;
  const Bytes pcm = MakeSignal(Signal::kMusic, 73728 * 2, 2);
  const int frame = static_cast<int>(pcm.size() / 2);
  const WaveFormat format = MakeWaveFormat(44100, 16, 2);
  for (const auto& [fault, from] : cases) {
    SCOPED_TRACE(::testing::Message() << fault << " from step " << from);
    FaultyIO io;
    CAPECompress encoder;
    ASSERT_EQ(io.Create(dir.Path("f.ape").c_str()), 0);
    const std::function<int()> steps[] = {[&] { return encoder.Start(&io, &format, -1, 1000); },
                                          [&] { return encoder.AddData(pcm.data(), frame); },
                                          [&] { return encoder.AddData(pcm.data() + frame, frame); },
                                          [&] { return encoder.Finish(nullptr, 0, 0); }};
    for (int i = 0; i < 4; ++i) {
      if (i == from) io.fault = fault;
      EXPECT_EQ(steps[i]() != 0, i >= from) << i;
    }
  }
}

// The vector kernels of the NN filters against the plain loops, extremes
// included; on x86-64 nothing else runs the plain ones.
TEST(Format, FilterKernelsMatchPlainLoops) {
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> any(-32768, 32767);
  alignas(16) int16_t weights[256], plain[256];
  int16_t input[257], step[257];  // used from index 1: unaligned, as the filters pass them
  for (int order : {16, 32, 64, 256}) {
    for (int round = 0; round < 50; ++round) {
      for (int i = 0; i < order; ++i) {
        weights[i] = static_cast<int16_t>(round ? any(rng) : -32768);
        input[i + 1] = static_cast<int16_t>(round ? any(rng) : -32768);
        step[i + 1] = static_cast<int16_t>(any(rng));
      }
      ASSERT_EQ(DotProduct16(weights, input + 1, order), DotProduct16Plain(weights, input + 1, order));
      for (int direction : {-5, 0, 3}) {
        std::copy(weights, weights + order, plain);
        Adapt16(weights, step + 1, order, direction);
        Adapt16Plain(plain, step + 1, order, direction);
        ASSERT_TRUE(std::equal(weights, weights + order, plain)) << order << " " << direction;
      }
    }
  }
}

}  // namespace
}  // namespace tonvik::monkey::test
