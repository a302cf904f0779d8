// The WMA encoder's side of the runtime contract, against a stand-in runtime
// whose codec formats each case chooses and whose writer records the calls:
// which format each choice picks, the samples' times, the attributes, the
// error status and the message of every failing step.
#include <gtest/gtest.h>

#include <cstdio>

#include "core/app_exception.h"
#include "encoders/tag_data.h"
#include "test_env.h"

namespace tonvik {
namespace {

const char* const kFakeVariables[] = {"FAKE_WM_CBR", "FAKE_WM_VBR", "FAKE_WM_FAIL", "FAKE_WM_ERROR_AT",
                                      "FAKE_WM_ERROR_CODE", "FAKE_WM_RECORD"};

// One codec format of the stand-in: "tag:channels:rate:bytes/s:blockalign:extra".
std::string Fmt(unsigned bytes, unsigned align = 743, unsigned channels = 2, unsigned tag = 0x161,
                unsigned rate = 44100, unsigned extra = 10) {
  char text[80];
  std::snprintf(text, sizeof text, "%x:%u:%u:%u:%u:%u", tag, channels, rate, bytes, align, extra);
  return text;
}
// A quality format: the quality in the low byte.
std::string Q(unsigned quality, unsigned channels = 2, unsigned tag = 0x161, unsigned rate = 44100) {
  return Fmt(0x3E00 | quality, 700, channels, tag, rate);
}
std::string List(std::initializer_list<std::string> formats) {
  std::string list;
  for (const auto& f : formats) list += (list.empty() ? "" : ",") + f;
  return list;
}

class WmaRuntimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* v : kFakeVariables) unsetenv(v);
    sandbox.SetSystemModulesDir(TONVIK_BINARY_DIR "/tests/encoders/wmvcore_fake/");
    record_ = sandbox.root() + "/record.txt";
    setenv("FAKE_WM_RECORD", record_.c_str(), 1);
    disc.titles = {"One"};
  }
  void TearDown() override {
    for (const char* v : kFakeVariables) unsetenv(v);
  }
  // Encodes chunks of the rip job's size with the choice; the exception's
  // message, or empty when the file was finished.
  std::string Encode(int preset, int custom, int chunks = 2) {
    test::fs::remove(record_);
    format = EncoderSelection{3, preset, custom};
    try {
      auto e = CreateEncoder(test::Target(sandbox.Out("t.wma"), format), test::Tags(disc, 0));
      test::Feed(*e, std::vector<uint8_t>(pcm_.begin(), pcm_.begin() + 61152 * chunks));
      e->Finish();
    } catch (const EncoderException& e) {
      return e.what();
    }
    return "";
  }
  // The recorded lines that begin with the call's name, without it.
  std::vector<std::string> Calls(const std::string& call) {
    std::vector<std::string> lines;
    std::ifstream in(record_);
    for (std::string line; std::getline(in, line);) {
      if (line == call) lines.push_back("");
      if (line.rfind(call + " ", 0) == 0) lines.push_back(line.substr(call.size() + 1));
    }
    return lines;
  }
  // The bytes-per-second field of the format the profile was given.
  unsigned ChosenBytes() {
    const auto lines = Calls("SetProfile");
    if (lines.size() != 1) return 0;
    unsigned bytes = 0;
    std::sscanf(lines[0].c_str() + lines[0].find("bytes="), "bytes=%u", &bytes);
    return bytes;
  }

  test::Sandbox sandbox;
  DiscMetadata disc;         // the record the tags are made from
  EncoderSelection format;   // the choice of the encoders the test creates
  std::string record_;
  std::vector<uint8_t> pcm_ = test::MakePcm(44100 * 5);
};

constexpr const char* kNoFormat = "wma codec is improperly installed, please reinstall";

