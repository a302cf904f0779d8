// lame_enc.so on its own, loaded the way the MP3 encoder loads it.
#include <gtest/gtest.h>

#include <cstring>

#include "mp3_info.h"
#include "platform/dynamic_library.h"
#include "test_env.h"

namespace tonvik {
namespace {

class LameModule : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(lib.loaded()) << lib.error();
    init = lib.Function<BEINITSTREAM>("beInitStream");
    encode = lib.Function<BEENCODECHUNK>("beEncodeChunk");
    deinit = lib.Function<BEDEINITSTREAM>("beDeinitStream");
    close = lib.Function<BECLOSESTREAM>("beCloseStream");
    info = lib.Function<BEWRITEINFOTAG>("beWriteInfoTag");
    info_w = lib.Function<BEWRITEINFOTAGW>("beWriteInfoTagW");
    ASSERT_TRUE(init && encode && deinit && close && info && info_w);
  }
  static BE_CONFIG Record(int preset, uint32_t kbps, uint32_t abr, int mode, int vbr_header) {
    BE_CONFIG c;
    std::memset(&c, 0, sizeof c);
    c.dwConfig = BE_CONFIG_LAME;
    c.dwStructVersion = 1;
    c.dwStructSize = sizeof c;
    c.dwSampleRate = 44100;
    c.nMode = mode;
    c.dwBitrate = kbps;
    c.nPreset = preset;
    c.dwMpegVersion = 1;
    c.bWriteVBRHeader = vbr_header;
    c.dwVbrAbr_bps = abr;
    return c;
  }
  // Encodes the PCM into a file behind `prefix`, then lets the module write its
  // info frame by path.
  std::vector<uint8_t> EncodeFile(BE_CONFIG c, const std::vector<uint8_t>& prefix, bool wide) {
    uint32_t samples = 0, size = 0;
    HBE_STREAM s = 0;
    EXPECT_EQ(init(&c, &samples, &size, &s), 0u);
    std::vector<uint8_t> file = prefix, out(size);
    const auto pcm = test::MakePcm(44100 * 2);
    const size_t channels = c.nMode == BE_MP3_MODE_MONO ? 1 : 2;
    std::vector<int16_t> values(pcm.size() / 2);
    std::memcpy(values.data(), pcm.data(), pcm.size());
    // Mono takes the left channel only.
    if (channels == 1) {
      for (size_t i = 0; i < values.size() / 2; ++i) values[i] = values[2 * i];
      values.resize(values.size() / 2);
    }
    for (size_t at = 0; at < values.size(); at += samples) {
      uint32_t n = 0;
      const uint32_t take = static_cast<uint32_t>(std::min<size_t>(samples, values.size() - at));
      EXPECT_EQ(encode(s, take, values.data() + at, out.data(), &n), 0u);
      file.insert(file.end(), out.begin(), out.begin() + n);
    }
    uint32_t n = 0;
    EXPECT_EQ(deinit(s, out.data(), &n), 0u);
    file.insert(file.end(), out.begin(), out.begin() + n);
    const std::string path = sandbox.Out("m.mp3");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), static_cast<long>(file.size()));
    if (wide) {
      info_w(s, FromUtf8(path).c_str());
    } else {
      info(s, path.c_str());
    }
    EXPECT_EQ(close(s), 0u);
    return test::ReadFile(path);
  }

  test::Sandbox sandbox;
  DynamicLibrary lib{test::LameBuildFolder() + "lame_enc.so"};
  BEINITSTREAM init;
  BEENCODECHUNK encode;
  BEDEINITSTREAM deinit;
  BECLOSESTREAM close;
  BEWRITEINFOTAG info;
  BEWRITEINFOTAGW info_w;
};

TEST_F(LameModule, ChunkSizesAndRecordChecks) {
  struct Case {
    int mode;
    uint32_t samples;
  } cases[] = {{BE_MP3_MODE_STEREO, 2304}, {BE_MP3_MODE_MONO, 1152}};
  for (const auto& c : cases) {
    BE_CONFIG r = Record(LQP_MEDIUM, 0, 0, c.mode, 1);
    uint32_t samples = 0, size = 0;
    HBE_STREAM s = 0;
    ASSERT_EQ(init(&r, &samples, &size, &s), 0u);
    EXPECT_EQ(samples, c.samples);
    EXPECT_GE(size, 7200u + samples * 5 / 4);
    // More values than one chunk are refused, not overrun.
    std::vector<int16_t> pcm(samples + 2);
    std::vector<uint8_t> out(size);
    uint32_t n = 99;
    EXPECT_NE(encode(s, samples + 2, pcm.data(), out.data(), &n), 0u);
    EXPECT_EQ(close(s), 0u);
  }
  struct Bad {
    uint32_t config, version;
    int preset;
    uint32_t kbps, abr;
  } bad[] = {{0, 1, LQP_MEDIUM, 0, 0},
             {BE_CONFIG_LAME, 2, LQP_MEDIUM, 0, 0},
             {BE_CONFIG_LAME, 1, LQP_CBR, 0, 0},   // CBR without a rate
             {BE_CONFIG_LAME, 1, LQP_ABR, 0, 0}};  // ABR without a target
  for (const auto& b : bad) {
    BE_CONFIG r = Record(b.preset, b.kbps, b.abr, 0, 1);
    r.dwConfig = b.config;
    r.dwStructVersion = b.version;
    uint32_t samples = 0, size = 0;
    HBE_STREAM s = 0;
    EXPECT_NE(init(&r, &samples, &size, &s), 0u) << b.preset;
  }
}

TEST_F(LameModule, InfoFrameWrittenBehindId3v2ByEitherPathForm) {
  // A 30-byte ID3v2 tag (20 bytes of body) in front of the frames.
  std::vector<uint8_t> id3 = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 20};
  id3.resize(30, 0);
  for (bool wide : {false, true}) {
    const auto file = EncodeFile(Record(LQP_ABR, 0, 96000, 0, 1), id3, wide);
    EXPECT_TRUE(std::equal(id3.begin(), id3.end(), file.begin()));
    const auto i = test::ReadMp3Info(file);
    EXPECT_EQ(i.frame_offset, 30u);
    EXPECT_EQ(i.tag, "Xing");
    EXPECT_EQ(i.lame_method, 3 - 1);  // ABR
    EXPECT_EQ(i.lame_abr_kbps, 96);
    const std::string path = sandbox.Out("m.mp3");
    const double seconds = std::atof(
        test::Shell("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + path + "'")
            .c_str());
    // Encoder delay and padding add up to two frames.
    EXPECT_NEAR(seconds, 2.0, 0.06);
  }
}

TEST_F(LameModule, MonoAndCbrWithoutInfoFrame) {
  const auto file = EncodeFile(Record(LQP_CBR, 128, 128000, BE_MP3_MODE_MONO, 0), {}, true);
  const auto i = test::ReadMp3Info(file);
  EXPECT_EQ(i.frame_offset, 0u);
  EXPECT_EQ(i.tag, "");
  EXPECT_EQ(i.bitrate_kbps, 128);
  const std::string path = sandbox.Out("m.mp3");
  EXPECT_EQ(test::Shell("ffprobe -v error -show_entries stream=channels -of csv=p=0 '" + path + "'"),
            "1\n");
}

}  // namespace
}  // namespace tonvik
