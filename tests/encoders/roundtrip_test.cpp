// Every encoder's output decoded and read by independent tools.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "core/app_exception.h"
#include "encoders/tag_data.h"
#include "encoders/wave_encoder.h"
#include "test_env.h"

namespace tonvik {
namespace {

using test::Shell;

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

double Probe(const std::string& path, const char* entry) {
  const std::string out = Shell("ffprobe -v error -show_entries " + std::string(entry) +
                              " -of default=nw=1:nk=1 '" + path + "'");
  return std::atof(out.c_str());
}

class RoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    disc = DiscMetadata{"The Artist", "An Album", "2001", "", "",
                              {"First", "Zweite \xC3\x9C" "berfahrt", "\xF0\x9F\x8E\xB5 Third"}, "r"};
  }
  test::Sandbox sandbox;
  DiscMetadata disc;         // the record the tags are made from
  EncoderSelection format;   // the choice of the encoders the test creates
  // 3 s and an odd tail, so the last chunk is short.
  std::vector<uint8_t> pcm = test::MakePcm(44100 * 3 + 777);
};

TEST_F(RoundTrip, WavHeaderAndSamplesExact) {
  const std::string path = sandbox.Out("t.wav");
  test::EncodeTo(1, 1, 0, path, pcm, test::Tags(disc, 0));
  const auto file = test::ReadFile(path);
  ASSERT_EQ(file.size(), pcm.size() + 46);
  EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
  EXPECT_EQ(Le32(file, 4), pcm.size() + 38);
  EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(Le32(file, 16), 18u);
  EXPECT_EQ(Le32(file, 20), 1u | 2u << 16);       // PCM, 2 channels
  EXPECT_EQ(Le32(file, 24), 44100u);
  EXPECT_EQ(Le32(file, 28), 176400u);
  EXPECT_EQ(Le32(file, 32), 4u | 16u << 16);      // block align 4, 16 bits
  EXPECT_EQ(file[36] | file[37] << 8, 0);
  EXPECT_EQ(std::string(file.begin() + 38, file.begin() + 42), "data");
  EXPECT_EQ(Le32(file, 42), pcm.size());
  const std::string raw = sandbox.Out("t.raw");
  Shell("ffmpeg -v error -y -i '" + path + "' -f s16le '" + raw + "'");
  EXPECT_EQ(test::ReadFile(raw), pcm);
}

TEST_F(RoundTrip, WavWithoutDataIsEmptyOrAbsent) {
  format = EncoderSelection{1, 1, 0};
  {
    auto e = CreateEncoder(test::Target(sandbox.Out("finished.wav"), format), nullptr);
    e->Finish();
  }
  EXPECT_EQ(test::fs::file_size(sandbox.Out("finished.wav")), 0u);
  { auto e = CreateEncoder(test::Target(sandbox.Out("dropped.wav"), format), nullptr); }
  EXPECT_FALSE(test::fs::exists(sandbox.Out("dropped.wav")));
  EXPECT_EQ(test::Listing(sandbox.Out("")), std::vector<std::string>{"finished.wav"});
}

