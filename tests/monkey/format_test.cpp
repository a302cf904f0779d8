// The file layout checked from the outside: special frames, seek table,
// MD5, what Start refuses, and errors of the file interface.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "monkey/nn_filter.h"
#include "monkey_test_env.h"

namespace tonvik::monkey::test {
namespace {

// A silent frame is its CRC word with the flags bit, the flags word and the
// 5-byte empty range-coder stream; in the file each word is byte-reversed
// and the stream ends with one word of zero padding.
TEST(Format, SilentFrameBytes) {
  struct Case {
    int channels;
    uint8_t flags;
  } cases[] = {{2, 7}, {1, 1}};
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.channels);
    const Bytes pcm(1000 * 2 * c.channels, 0);
    ASSERT_EQ(EncodeFile(dir.Path("s.ape"), pcm, 2000, c.channels, 16), 0);
    const Bytes file = ReadFile(dir.Path("s.ape"));
    const size_t first = 52 + 24 + 4;
    ASSERT_EQ(Le32(file, 16), 4u);  // one seek table entry
    ASSERT_EQ(Le32(file, 24), 16u);  // frame data bytes
    ASSERT_EQ(file.size(), first + 16);
    const uint32_t crc = static_cast<uint32_t>(crc32(0, pcm.data(), static_cast<uInt>(pcm.size())));
    EXPECT_EQ(Le32(file, first), crc >> 1 | 0x80000000u);
    const Bytes rest(file.begin() + first + 4, file.end());
    EXPECT_EQ(rest, (Bytes{c.flags, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0}));
    int status = -1;
    EXPECT_TRUE(FfmpegDecode(dir.Path("s.ape"), 16, &status) == std::string(pcm.begin(), pcm.end()));
    EXPECT_EQ(status, 0);
  }
}

// Seek entries point at each frame's CRC word; spare slots stay zero; the
// MD5 (checked with md5sum) covers the stored WAV header, the frame data,
// the terminating data, the header and the whole seek table.
TEST(Format, SeekTableAndMd5OfMultiFrameFiles) {
  struct Case {
    const char* name;
    int64_t max_frames;  // -1: length unknown
    size_t header, terminating;
  } cases[] = {{"unknown length", -1, 0, 0},
               {"two spare slots, stored header, terminating data", 6, 46, 6}};
  constexpr size_t kFrame = 73728 * 4;
  TempDir dir;
  const Bytes pcm = MakeSignal(Signal::kMusic, 73728 * 3 + 500, 2);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.Path("m.ape");
    const Bytes header(c.header, 0x33), terminating(c.terminating, 0x44);
    {
      FileIO io;
      CAPECompress encoder;
      const WaveFormat format = MakeWaveFormat(44100, 16, 2);
      ASSERT_EQ(io.Create(path.c_str()), 0);
      ASSERT_EQ(encoder.Start(&io, &format, c.max_frames < 0 ? -1 : c.max_frames * kFrame, 1000,
                              header.data(), c.header ? static_cast<int64_t>(c.header) : -1),
                0);
      ASSERT_EQ(encoder.AddData(pcm.data(), static_cast<int>(pcm.size())), 0);
      const int t = static_cast<int>(c.terminating);
      ASSERT_EQ(encoder.Finish(terminating.data(), t, t), 0);
    }
    const Bytes file = ReadFile(path);
    const uint32_t slots = c.max_frames < 0 ? 4 : static_cast<uint32_t>(c.max_frames);
    ASSERT_EQ(Le32(file, 16), 4 * slots);
    ASSERT_EQ(Le32(file, 20), c.header);
    const size_t first = 52 + 24 + 4 * slots + c.header;
    const uint32_t frame_bytes = Le32(file, 24);
    EXPECT_EQ(frame_bytes % 4, 0u);
    ASSERT_EQ(file.size(), first + frame_bytes + c.terminating);
    EXPECT_EQ(Le32(file, 32), c.terminating);
    EXPECT_EQ(Le32(file, 52 + 8), 500u);  // final frame blocks
    EXPECT_EQ(Le32(file, 52 + 12), 4u);   // total frames
    EXPECT_EQ(Le32(file, 76), first);

    // The frame stream in reading order: each file word reversed.
    Bytes stream(file.begin() + first, file.begin() + first + frame_bytes);
    for (size_t i = 0; i < stream.size(); i += 4) std::reverse(stream.begin() + i, stream.begin() + i + 4);
    for (uint32_t f = 0; f < slots; ++f) {
      SCOPED_TRACE(f);
      const uint32_t entry = Le32(file, 76 + 4 * f);
      if (f >= 4) {
        EXPECT_EQ(entry, 0u);
        continue;
      }
      const size_t at = entry - first;
      ASSERT_LT(at + 4, stream.size());
      const uint32_t word = static_cast<uint32_t>(stream[at]) << 24 | stream[at + 1] << 16 | stream[at + 2] << 8 | stream[at + 3];
      const size_t bytes = f < 3 ? kFrame : 500 * 4;
      const auto crc = static_cast<uint32_t>(crc32(0, pcm.data() + f * kFrame, static_cast<uInt>(bytes)));
      EXPECT_EQ(word & 0x7FFFFFFFu, crc >> 1);
    }

    Bytes covered(header);
    covered.insert(covered.end(), file.begin() + first, file.begin() + first + frame_bytes);
    covered.insert(covered.end(), terminating.begin(), terminating.end());
    covered.insert(covered.end(), file.begin() + 52, file.begin() + 76 + 4 * slots);
    WriteFile(dir.Path("covered"), covered);
    char hex[33];
    for (int i = 0; i < 16; ++i) std::snprintf(hex + 2 * i, 3, "%02x", file[36 + i]);
    EXPECT_EQ(Shell("md5sum < " + dir.Path("covered")).substr(0, 32), hex);

    int status = -1;
    EXPECT_TRUE(FfmpegDecode(path, 16, &status) == std::string(pcm.begin(), pcm.end()));
    EXPECT_EQ(status, 0);
  }
}

