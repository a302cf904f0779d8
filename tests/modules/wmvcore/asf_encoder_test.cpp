// The runtime's encoding without its interfaces: AsfEncoder over the real
// libav, writing real files that ffmpeg reads back. What the WMA encoder
// cannot reach through the runtime: files that cannot be opened, disks that
// refuse the writes, PCM cut anywhere, mono streams and finishing early.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "modules/wmvcore/asf_encoder.h"
#include "support/shell.h"
#include "support/file_size_limit.h"

namespace wmvcore {
namespace {

namespace fs = std::filesystem;
using tonvik::testing::Shell;

class AsfEncoderTest : public ::testing::Test {
 protected:
  AsfEncoderTest() {
    char pattern[] = "/tmp/tonvik-asf-XXXXXX";
    root_ = mkdtemp(pattern);
  }
  ~AsfEncoderTest() override { fs::remove_all(root_); }

  std::string Path(const std::string& name) const { return root_ + "/" + name; }
  std::vector<std::string> Listing() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(root_)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string root_;
};

AsfStream Stream(int channels = 2, int input_channels = 2, int64_t bit_rate = 128000) {
  AsfStream s;
  s.channels = channels;
  s.input_channels = input_channels;
  s.bit_rate = bit_rate;
  return s;
}

// Interleaved 16-bit PCM of `channels`, each sample of each channel given by
// the function of the frame and the channel.
template <typename F>
std::vector<BYTE> Pcm(size_t frames, int channels, F value) {
  std::vector<BYTE> pcm(frames * channels * 2);
  auto* out = reinterpret_cast<int16_t*>(pcm.data());
  for (size_t i = 0; i < frames; ++i) {
    for (int c = 0; c < channels; ++c) out[i * channels + c] = static_cast<int16_t>(value(i, c));
  }
  return pcm;
}

double Tone(size_t i, double hz, double amplitude) { return amplitude * std::sin(2 * M_PI * hz * i / 44100.0); }

std::vector<BYTE> TwoTones(size_t frames) {
  return Pcm(frames, 2, [](size_t i, int c) { return Tone(i, c ? 660 : 440, c ? 9000 : 12000); });
}

// Open, the PCM in chunks of `chunk` bytes, Finish: the first failure (S_OK
// for none) and whether it was the codec's.
struct Outcome {
  HRESULT result = S_OK;
  bool codec_failed = false;
};
Outcome Encode(const std::string& path, const AsfStream& stream, const std::vector<BYTE>& pcm, size_t chunk) {
  AsfEncoder encoder;
  Outcome run;
  run.result = encoder.Open(path, stream);
  for (size_t at = 0; SUCCEEDED(run.result) && at < pcm.size(); at += chunk) {
    run.result = encoder.Consume(pcm.data() + at, std::min(chunk, pcm.size() - at), &run.codec_failed);
  }
  if (SUCCEEDED(run.result)) run.result = encoder.Finish(&run.codec_failed);
  return run;
}

std::vector<BYTE> Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The file decoded by the ffmpeg tool: 16-bit samples in the stream's
// channels; the tool's status in *status.
std::vector<int16_t> Decode(const std::string& path, int* status) {
  const std::string raw = path + ".raw";
  Shell("ffmpeg -v error -y -i '" + path + "' -f s16le '" + raw + "' 2>&1", status);
  const std::vector<BYTE> bytes = Bytes(raw);
  fs::remove(raw);
  return {reinterpret_cast<const int16_t*>(bytes.data()),
          reinterpret_cast<const int16_t*>(bytes.data() + bytes.size() / 2 * 2)};
}

TEST_F(AsfEncoderTest, APathThatCannotBeCreatedFailsOpenWithItsSystemError) {
  std::ofstream(Path("plain")) << "a file";
  fs::create_directory(Path("folder"));
  const struct Case {
    const char* what;
    std::string path;
    HRESULT result;
  } cases[] = {
      {"missing folder", Path("missing/t.wma"), HRESULT_FROM_WIN32(3)},
      {"a file as the folder", Path("plain/t.wma"), HRESULT_FROM_WIN32(3)},
      {"a folder as the file", Path("folder"), HRESULT_FROM_WIN32(5)},
      {"a name too long", Path(std::string(300, 'n') + ".wma"), HRESULT_FROM_WIN32(206)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    AsfEncoder encoder;
    EXPECT_EQ(encoder.Open(c.path, Stream()), c.result);
    EXPECT_EQ(Listing(), (std::vector<std::string>{"folder", "plain"}));
  }
}

TEST_F(AsfEncoderTest, AStreamTheCodecRefusesFailsOpenAndCreatesNoFile) {
  AsfStream no_rate = Stream();
  no_rate.sample_rate = 0;
  for (const AsfStream& stream : {no_rate, Stream(3, 3)}) {
    AsfEncoder encoder;
    EXPECT_EQ(encoder.Open(Path("t.wma"), stream), NS_E_INVALID_OUTPUT_FORMAT);
    EXPECT_TRUE(Listing().empty());
  }
}

using tonvik::testing::FileSizeLimit;

// Whether the write that fails comes while encoding or at the trailer (the
// audio still in libav's write buffer), it is the file's failure.
TEST_F(AsfEncoderTest, WritesTheDiskRefusesAreTheFilesFailuresWithTheirSystemError) {
  const struct Case {
    const char* what;
    std::string path;
    rlim_t limit;  // of the file size; 0: none
    size_t seconds;
    HRESULT result;
  } cases[] = {
      {"a full device", "/dev/full", 0, 30, HRESULT_FROM_WIN32(112)},
      {"a size limit, a long track", Path("t.wma"), 64 * 1024, 30, HRESULT_FROM_WIN32(223)},
      {"a size limit, a short track", Path("t.wma"), 1024, 1, HRESULT_FROM_WIN32(223)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Outcome run;
    {
      std::optional<FileSizeLimit> limit;
      if (c.limit) limit.emplace(c.limit);
      run = Encode(c.path, Stream(), TwoTones(44100 * c.seconds), 61152);
    }
    EXPECT_EQ(run.result, c.result);
    EXPECT_FALSE(run.codec_failed);
    fs::remove(Path("t.wma"));
  }
}

// The PCM cut at any byte, even inside a sample, gives the file it gives in
// one piece.
TEST_F(AsfEncoderTest, PcmCutAnywhereGivesTheSameFile) {
  const std::vector<BYTE> pcm = TwoTones(44100 + 1001);
  ASSERT_EQ(Encode(Path("whole.wma"), Stream(), pcm, pcm.size()).result, S_OK);
  const std::vector<BYTE> whole = Bytes(Path("whole.wma"));
  ASSERT_GT(whole.size(), 10000u);
  for (size_t chunk : {1, 3, 4, 6, 4093, 8192, 61151}) {
    SCOPED_TRACE(chunk);
    ASSERT_EQ(Encode(Path("cut.wma"), Stream(), pcm, chunk).result, S_OK);
    EXPECT_TRUE(Bytes(Path("cut.wma")) == whole);
  }
}

// Mono streams: mono PCM as it is, stereo PCM as the mean of its channels.
TEST_F(AsfEncoderTest, AMonoStreamCarriesTheMeanOfTheChannels) {
  auto tone = [](size_t i) { return Tone(i, 440, 12000); };
  const struct Case {
    const char* what;
    int input_channels;
    std::vector<BYTE> pcm;
    double level;  // of the decoded signal against the tone's
  } cases[] = {
      {"mono", 1, Pcm(44100 * 2, 1, [&](size_t i, int) { return tone(i); }), 1.0},
      {"stereo, alike", 2, Pcm(44100 * 2, 2, [&](size_t i, int) { return tone(i); }), 1.0},
      {"stereo, left only", 2, Pcm(44100 * 2, 2, [&](size_t i, int c) { return c ? 0 : tone(i); }), 0.5},
      {"stereo, opposed", 2, Pcm(44100 * 2, 2, [&](size_t i, int c) { return c ? -tone(i) : tone(i); }), 0.0},
  };
  double tone_power = 0;
  for (size_t i = 44100 / 2; i < 44100 * 3 / 2; ++i) tone_power += tone(i) * tone(i);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = Path("mono.wma");
    ASSERT_EQ(Encode(path, Stream(1, c.input_channels, 64000), c.pcm, 61152).result, S_OK);
    EXPECT_EQ(Shell("ffprobe -v error -show_entries stream=codec_name,channels -of default=nw=1:nk=1 '" + path + "'"),
              "wmav2\n1\n");
    int status = -1;
    const std::vector<int16_t> out = Decode(path, &status);
    EXPECT_EQ(status, 0);
    ASSERT_GE(out.size(), 44100u * 3 / 2);
    double power = 0;
    for (size_t i = 44100 / 2; i < 44100 * 3 / 2; ++i) power += double(out[i]) * out[i];
    EXPECT_NEAR(std::sqrt(power / tone_power), c.level, 0.05);
  }
}

// Finished after any count of samples, even none, the file is whole: one
// packet per frame of 2048 samples begun, the last one padded by the codec.
TEST_F(AsfEncoderTest, FinishingAfterAnyCountOfSamplesGivesAWholeFile) {
  const struct Case {
    size_t frames;
    int packets;
  } cases[] = {{0, 0}, {1, 1}, {2047, 1}, {2048, 1}, {2049, 2}, {44100, 22}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frames);
    const std::string path = Path("t.wma");
    const Outcome run = Encode(path, Stream(), TwoTones(c.frames), 61152);
    ASSERT_EQ(run.result, S_OK);
    EXPECT_EQ(Shell("ffprobe -v error -show_entries format=format_name:stream=codec_name "
                    "-of default=nw=1:nk=1 '" + path + "'"),
              "wmav2\nasf\n");
    EXPECT_EQ(Shell("ffprobe -v error -show_entries packet=pts -of csv=p=0 '" + path + "' | wc -l"),
              std::to_string(c.packets) + "\n");
    int status = -1;
    Decode(path, &status);
    EXPECT_EQ(status, 0);
  }
}

}  // namespace
}  // namespace wmvcore