TEST_F(RoundTrip, FlacBitExactPerPresetWithComments) {
  struct Case {
    int preset, custom;
    const char* max_blocksize;  // level 0 uses 1152-sample blocks, 5 and 8 use 4096
  } cases[] = {{0, 0, "1152"}, {1, 0, "4096"}, {2, 0, "4096"}, {3, 5, "4096"}, {3, 0, "1152"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.preset * 10 + c.custom);
    const std::string path = sandbox.Out("t.flac");
    test::fs::remove(path);
    test::EncodeTo(6, c.preset, c.custom, path, pcm, test::Tags(disc, 1));
    const std::string raw = sandbox.Out("t.raw");
    int status = -1;
    Shell("flac -s -d -f --force-raw-format --endian=little --sign=signed -o '" + raw + "' '" +
            path + "'",
        &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(test::ReadFile(raw), pcm);
    EXPECT_EQ(Shell("metaflac --show-max-blocksize '" + path + "'"),
              std::string(c.max_blocksize) + "\n");
    EXPECT_EQ(Shell("metaflac --export-tags-to=- '" + path + "'"),
              "TITLE=Zweite \xC3\x9C" "berfahrt\nARTIST=The Artist\nALBUM=An Album\nDATE=2001\n"
              "TRACKNUMBER=2\n");
  }
}

TEST_F(RoundTrip, FlacWithoutTitlesHasEmptyCommentBlock) {
  disc = DiscMetadata{};
  const std::string path = sandbox.Out("t.flac");
  test::EncodeTo(6, 1, 0, path, pcm, test::Tags(disc, 0));
  const std::string blocks = Shell("metaflac --list --block-type=VORBIS_COMMENT '" + path + "'");
  EXPECT_NE(blocks.find("comments: 0"), std::string::npos) << blocks;
}

TEST_F(RoundTrip, FlacEightBitInput) {
  // 8-bit unsigned: 0 is the most negative value, 128 silence.
  format = EncoderSelection{6, 1, 0};
  const std::string path = sandbox.Out("b.flac");
  auto e = CreateEncoder(test::Target(path, format), nullptr);
  e->bits_per_sample = 8;
  std::vector<uint8_t> bytes(4410 * 2);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  e->Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
  e->Finish();
  const std::string raw = sandbox.Out("b.raw");
  Shell("flac -s -d -f --force-raw-format --endian=little --sign=unsigned -o '" + raw + "' '" +
      path + "'");
  EXPECT_EQ(test::ReadFile(raw), bytes);
}

std::vector<std::string> SortedLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  return lines;
}

// ffmpeg with CRC checks on and every decode error fatal: a clean exit means
// every frame decoded and matched its checksum.
std::vector<uint8_t> DecodeApe(const std::string& path, const std::string& raw, const char* sample_format,
                               int* status) {
  Shell("ffmpeg -v error -xerror -err_detect crccheck+explode -y -i '" + path + "' -f " + sample_format +
            " '" + raw + "' 2>&1",
        status);
  return test::ReadFile(raw);
}

TEST_F(RoundTrip, MonkeysAudioBitExactPerPresetWithApeTag) {
  struct Case {
    int preset, custom, level;
  } cases[] = {{0, 0, 1000}, {1, 0, 2000}, {2, 0, 3000}, {3, 4000, 4000}, {3, 1000, 1000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.level);
    const std::string path = sandbox.Out("t.ape");
    test::fs::remove(path);
    test::EncodeTo(5, c.preset, c.custom, path, pcm, test::Tags(disc, 1));
    int status = -1;
    EXPECT_EQ(DecodeApe(path, sandbox.Out("t.raw"), "s16le", &status), pcm);
    EXPECT_EQ(status, 0);
    const auto file = test::ReadFile(path);
    ASSERT_GT(file.size(), 76u);
    EXPECT_EQ(file[52] | file[53] << 8, c.level);  // the header's compression level
    // Every item of the disc record (the tag keeps them by size, as APE tags
    // do); empty genre and comment are left out.
    EXPECT_EQ(SortedLines(Shell("ffprobe -v error -show_entries format_tags -of default=nw=1 '" + path + "'")),
              SortedLines("TAG:Title=Zweite \xC3\x9C" "berfahrt\nTAG:Artist=The Artist\nTAG:Album=An Album\n"
                          "TAG:Year=2001\nTAG:Track=2\nTAG:Totaltracks=3\n"));
  }
}

TEST_F(RoundTrip, MonkeysAudioWithoutTitlesHasNoTagAndTakesEightBitInput) {
  disc = DiscMetadata{};
  format = EncoderSelection{5, 1, 0};
  const std::string path = sandbox.Out("b.ape");
  auto e = CreateEncoder(test::Target(path, format), test::Tags(disc, 0));
  e->bits_per_sample = 8;
  std::vector<uint8_t> bytes(44100 * 2 + 6);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + (i >> 9));
  e->Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
  e->Finish();
  int status = -1;
  EXPECT_EQ(DecodeApe(path, sandbox.Out("b.raw"), "u8", &status), bytes);
  EXPECT_EQ(status, 0);
  const auto file = test::ReadFile(path);
  ASSERT_GT(file.size(), 32u);
  EXPECT_NE(std::string(file.end() - 32, file.end() - 24), "APETAGEX");
}

