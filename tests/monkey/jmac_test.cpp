// Against the Java port of the SDK (libjmac-java): for 16-bit stereo its
// encoder's files are the byte-exact reference, and its decoder reads
// frames strictly in sequence (no gaps tolerated, CRC always checked).
#include <gtest/gtest.h>

#include "monkey_test_env.h"

namespace tonvik::monkey::test {
namespace {

constexpr const char* kJar = "/usr/share/java/jmac.jar";

// Runs the driver as a single-file Java program; false when it failed.
bool RunJmac(const std::string& args) {
  int status = -1;
  Shell(std::string("java -cp ") + kJar + " " TONVIK_SOURCE_DIR "/tests/monkey/JmacDriver.java " +
            args + " >/dev/null 2>&1",
        &status);
  return status == 0;
}

class JavaPort : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kJar) || Shell("command -v java").empty()) {
      GTEST_SKIP() << "java or " << kJar << " missing (packages libjmac-java, openjdk-17-jdk-headless)";
    }
  }
  TempDir dir;
};

// Frame-long stretches of each special case, so every frame flag occurs at
// levels 1000-3000, and a short dithered tail.
Bytes Composite() {
  Bytes pcm;
  const Signal parts[] = {Signal::kMusic, Signal::kSilence, Signal::kSame, Signal::kFirstSilent,
                          Signal::kSecondSilent, Signal::kNoise, Signal::kAntiPhase, Signal::kSquare};
  for (Signal s : parts) {
    const Bytes part = MakeSignal(s, 73728, 2);
    pcm.insert(pcm.end(), part.begin(), part.end());
  }
  const Bytes tail = MakeSignal(Signal::kDither, 1000, 2);
  pcm.insert(pcm.end(), tail.begin(), tail.end());
  return pcm;
}

TEST_F(JavaPort, StereoFilesByteIdenticalAtEveryLevel) {
  const Bytes pcm = Composite();
  WriteFile(dir.Path("in.raw"), pcm);
  std::string args;
  for (int level : {1000, 2000, 3000, 4000}) {
    args += " encode " + std::to_string(level) + " 2 16 " + dir.Path("in.raw") + " " +
            dir.Path("j" + std::to_string(level) + ".ape");
  }
  ASSERT_TRUE(RunJmac(args));
  for (int level : {1000, 2000, 3000, 4000}) {
    SCOPED_TRACE(level);
    const Bytes reference = ReadFile(dir.Path("j" + std::to_string(level) + ".ape"));
    ASSERT_GT(reference.size(), 1000u);
    // The ripper's way (length unknown, table shrunk at the end), and told
    // the exact length like the reference.
    for (int64_t max : {MAX_AUDIO_BYTES_UNKNOWN, static_cast<int64_t>(pcm.size())}) {
      ASSERT_EQ(EncodeFile(dir.Path("ours.ape"), pcm, level, 2, 16, 61152, max), 0);
      EXPECT_TRUE(ReadFile(dir.Path("ours.ape")) == reference) << "max " << max;
    }
  }
}

// Files the reference cannot make: mono, 8-bit, a stored WAV header whose
// length is not a multiple of 4, terminating data. Its decoder reads them
// back exactly.
TEST_F(JavaPort, DecoderReadsMonoEightBitAndStoredHeaders) {
  struct Case {
    const char* name;
    int level, channels, bits;
    size_t header;  // stored WAV header bytes (0: created on decompression)
    size_t blocks;
  } cases[] = {{"mono", 4000, 1, 16, 0, 300000},
               {"8-bit stereo", 2000, 2, 8, 0, 80000},
               {"header 46 bytes", 3000, 2, 16, 46, 100000},
               {"header 45 bytes, mono", 1000, 1, 16, 45, 73729}};
  std::string args;
  std::vector<Bytes> inputs;
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    inputs.push_back(MakeSignal(Signal::kMusic, c.blocks, c.channels, c.bits, static_cast<uint32_t>(i)));
    const WaveFormat format = MakeWaveFormat(44100, static_cast<uint16_t>(c.bits), static_cast<uint16_t>(c.channels));
    const std::string path = dir.Path(std::to_string(i) + ".ape");
    FileIO io;
    CAPECompress encoder;
    const Bytes header(c.header, 0x5A);
    const unsigned char tail[6] = {'L', 'I', 'S', 'T', 0, 0};
    ASSERT_EQ(io.Create(path.c_str()), 0);
    ASSERT_EQ(encoder.Start(&io, &format, MAX_AUDIO_BYTES_UNKNOWN, c.level, header.data(),
                            c.header ? static_cast<int64_t>(c.header) : CREATE_WAV_HEADER_ON_DECOMPRESSION),
              0);
    ASSERT_EQ(encoder.AddData(inputs.back().data(), static_cast<int>(inputs.back().size())), 0);
    ASSERT_EQ(encoder.Finish(tail, c.header ? 6 : 0, c.header ? 6 : 0), 0);
    args += " decode " + path + " " + dir.Path(std::to_string(i) + ".raw");
  }
  ASSERT_TRUE(RunJmac(args));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    EXPECT_TRUE(ReadFile(dir.Path(std::to_string(i) + ".raw")) == inputs[i]);
    int status = -1;
    EXPECT_TRUE(FfmpegDecode(dir.Path(std::to_string(i) + ".ape"), cases[i].bits, &status) ==
                std::string(inputs[i].begin(), inputs[i].end()));
    EXPECT_EQ(status, 0);
  }
}

}  // namespace
}  // namespace tonvik::monkey::test