TEST(Format, StartRefusesWhatItCannotEncodeAndWritesNothing) {
  struct Case {
    const char* name;
    WaveFormat format;
    int level;
    int64_t header_bytes;
  } cases[] = {
      {"24 bits", MakeWaveFormat(44100, 24, 2), 2000, -1},
      {"12 bits", MakeWaveFormat(44100, 12, 2), 2000, -1},
      {"3 channels", MakeWaveFormat(44100, 16, 3), 2000, -1},
      {"no channels", MakeWaveFormat(44100, 16, 0), 2000, -1},
      {"not PCM", [] { auto f = MakeWaveFormat(44100, 16, 2); f.format_tag = 3; return f; }(), 2000, -1},
      {"block align", [] { auto f = MakeWaveFormat(44100, 16, 2); f.block_align = 2; return f; }(), 2000, -1},
      {"level 5000", MakeWaveFormat(44100, 16, 2), 5000, -1},
      {"level 2500", MakeWaveFormat(44100, 16, 2), 2500, -1},
      {"level 0", MakeWaveFormat(44100, 16, 2), 0, -1},
      {"header without data", MakeWaveFormat(44100, 16, 2), 2000, 44},
      {"header bytes -2", MakeWaveFormat(44100, 16, 2), 2000, -2},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FileIO io;
    CAPECompress encoder;
    ASSERT_EQ(io.Create(dir.Path("r.ape").c_str()), 0);
    EXPECT_NE(encoder.Start(&io, &c.format, -1, c.level, nullptr, c.header_bytes), 0);
    EXPECT_EQ(io.GetSize(), 0);
  }
}

