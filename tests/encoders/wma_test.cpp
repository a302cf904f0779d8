// WMA end to end through the real wmvcore.so: files ffprobe reads as WMA v2
// in ASF, of the track's duration and the chosen bit rate, with the
// attributes; the module's binding failures and its file version.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>

#include "core/app_exception.h"
#include "encoders/tag_data.h"
#include "support/as_nobody.h"
#include "test_env.h"

namespace tonvik {
namespace {

using test::Shell;

std::string Probe(const std::string& path, const char* entries) {
  return Shell("ffprobe -v error -show_entries " + std::string(entries) + " -of default=nw=1:nk=1 '" + path + "'");
}

class WmaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    disc = DiscMetadata{"Various", "Sampler", "1987", "Heavy Metal", "ripped",
                              {"Artist A / Song", "Zweiter Titel \xC3\xBC"}, ""};
  }
  test::Sandbox sandbox;
  DiscMetadata disc;         // the record the tags are made from
  EncoderSelection format;   // the choice of the encoders the test creates
  std::vector<uint8_t> pcm = test::MakePcm(44100 * 4 + 1001);
};

TEST_F(WmaTest, EveryChoiceGivesWmaV2InAsfOfTheTrackLengthAtItsRate) {
  struct Case {
    int preset, custom;
    int min_kbps, max_kbps;  // the stream's rate as ffprobe reads the header
  } cases[] = {
      {0, 0, 40, 75},    {1, 0, 85, 145},   {2, 0, 135, 215},  // "Low; VBR; 40-75kbps" ...
      {3, 64000, 64, 64},   {3, 80000, 80, 80},   {3, 96000, 96, 96},   {3, 128000, 128, 128},
      {3, 160000, 160, 160}, {3, 192000, 192, 192}, {3, 256000, 256, 256}, {3, 320000, 320, 320},
  };
  const double seconds = pcm.size() / 4 / 44100.0;
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "preset " << c.preset << " custom " << c.custom);
    const std::string path = sandbox.Out("t.wma");
    test::fs::remove(path);
    test::EncodeTo(3, c.preset, c.custom, path, pcm, test::Tags(disc, 0));
    EXPECT_EQ(Probe(path, "format=format_name"), "asf\n");
    EXPECT_EQ(Probe(path, "stream=codec_name,channels,sample_rate"), "wmav2\n44100\n2\n");
    const double kbps = std::atof(Probe(path, "stream=bit_rate").c_str()) / 1000;
    EXPECT_GE(kbps, c.min_kbps);
    EXPECT_LE(kbps, c.max_kbps);
    // Decoded to the end without a complaint, as long as the PCM within a
    // frame (libavcodec's wmav2 decoder gives up to 1300 samples less; the
    // ffmpeg tool's own files alike).
    int status = 0;
    EXPECT_EQ(Shell("ffmpeg -v error -i '" + path + "' -f null - 2>&1", &status), "");
    EXPECT_EQ(status, 0);
    const double decoded = std::atof(
        Shell("ffmpeg -v error -i '" + path + "' -f s16le - 2>/dev/null | wc -c").c_str()) / 4 / 44100;
    EXPECT_GE(decoded, seconds - 0.05);
    EXPECT_LE(decoded, seconds + 0.05);
    EXPECT_NEAR(std::atof(Probe(path, "format=duration").c_str()), seconds, 0.1);
  }
}