TEST_F(RoundTrip, MonkeysAudioTrackWithoutAudioFailsAndLeavesNothing) {
  // The format cannot hold a file without a frame, so no file is better than
  // one nothing can open.
  for (bool written : {false, true}) {
    SCOPED_TRACE(written);
    format = EncoderSelection{5, 1, 0};
    auto e = CreateEncoder(test::Target(sandbox.Out("empty.ape"), format), test::Tags(disc, 0));
    if (written) e->Write(pcm.data(), 0);
    try {
      e->Finish();
      ADD_FAILURE() << "finished";
    } catch (const EncoderException& ex) {
      EXPECT_STREQ(ex.what(), "no audio to encode");
    }
    e.reset();
    EXPECT_TRUE(test::Listing(sandbox.Out("")).empty());
  }
}

TEST_F(RoundTrip, OggPresetsDurationBitRateAndComments) {
  struct Case {
    int preset, custom;
    int nominal;  // bit/s in the identification header
  } cases[] = {{0, 0, 64000}, {1, 0, 160000}, {2, 0, 256000}, {3, 160000, 160000}};
  double last_rate = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.preset);
    const std::string path = sandbox.Out("t.ogg");
    test::fs::remove(path);
    test::EncodeTo(4, c.preset, c.custom, path, pcm, test::Tags(disc, 2));
    const auto file = test::ReadFile(path);
    ASSERT_GT(file.size(), 100u);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "OggS");
    EXPECT_EQ(Le32(file, 14), 0u);  // stream serial number
    // Identification packet: "\x01vorbis", version, channels, rate, max, nominal, min.
    const size_t id = 28;
    ASSERT_EQ(std::string(file.begin() + id, file.begin() + id + 7), "\x01vorbis");
    EXPECT_EQ(static_cast<int32_t>(Le32(file, id + 20)), c.nominal);
    EXPECT_NEAR(Probe(path, "format=duration"), pcm.size() / 4 / 44100.0, 0.01);
    const double rate = Probe(path, "format=bit_rate");
    if (c.preset < 3) {
      EXPECT_GT(rate, last_rate);  // higher quality, more bits
      last_rate = rate;
    } else {
      EXPECT_NEAR(rate, 160000, 40000);
    }
    EXPECT_EQ(Shell("vorbiscomment -l '" + path + "'"),
              "TITLE=\xF0\x9F\x8E\xB5 Third\nARTIST=The Artist\nALBUM=An Album\nDATE=2001\n"
              "TRACKNUMBER=3\n");
  }
}

TEST_F(RoundTrip, OggWithoutTitlesHasNoComments) {
  disc = DiscMetadata{};
  const std::string path = sandbox.Out("t.ogg");
  test::EncodeTo(4, 1, 0, path, pcm, test::Tags(disc, 0));
  EXPECT_EQ(Shell("vorbiscomment -l '" + path + "'"), "");
}

TEST_F(RoundTrip, FactoryRejectsFormatsWithoutEncoder) {
  struct Case {
    int format;
    const char* create;
    const char* extension;
  } cases[] = {{0, "encoder not available", "unknown target format"},
               {7, "encoder not available", "unknown target format"}};
  for (const auto& c : cases) {
    format.format_number = c.format;
    try {
      CreateEncoder(test::Target(sandbox.Out("x"), format), nullptr);
      ADD_FAILURE() << c.format;
    } catch (const EncoderException& e) {
      EXPECT_STREQ(e.what(), c.create);
    }
    if (c.extension) {
      try {
        GetTargetExtension(format.format_number);
        ADD_FAILURE() << c.format;
      } catch (const EncoderException& e) {
        EXPECT_STREQ(e.what(), c.extension);
      }
    }
  }
  const std::pair<int, std::u16string> extensions[] = {
      {1, u".wav"}, {2, u".mp3"}, {3, u".wma"}, {4, u".ogg"}, {5, u".ape"}, {6, u".flac"}};
  for (const auto& [number, ext] : extensions) EXPECT_EQ(GetTargetExtension(number), ext);
  EXPECT_TRUE(test::Listing(sandbox.Out("")).empty());
}

}  // namespace
}  // namespace tonvik