TEST(Format, NoAudioAndTooMuchAudio) {
  TempDir dir;
  const WaveFormat format = MakeWaveFormat(44100, 16, 2);
  for (int chunks : {0, 1}) {
    FileIO io;
    CAPECompress encoder;
    ASSERT_EQ(io.Create(dir.Path("empty.ape").c_str()), 0);
    ASSERT_EQ(encoder.Start(&io, &format, -1, 2000), 0);
    if (chunks) {
      ASSERT_EQ(encoder.AddData(nullptr, 0), 0);
    }
    EXPECT_EQ(encoder.Finish(nullptr, 0, 0), ERROR_NO_AUDIO);
  }
  // Beyond the announced length AddData refuses the whole chunk and the
  // file still completes with what came before.
  const Bytes pcm = MakeSignal(Signal::kMusic, 300, 2);
  FileIO io;
  CAPECompress encoder;
  ASSERT_EQ(io.Create(dir.Path("max.ape").c_str()), 0);
  ASSERT_EQ(encoder.Start(&io, &format, 1000, 2000), 0);
  EXPECT_EQ(encoder.AddData(pcm.data(), 1200), ERROR_APE_COMPRESS_TOO_MUCH_DATA);
  ASSERT_EQ(encoder.AddData(pcm.data(), 800), 0);
  ASSERT_EQ(encoder.Finish(nullptr, 0, 0), 0);
  ASSERT_EQ(io.Close(), 0);
  int status = -1;
  EXPECT_TRUE(FfmpegDecode(dir.Path("max.ape"), 16, &status) == std::string(pcm.begin(), pcm.begin() + 800));
  EXPECT_EQ(status, 0);
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

// Every failure surfaces from the call that met it, and from every call
// after it.
TEST(Format, FileErrorsSurface) {
  struct Case {
    FaultyIO::Fault fault;
    int from_step;  // 0 Start, 1 second AddData, 2 Finish
  } cases[] = {{FaultyIO::kWriteError, 0}, {FaultyIO::kShortWrite, 0}, {FaultyIO::kWriteError, 1},
               {FaultyIO::kShortWrite, 1}, {FaultyIO::kWriteError, 2}, {FaultyIO::kShortWrite, 2},
               {FaultyIO::kReadError, 2},  {FaultyIO::kTruncateError, 2}};
  TempDir dir;
  const Bytes pcm = MakeSignal(Signal::kMusic, 73728 * 2, 2);
  const WaveFormat format = MakeWaveFormat(44100, 16, 2);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.fault << " from step " << c.from_step);
    FaultyIO io;
    CAPECompress encoder;
    ASSERT_EQ(io.Create(dir.Path("f.ape").c_str()), 0);
    const int half = static_cast<int>(pcm.size() / 2);  // one frame each
    const std::function<int()> steps[] = {
        [&] { return encoder.Start(&io, &format, -1, 1000); },
        [&] { return encoder.AddData(pcm.data(), half); },
        [&] { return encoder.AddData(pcm.data() + half, half); },
        [&] { return encoder.Finish(nullptr, 0, 0); }};
    const int failing = c.from_step == 0 ? 0 : c.from_step + 1;
    for (int i = 0; i < 4; ++i) {
      if (i == failing) io.fault = c.fault;
      if (i < failing) {
        EXPECT_EQ(steps[i](), 0) << i;
      } else {
        EXPECT_NE(steps[i](), 0) << i;
      }
    }
  }
}

// The vector kernels of the NN filters against the plain loops, extremes
// included; production on x86-64 never runs the plain ones otherwise.
TEST(Format, FilterKernelsMatchPlainLoops) {
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> any(-32768, 32767);
  for (int order : {16, 32, 64, 256}) {
    alignas(16) int16_t weights[256], plain[256];
    int16_t input[256 + 1], step[256 + 1];
    for (int round = 0; round < 50; ++round) {
      for (int i = 0; i < order; ++i) {
        weights[i] = static_cast<int16_t>(round == 0 ? -32768 : any(rng));
        input[i + 1] = static_cast<int16_t>(round == 0 ? -32768 : any(rng));
        step[i + 1] = static_cast<int16_t>(any(rng));
      }
      // Unaligned histories, as the filters pass them.
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