// Per channel, the decoded signal against the PCM that went in: the
// correlation at the best offset (the codec delays by some samples) and the
// ratio of the levels.
struct ChannelMatch {
  double correlation = 0, level = 0;
};
std::vector<ChannelMatch> Compare(const std::vector<int16_t>& in, const std::vector<int16_t>& out) {
  const long frames_in = static_cast<long>(in.size() / 2), frames_out = static_cast<long>(out.size() / 2);
  const long start = 44100, window = 8192;  // one second in, clear of the edges
  std::vector<ChannelMatch> result(2);
  for (int ch = 0; ch < 2; ++ch) {
    auto at = [](const std::vector<int16_t>& v, long frame, int c) { return double(v[2 * frame + c]); };
    double best = -2;
    long best_lag = 0;
    for (long lag = -4096; lag <= 4096; lag += 1) {
      if (start + lag < 0 || start + lag + window > frames_out || start + window > frames_in) continue;
      double xy = 0, xx = 0, yy = 0;
      for (long i = start; i < start + window; i += 4) {
        const double x = at(in, i, ch), y = at(out, i + lag, ch);
        xy += x * y;
        xx += x * x;
        yy += y * y;
      }
      const double r = xy / std::sqrt(xx * yy + 1e-9);
      if (r > best) {
        best = r;
        best_lag = lag;
      }
    }
    double xx = 0, yy = 0;
    for (long i = start; i < start + window; ++i) {
      xx += at(in, i, ch) * at(in, i, ch);
      yy += at(out, i + best_lag, ch) * at(out, i + best_lag, ch);
    }
    result[ch] = {best, std::sqrt(yy / xx)};
  }
  return result;
}

TEST_F(WmaTest, DecodedAudioIsTheTrackInItsChannels) {
  const std::vector<int16_t> in(reinterpret_cast<const int16_t*>(pcm.data()),
                                reinterpret_cast<const int16_t*>(pcm.data() + pcm.size()));
  for (auto [preset, custom] : {std::pair{1, 0}, std::pair{3, 64000}, std::pair{3, 320000}}) {
    SCOPED_TRACE(::testing::Message() << "preset " << preset << " custom " << custom);
    const std::string path = sandbox.Out("t.wma");
    test::fs::remove(path);
    test::EncodeTo(3, preset, custom, path, pcm, test::Tags(disc, 0));
    const std::string raw = sandbox.Out("t.raw");
    Shell("ffmpeg -v error -y -i '" + path + "' -f s16le -ac 2 '" + raw + "'");
    const auto bytes = test::ReadFile(raw);
    const std::vector<int16_t> out(reinterpret_cast<const int16_t*>(bytes.data()),
                                   reinterpret_cast<const int16_t*>(bytes.data() + bytes.size() / 4 * 4));
    // Left is the 440 Hz tone, right the 660 Hz one: swapped or mixed
    // channels, a wrong scale or lost samples show here.
    for (const ChannelMatch& m : Compare(in, out)) {
      EXPECT_GT(m.correlation, 0.99);
      EXPECT_NEAR(m.level, 1.0, 0.05);
    }
  }
}

TEST_F(WmaTest, AttributesAreReadBackFromTheHeader) {
  const std::string path = sandbox.Out("t.wma");
  test::EncodeTo(3, 1, 0, path, pcm, test::Tags(disc, 1));
  // ffprobe names the keys it does not know with "_" for "/".
  const std::string tags = Shell("ffprobe -v error -show_entries format_tags -of flat '" + path + "'");
  for (const char* expected : {"Title=\"Zweiter Titel \xC3\xBC\"", "artist=\"Various\"", "album=\"Sampler\"",
                               "genre=\"Heavy Metal\"", "WM_Year=\"1987\"", "comment=\"ripped\"",
                               "WM_Track=\"2\""}) {
    EXPECT_NE(tags.find(expected), std::string::npos) << expected << "\n" << tags;
  }
}