TEST_F(WmaRuntimeTest, PresetsPickTheQualityFormatAtOrNextAboveTheirTarget) {
  struct Case {
    const char* what;
    int preset;
    std::string formats;
    int quality;  // the one chosen; -1: none
  } cases[] = {
      {"Normal, all present", 1, List({Q(10), Q(25), Q(50), Q(75), Q(90), Q(98)}), 50},
      {"Normal, next higher", 1, List({Q(10), Q(25), Q(75), Q(90)}), 75},
      {"Normal, exact beats one above", 1, List({Q(75), Q(51), Q(50)}), 50},
      {"High, 75 is at distance 0", 2, List({Q(25), Q(50), Q(75), Q(90)}), 75},
      {"High, 75 and 74 tie, first wins", 2, List({Q(75), Q(74)}), 75},
      {"High, 74 and 75 tie, first wins", 2, List({Q(74), Q(75)}), 74},
      {"High, none reaches 74: the lowest", 2, List({Q(50), Q(25)}), 25},
      {"Low, 11 and 10 tie, first wins", 0, List({Q(11), Q(10)}), 11},
      {"Low, 9 is below, 12 above", 0, List({Q(9), Q(12)}), 12},
      {"Normal, only stereo 44100 Hz tag 0x161 counts", 1,
       List({Q(50, 1), Q(50, 2, 0x160), Q(50, 2, 0x161, 48000), Q(90)}), 90},
      {"Normal, mono only", 1, List({Q(50, 1)}), -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    setenv("FAKE_WM_VBR", c.formats.c_str(), 1);
    setenv("FAKE_WM_CBR", Fmt(16000).c_str(), 1);  // never looked at by a preset
    const std::string message = Encode(c.preset, 128000);
    if (c.quality < 0) {
      EXPECT_EQ(message, kNoFormat);
      EXPECT_TRUE(Calls("SetProfile").empty());
      continue;
    }
    ASSERT_EQ(message, "");
    EXPECT_EQ(ChosenBytes(), 0x3E00u | c.quality);
    // The format's record unchanged, no bit rate set, the stream named.
    EXPECT_EQ(Calls("SetProfile"),
              std::vector<std::string>{"tag=353 channels=2 rate=44100 bytes=" + std::to_string(0x3E00 | c.quality) +
                                       " align=700 extra=10 subtype=00000161 sample=700 size=28 bitrate=0 "
                                       "stream=1 name=Audio Stream connection=Audio"});
    EXPECT_EQ(Calls("CreateEmptyProfile"), std::vector<std::string>{"589824"});  // version 9.0
  }
}

TEST_F(WmaRuntimeTest, CustomPicksTheConstantRateWithin249BitsAndTheLargestBlockAlign) {
  struct Case {
    const char* what;
    std::string formats;
    unsigned bytes, align, extra;  // the chosen; bytes 0: none
  } cases[] = {
      {"128000 exactly", List({Fmt(16000)}), 16000, 743, 10},
      {"248 below", List({Fmt(15969)}), 15969, 743, 10},
      {"256 below", List({Fmt(15968)}), 0, 0, 0},
      {"248 above", List({Fmt(16031)}), 16031, 743, 10},
      {"256 above", List({Fmt(16032)}), 0, 0, 0},
      {"largest block align", List({Fmt(16000, 500), Fmt(16000, 1000), Fmt(15990, 743)}), 16000, 1000, 10},
      {"a later equal align replaces", List({Fmt(16000, 743, 2, 0x161, 44100, 0), Fmt(15990, 743, 2, 0x161, 44100, 4)}),
       15990, 743, 4},
      {"other rates, channels and tags do not count",
       List({Fmt(16000, 900, 1), Fmt(16000, 900, 2, 0x160), Fmt(16000, 900, 2, 0x161, 48000), Fmt(20000, 900),
             Fmt(16000, 100)}),
       16000, 100, 10},
      {"mono only", List({Fmt(16000, 743, 1)}), 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    setenv("FAKE_WM_CBR", c.formats.c_str(), 1);
    setenv("FAKE_WM_VBR", Q(50).c_str(), 1);  // never looked at by Custom
    const std::string message = Encode(3, 128000);
    if (c.bytes == 0) {
      EXPECT_EQ(message, kNoFormat);
      continue;
    }
    ASSERT_EQ(message, "");
    // A record built from the kept format: subtype from the tag, the sample
    // size is the block align, the extra bytes kept; the bit rate set.
    char expected[200];
    std::snprintf(expected, sizeof expected,
                  "tag=353 channels=2 rate=44100 bytes=%u align=%u extra=%u subtype=00000161 sample=%u size=%u "
                  "bitrate=%u stream=1 name=Audio Stream connection=Audio",
                  c.bytes, c.align, c.extra, c.align, 18 + c.extra, c.bytes * 8);
    EXPECT_EQ(Calls("SetProfile"), std::vector<std::string>{expected});
  }
}

TEST_F(WmaRuntimeTest, SamplesAreTimedIn100NsFromTheRoundedMilliseconds) {
  setenv("FAKE_WM_VBR", Q(50).c_str(), 1);
  ASSERT_EQ(Encode(1, 0, 3), "");
  // 61152 bytes at 176400 bytes/s are 346.7 ms, counted as 347.
  EXPECT_EQ(Calls("WriteSample"),
            (std::vector<std::string>{"0 0 0 61152", "0 3470000 0 61152", "0 6940000 0 61152"}));
  EXPECT_EQ(Calls("SetInputProps"),
            std::vector<std::string>{
                "tag=1 channels=2 rate=44100 bytes=176400 align=4 extra=0 subtype=00000001 sample=0 size=18"});
  EXPECT_EQ(Calls("EndWriting").size(), 1u);
  EXPECT_TRUE(test::fs::exists(sandbox.Out("t.wma")));
}

TEST_F(WmaRuntimeTest, AttributesAreSetInOrderBeforeWritingBeginsEvenWhenEmpty) {
  disc = DiscMetadata{"Artist", "", "1999", "", "", {"One", "Zwei \xC3\xBC"}, ""};
  setenv("FAKE_WM_VBR", Q(50).c_str(), 1);
  test::fs::remove(record_);
  format = EncoderSelection{3, 1, 0};
  auto e = CreateEncoder(test::Target(sandbox.Out("t.wma"), format), test::Tags(disc, 1));
  test::Feed(*e, std::vector<uint8_t>(pcm_.begin(), pcm_.begin() + 61152));
  std::ifstream in(record_);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("SetAttribute", 0) == 0 || line == "BeginWriting") lines.push_back(line);
  }
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "SetAttribute 0 Title type=1 terminated [Zwei \xFC]",
                       "SetAttribute 0 Author type=1 terminated [Artist]",
                       "SetAttribute 0 WM/AlbumTitle type=1 terminated []",
                       "SetAttribute 0 WM/Genre type=1 terminated []",
                       "SetAttribute 0 WM/Year type=1 terminated [1999]",
                       "SetAttribute 0 Description type=1 terminated []",
                       "SetAttribute 0 WM/Track type=1 terminated [2]",
                       "BeginWriting",
                   }));
}

