// APEv2 tags read back by ffprobe, with the audio still exact.
#include <gtest/gtest.h>

#include "monkey/ape_tag.h"
#include "monkey_test_env.h"

namespace tonvik::monkey::test {
namespace {

TEST(Tag, ItemsReadBackRemovedItemsGoneAudioExact) {
  TempDir dir;
  const std::string path = dir.Path("t.ape");
  const Bytes pcm = MakeSignal(Signal::kMusic, 44100, 2);
  ASSERT_EQ(EncodeFile(path, pcm, 2000, 2, 16), 0);
  const auto audio_size = fs::file_size(path);
  {
    FileIO io;
    ASSERT_EQ(io.Open(path.c_str()), 0);
    CAPETag tag(&io);
    const char* fields[][2] = {{"Title", "Erste"}, {"Artist", "\xC3\x86r\xC3\xB8sk\xC3\xB8" "bing \xF0\x9F\x8E\xB5"},
                               {"Album", "An Album"}, {"Year", "2001"}, {"Track", "3/12"},
                               {"Genre", "Rock"}, {"Comment", "gone soon"}};
    for (const auto& f : fields) ASSERT_EQ(tag.SetFieldString(f[0], f[1]), 0);
    ASSERT_EQ(tag.Save(), 0);
    EXPECT_EQ(tag.SetFieldString("title", "Zweite \xC3\x9C" "berfahrt"), 0);  // replaces Title
    EXPECT_EQ(tag.SetFieldString("GENRE", ""), 0);
    EXPECT_EQ(tag.RemoveField("comment"), 0);
    for (const char* bad : {"T", "ID3", "tag", "Ti\ttle"}) EXPECT_NE(tag.SetFieldString(bad, "x"), 0) << bad;
    ASSERT_EQ(tag.Save(), 0);  // replaces the first tag
  }
  EXPECT_EQ(Shell("ffprobe -v error -show_entries format_tags -of default=nw=1 '" + path + "' | sort"),
            "TAG:Album=An Album\n"
            "TAG:Artist=\xC3\x86r\xC3\xB8sk\xC3\xB8" "bing \xF0\x9F\x8E\xB5\n"
            "TAG:Track=3/12\n"
            "TAG:Year=2001\n"
            "TAG:title=Zweite \xC3\x9C" "berfahrt\n");

  // One tag at the very end: header, items in ascending size, footer.
  const Bytes file = ReadFile(path);
  const size_t footer = file.size() - 32;
  ASSERT_EQ(std::string(file.begin() + footer, file.begin() + footer + 8), "APETAGEX");
  EXPECT_EQ(Le32(file, footer + 8), 2000u);
  EXPECT_EQ(Le32(file, footer + 16), 5u);
  EXPECT_EQ(Le32(file, footer + 20), 0x80000000u);
  const size_t header = file.size() - Le32(file, footer + 12) - 32;
  ASSERT_EQ(header, audio_size);
  EXPECT_EQ(Le32(file, header + 20), 0xA0000000u);
  size_t last = 0;
  for (size_t at = header + 32; at < footer;) {
    const size_t item = 8 + std::strlen(reinterpret_cast<const char*>(&file[at + 8])) + 1 + Le32(file, at);
    EXPECT_GE(item, last);
    last = item;
    at += item;
  }

  int status = -1;
  EXPECT_TRUE(FfmpegDecode(path, 16, &status) == std::string(pcm.begin(), pcm.end()));
  EXPECT_EQ(status, 0);
}

TEST(Tag, SaveReportsWriteFailure) {
  class FailingIO : public FileIO {
   public:
    int Write(const void*, unsigned, unsigned* written) override {
      if (written) *written = 0;
      return ERROR_IO_WRITE;
    }
  };
  TempDir dir;
  FailingIO io;
  ASSERT_EQ(io.Create(dir.Path("x").c_str()), 0);
  CAPETag tag(&io);
  ASSERT_EQ(tag.SetFieldString("Title", "x"), 0);
  EXPECT_NE(tag.Save(), 0);
}

}  // namespace
}  // namespace tonvik::monkey::test