TEST_F(WmaTest, EmptyAttributesAreStillInTheHeader) {
  disc = DiscMetadata{"", "", "", "", "", {"Only"}, ""};
  const std::string path = sandbox.Out("t.wma");
  test::EncodeTo(3, 3, 128000, path, pcm, test::Tags(disc, 0));
  const auto file = test::ReadFile(path);
  for (const char* name : {"WM/AlbumTitle", "WM/Genre", "WM/Year", "Description", "WM/Track"}) {
    std::vector<uint8_t> utf16;
    for (const char* p = name; *p; ++p) utf16.insert(utf16.end(), {static_cast<uint8_t>(*p), 0});
    EXPECT_NE(std::search(file.begin(), file.end(), utf16.begin(), utf16.end()), file.end()) << name;
  }
  // A disc without titles: no attributes at all.
  disc = DiscMetadata{};
  test::fs::remove(path);
  test::EncodeTo(3, 3, 128000, path, pcm, test::Tags(disc, 0));
  EXPECT_EQ(Shell("ffprobe -v error -show_entries format_tags -of flat '" + path + "'"), "");
}

TEST_F(WmaTest, FinishWithoutAudioLeavesNoFile) {
  format = EncoderSelection{3, 1, 0};
  auto e = CreateEncoder(test::Target(sandbox.Out("t.wma"), format), test::Tags(disc, 0));
  e->Finish();
  e.reset();
  EXPECT_TRUE(test::Listing(sandbox.Out("")).empty());
}

// A folder the process may not write: the runtime refuses the name, so the
// message is the WMA encoder's own form with the code the runtime returned,
// and nothing is left. Root writes anywhere, so as root the encoder runs in a
// child that becomes nobody once the runtime is loaded.
TEST_F(WmaTest, AFolderThatCannotBeWrittenIsRefusedByTheRuntime) {
  const std::string locked = sandbox.Out("locked");
  test::fs::create_directories(locked);
  ASSERT_EQ(::chmod(sandbox.root().c_str(), 0755), 0);
  ASSERT_EQ(::chmod(sandbox.Out("").c_str(), 0755), 0);
  ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);
  format = EncoderSelection{3, 1, 0};
  const std::optional<std::string> message = tonvik::testing::AsNobody(
      // Binding the runtime first, as the user who installed it.
      [&] { CreateEncoder(test::Target(sandbox.Out("warm.wma"), format), nullptr); },
      [&] {
        try {
          CreateEncoder(test::Target(locked + "/t.wma", format), nullptr);
          return std::string("created");
        } catch (const std::exception& e) {
          return std::string(e.what());
        }
      });
  ASSERT_TRUE(message.has_value());
  EXPECT_EQ(*message, "cannot create file (0x80070005)");
  EXPECT_TRUE(test::Listing(locked).empty());
  EXPECT_EQ(test::Listing(sandbox.Out("")), std::vector<std::string>{"locked"});
}

TEST_F(WmaTest, BindingFailures) {
  struct Case {
    std::string folder;
    const char* message;
  } cases[] = {
      {sandbox.root() + "/nowhere", "WMA encoding libraries aren't installed. Please reinstall Tonvik."},
      {TONVIK_BINARY_DIR "/tests/encoders/wmvcore_only_manager/", "Internal error #1521"},
      {TONVIK_BINARY_DIR "/tests/encoders/wmvcore_only_writer/", "Internal error #1522"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    sandbox.SetSystemModulesDir(c.folder);
    format = EncoderSelection{3, 1, 0};
    try {
      CreateEncoder(test::Target(sandbox.Out("f.wma"), format), nullptr);
      ADD_FAILURE() << "no exception";
    } catch (const EncoderException& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
    EXPECT_TRUE(test::Listing(sandbox.Out("")).empty());
  }
}

TEST(WmaModule, CarriesItsFileVersionInANote) {
  const std::string notes =
      Shell("readelf -n '" + test::WmvcoreBuildFolder() + "wmvcore.so' 2>&1 | grep -A3 quellbrook");
  EXPECT_NE(notes.find(".note.quellbrook.version"), std::string::npos) << notes;
  EXPECT_NE(notes.find("Quellbrook"), std::string::npos) << notes;
  // "11.0.5721.5145"
  EXPECT_NE(notes.find("31 31 2e 30 2e 35 37 32 31 2e 35 31 34 35 00"), std::string::npos) << notes;
}

}  // namespace
}  // namespace tonvik
