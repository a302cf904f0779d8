// The MP3 encoder through lame_enc.so: layout, presets as libmp3lame saw
// them (read back from the info frame and compared with the lame tool on the
// same PCM), tags and the binding's failures.
#include <gtest/gtest.h>

#include "core/app_exception.h"
#include "encoders/tag_data.h"
#include "mp3_info.h"
#include "test_env.h"

namespace tonvik {
namespace {

using test::Shell;

double Probe(const std::string& path, const char* entry) {
  return std::atof(Shell("ffprobe -v error -show_entries " + std::string(entry) +
                         " -of default=nw=1:nk=1 '" + path + "'")
                       .c_str());
}

class Mp3Test : public ::testing::Test {
 protected:
  void SetUp() override {
    disc = DiscMetadata{"Various", "Sampler", "1987", "Heavy Metal", "ripped",
                              {"Artist A / Song", "Artist B / Other"}, ""};
    const std::string raw = sandbox.Out("in.raw");
    std::ofstream(raw, std::ios::binary)
        .write(reinterpret_cast<const char*>(pcm.data()), static_cast<long>(pcm.size()));
  }
  // The lame tool's file for the same PCM.
  std::string Reference(const std::string& options) {
    const std::string out = sandbox.Out("ref.mp3");
    Shell("lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian " + options + " '" +
          sandbox.Out("in.raw") + "' '" + out + "' 2>/dev/null");
    return out;
  }
  test::Sandbox sandbox;
  DiscMetadata disc;         // the record the tags are made from
  EncoderSelection format;   // the choice of the encoders the test creates
  std::vector<uint8_t> pcm = test::MakePcm(44100 * 4 + 1001);
};

TEST_F(Mp3Test, PresetsReachLibmp3lameAsTheToolWould) {
  struct Case {
    bool cbr;
    int preset, custom;
    const char* tool;       // the same choice on the lame command line
    int min_kbps, max_kbps;  // the overall rate ffprobe reports
  } cases[] = {
      {false, 0, 0, "--abr 80", 60, 110},
      {false, 1, 0, "--preset medium", 100, 260},
      {false, 2, 0, "--preset extreme", 180, 330},
      {false, 3, 112000, "--abr 112", 90, 140},
      {true, 0, 0, "--cbr -b 80", 79, 81},
      {true, 1, 0, "--cbr -b 192", 191, 193},
      {true, 2, 0, "--cbr -b 256", 255, 257},
      {true, 3, 192000, "--cbr -b 192", 191, 193},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tool);
    const std::string path = sandbox.Out("t.mp3");
    test::fs::remove(path);
    test::EncodeTo(2, c.preset, c.custom, path, pcm, test::Tags(disc, 0), c.cbr);
    const auto ours = test::ReadMp3Info(test::ReadFile(path));
    const auto ref = test::ReadMp3Info(test::ReadFile(Reference(c.tool)));
    if (c.cbr) {
      // No info frame asked for: the first frame is audio at the rate.
      EXPECT_EQ(ours.tag, "");
      EXPECT_EQ(ours.bitrate_kbps, c.min_kbps + 1);
    } else {
      ASSERT_EQ(ours.tag, ref.tag);
      EXPECT_EQ(ours.lame_method, ref.lame_method);
      EXPECT_EQ(ours.lame_abr_kbps, ref.lame_abr_kbps);
      EXPECT_EQ(ours.xing_quality, ref.xing_quality);
    }
    EXPECT_NEAR(Probe(path, "format=duration"), pcm.size() / 4 / 44100.0, 0.06);
    const double kbps = Probe(path, "stream=bit_rate") / 1000;
    EXPECT_GE(kbps, c.min_kbps);
    EXPECT_LE(kbps, c.max_kbps);
  }
}

TEST_F(Mp3Test, TagsFrontAndBackReadByFfprobe) {
  const std::string path = sandbox.Out("t.mp3");
  test::EncodeTo(2, 1, 0, path, pcm, test::Tags(disc, 1));
  const auto file = test::ReadFile(path);
  std::vector<uint8_t> v2, v1;
  test::Tags(disc, 1)->GetID3v2(v2);
  test::Tags(disc, 1)->GetID3v1(v1);
  ASSERT_EQ(v1.size(), 128u);
  ASSERT_GT(file.size(), v2.size() + 128);
  EXPECT_TRUE(std::equal(v2.begin(), v2.end(), file.begin()));
  EXPECT_TRUE(std::equal(v1.begin(), v1.end(), file.end() - 128));
  // The info frame follows the ID3v2 tag directly and was rewritten in place.
  const auto info = test::ReadMp3Info(file);
  EXPECT_EQ(info.frame_offset, v2.size());
  EXPECT_EQ(info.tag, "Xing");
  const std::string tags = Shell("ffprobe -v error -show_entries format_tags -of flat '" + path + "'");
  EXPECT_NE(tags.find("title=\"Artist B / Other\""), std::string::npos) << tags;
  EXPECT_NE(tags.find("artist=\"Various\""), std::string::npos) << tags;
  EXPECT_NE(tags.find("album=\"Sampler\""), std::string::npos) << tags;
  EXPECT_NE(tags.find("track=\"2\""), std::string::npos) << tags;
  EXPECT_NE(tags.find("genre=\"Heavy Metal\""), std::string::npos) << tags;
}

TEST_F(Mp3Test, NoTitlesNoTags) {
  disc = DiscMetadata{};
  const std::string path = sandbox.Out("t.mp3");
  test::EncodeTo(2, 0, 0, path, pcm, test::Tags(disc, 0));
  const auto file = test::ReadFile(path);
  EXPECT_EQ(file[0], 0xFF);
  EXPECT_NE(std::string(file.end() - 128, file.end() - 125), "TAG");
}

TEST_F(Mp3Test, BindingFailures) {
  struct Case {
    std::string folder;
    const char* message;
  } cases[] = {
      {sandbox.root() + "/nowhere", "MP3 libraries are not installed"},
      {TONVIK_BINARY_DIR "/tests/encoders/lame_broken", "MP3 libraries are broken"},
      // Asks for more samples per chunk than the staging area holds.
      {TONVIK_BINARY_DIR "/tests/encoders/lame_greedy", "unable to encode"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    ForgetLameBinding();
    sandbox.SetAppPath(c.folder);
    format = EncoderSelection{2, 1, 0};
    try {
      auto e = CreateEncoder(test::Target(sandbox.Out("f.mp3"), format), nullptr);
      test::Feed(*e, pcm);
      e->Finish();
      ADD_FAILURE() << "no exception";
    } catch (const EncoderException& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
    EXPECT_FALSE(test::fs::exists(sandbox.Out("f.mp3")));
  }
  // The folder with or without its trailing slash names the same file.
  sandbox.SetAppPath(test::LameBuildFolder());
  const std::string with = LameLibraryPath();
  sandbox.SetAppPath(test::LameBuildFolder().substr(0, test::LameBuildFolder().size() - 1));
  EXPECT_EQ(LameLibraryPath(), with);
  EXPECT_EQ(with, test::LameBuildFolder() + "lame_enc.so");
}

TEST_F(Mp3Test, NarrowInfoTagGetsTheUnfinishedFileBeforeId3v1) {
  // The library writes no frames; the file holds just the two tags.
  ForgetLameBinding();
  sandbox.SetAppPath(TONVIK_BINARY_DIR "/tests/encoders/lame_narrow");
  const std::string record = sandbox.root() + "/record";
  setenv("FAKE_LAME_RECORD", record.c_str(), 1);
  const std::string path = sandbox.Out("Sub Folder/\xC3\xA9t\xC3\xA9.mp3");
  test::EncodeTo(2, 1, 0, path, pcm, test::Tags(disc, 0));
  unsetenv("FAKE_LAME_RECORD");
  std::ifstream in(record);
  std::string seen;
  long size_then = 0;
  std::getline(in, seen);
  in >> size_then;
  std::vector<uint8_t> v2;
  test::Tags(disc, 0)->GetID3v2(v2);
  // The temporary file beside the target, in UTF-8, before ID3v1 was appended.
  EXPECT_EQ(seen.rfind(sandbox.Out("Sub Folder/.tonvik-"), 0), 0u) << seen;
  EXPECT_EQ(size_then, static_cast<long>(v2.size()));
  EXPECT_EQ(test::fs::file_size(path), v2.size() + 128);
  EXPECT_FALSE(test::fs::exists(seen));
}

TEST_F(Mp3Test, ALibraryFailureEndsInWriteErrorAndLeavesNoFile) {
  // A failed encode call would otherwise leave a silently truncated MP3
  // reported as ripped; a failed info tag a file whose header is wrong.
  for (const char* failing : {"encode", "tag"}) {
    SCOPED_TRACE(failing);
    ForgetLameBinding();
    sandbox.SetAppPath(TONVIK_BINARY_DIR "/tests/encoders/lame_narrow");
    setenv("FAKE_LAME_FAIL", failing, 1);
    const std::string path = sandbox.Out(std::string("failing-") + failing + ".mp3");
    try {
      test::EncodeTo(2, 1, 0, path, pcm, test::Tags(disc, 0));
      ADD_FAILURE() << "no error";
    } catch (const EncoderException& e) {
      EXPECT_STREQ(e.what(), "write error");
    }
    unsetenv("FAKE_LAME_FAIL");
    EXPECT_FALSE(test::fs::exists(path));
    for (const auto& entry : test::fs::directory_iterator(sandbox.Out("")))
      EXPECT_EQ(entry.path().filename().string().rfind(".tonvik-", 0), std::string::npos) << entry.path();
  }
  ForgetLameBinding();
}

TEST_F(Mp3Test, WritesLargerThanTheFifoGoInPieces) {
  const std::string path = sandbox.Out("big.mp3");
  format = EncoderSelection{2, 3, 128000};
  auto e = CreateEncoder(test::Target(path, format), nullptr);
  test::Feed(*e, pcm, 300001 * 2);
  e->Finish();
  e.reset();
  EXPECT_NEAR(Probe(path, "format=duration"), pcm.size() / 4 / 44100.0, 0.06);
}

}  // namespace
}  // namespace tonvik
