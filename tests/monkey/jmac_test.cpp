// Against the Java port of the SDK (libjmac-java): for 16-bit stereo its
// encoder's files are the byte-exact reference, and its decoder reads
// frames strictly in sequence (no gaps tolerated, CRC always checked).
#include <gtest/gtest.h>

#include "monkey_test_env.h"

namespace tonvik::monkey::test {
namespace {

constexpr const char* kJar = "/usr/share/java/jmac.jar";

class JavaPort : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kJar) || Shell("command -v java").empty()) {
      GTEST_SKIP() << "java or " << kJar << " missing (packages libjmac-java, openjdk-17-jdk-headless)";
    }
  }
  // Runs the driver as a single-file Java program.
  static bool Run(const std::string& args) {
    int status = -1;
    Shell(std::string("java -cp ") + kJar + " " TONVIK_SOURCE_DIR "/tests/monkey/JmacDriver.java" +
              args + " >/dev/null 2>&1",
          &status);
    return status == 0;
  }
  TempDir dir;
};

TEST_F(JavaPort, StereoFilesByteIdenticalAtEveryLevel) {
  // A frame (at levels 1000-3000) of each special case, and a short tail.
  Bytes pcm;
  for (Signal s : {Signal::kMusic, Signal::kSilence, Signal::kSame, Signal::kFirstSilent,
                   Signal::kSecondSilent, Signal::kNoise, Signal::kAntiPhase, Signal::kSquare}) {
    const Bytes part = MakeSignal(s, 73728, 2);
    pcm.insert(pcm.end(), part.begin(), part.end());
  }
  const Bytes tail = MakeSignal(Signal::kDither, 1000, 2);
  pcm.insert(pcm.end(), tail.begin(), tail.end());
  WriteFile(dir.Path("in.raw"), pcm);
  const int levels[] = {1000, 2000, 3000, 4000};
  std::string args;
  for (int level : levels) {
    args += " encode " + std::to_string(level) + " 2 16 " + dir.Path("in.raw") + " " +
            dir.Path(std::to_string(level));
  }
  ASSERT_TRUE(Run(args));
  for (int level : levels) {
    SCOPED_TRACE(level);
    const Bytes reference = ReadFile(dir.Path(std::to_string(level)));
    ASSERT_GT(reference.size(), 1000u);
    // The ripper's way (length unknown, table shrunk at the end), and told
    // the exact length like the reference.
    for (int64_t max : {MAX_AUDIO_BYTES_UNKNOWN, static_cast<int64_t>(pcm.size())}) {
      ASSERT_EQ(EncodeFile(dir.Path("ours.ape"), pcm, level, 2, 16, {.max_bytes = max}), 0);
      EXPECT_TRUE(ReadFile(dir.Path("ours.ape")) == reference) << "max " << max;
    }
  }
}

// Files the reference encoder cannot make: mono, 8-bit, a stored WAV header
// whose length is no multiple of 4, terminating data. Its decoder and
// ffmpeg read them back exactly.
TEST_F(JavaPort, DecoderReadsMonoEightBitAndStoredHeaders) {
  struct Case {
    int level, channels, bits;
    size_t header, blocks;
  } cases[] = {{4000, 1, 16, 0, 300000}, {2000, 2, 8, 0, 80000}, {3000, 2, 16, 46, 100000},
               {1000, 1, 16, 45, 73729}};
  std::vector<Bytes> inputs;
  std::string args;
  for (const Case& c : cases) {
    const std::string name = std::to_string(inputs.size());
    inputs.push_back(MakeSignal(Signal::kMusic, c.blocks, c.channels, c.bits, inputs.size()));
    const EncodeOptions options{.header = Bytes(c.header, 0x5A), .terminating = Bytes(c.header ? 6 : 0, 1)};
    ASSERT_EQ(EncodeFile(dir.Path(name + ".ape"), inputs.back(), c.level, c.channels, c.bits, options), 0);
    args += " decode " + dir.Path(name + ".ape") + " " + dir.Path(name + ".raw");
  }
  ASSERT_TRUE(Run(args));
  for (size_t i = 0; i < inputs.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(ReadFile(dir.Path(std::to_string(i) + ".raw")) == inputs[i]);
    int status = -1;
    EXPECT_TRUE(FfmpegDecode(dir.Path(std::to_string(i) + ".ape"), cases[i].bits, &status) ==
                std::string(inputs[i].begin(), inputs[i].end()));
    EXPECT_EQ(status, 0);
  }
}

}  // namespace
}  // namespace tonvik::monkey::test