TEST_F(WmaRuntimeTest, AnErrorStatusFailsTheTrackAfterTheCurrentSample) {
  setenv("FAKE_WM_VBR", Q(50).c_str(), 1);
  setenv("FAKE_WM_ERROR_AT", "2", 1);
  setenv("FAKE_WM_ERROR_CODE", "0xC00D0BC1", 1);
  test::fs::remove(record_);
  format = EncoderSelection{3, 1, 0};
  auto e = CreateEncoder(test::Target(sandbox.Out("t.wma"), format), test::Tags(disc, 0));
  e->Write(pcm_.data(), 61152);
  try {
    e->Write(pcm_.data() + 61152, 61152);
    ADD_FAILURE() << "no error";
  } catch (const EncoderException& ex) {
    EXPECT_STREQ(ex.what(), "WMA engine error 0xC00D0BC1");
  }
  EXPECT_EQ(Calls("WriteSample").size(), 2u);
  e.reset();
  EXPECT_TRUE(test::Listing(sandbox.Out("")).empty());
}

TEST_F(WmaRuntimeTest, EveryFailingStepHasItsMessageAndLeavesNoFile) {
  struct Case {
    const char* call;
    int preset;
    const char* message;
  } cases[] = {
      {"WMCreateWriter", 1, "cannot create WMA encoder"},
      {"SetOutputFilename", 1, "cannot create file (0x80070005)"},
      {"WMCreateProfileManager", 3, "wma profile creation error #1"},
      {"CreateEmptyProfile", 3, "wma profile creation error #2"},
      {"GetCodecFormatCount", 3, "wma profile creation error #5"},
      {"GetCodecFormat", 3, "wma profile creation error #6"},
      {"WMCreateProfileManager", 1, "wma profile creation error #14"},
      {"CreateEmptyProfile", 2, "wma profile creation error #15"},
      {"GetCodecFormatCount", 0, "wma profile creation error #18"},
      {"GetCodecFormat", 1, "wma profile creation error #19"},
      {"SetProfile", 1, "internal error #1592"},
      {"GetInputCount", 1, "internal error #1593"},
      {"SetInputProps", 1, "internal error #1594"},
      {"BeginWriting", 1, "internal error #1595"},
      {"GetSink", 1, "internal error #1596"},
      {"WriteSample", 1, "write error"},
      {"EndWriting", 3, "write error"},
  };
  setenv("FAKE_WM_VBR", Q(50).c_str(), 1);
  setenv("FAKE_WM_CBR", Fmt(16000).c_str(), 1);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.call);
    setenv("FAKE_WM_FAIL", c.call, 1);
    EXPECT_EQ(Encode(c.preset, 128000), c.message);
    EXPECT_TRUE(test::Listing(sandbox.Out("")).empty());
  }
}

}  // namespace
}  // namespace tonvik
