// The CUE sheet's text, and writing it beside the log by the log's rules.
#include "riplog/cue_sheet.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "riplog/log_file.h"
#include "support/temp_hives.h"

namespace tonvik::riplog {
namespace {

namespace fs = std::filesystem;

TEST(CueSheetText, AWholeDiscWithEverything) {
  CueSheet sheet;
  sheet.catalog = "4006381333931";
  sheet.title = "Album";
  sheet.performer = "Band";
  sheet.tracks = {{1, "01 One.wav", 4000, "One", "Solo", "DEA1X0000001", 0},
                  {2, "02 Two.wav", 5000, "Two", "", "", 33},
                  {3, "03 Three.wav", 6000, "", "", "DEA1X0000003", 0}};
  EXPECT_EQ(RenderCueSheet(sheet),
            "CATALOG 4006381333931\n"
            "PERFORMER \"Band\"\n"
            "TITLE \"Album\"\n"
            "FILE \"01 One.wav\" WAVE\n"
            "  TRACK 01 AUDIO\n"
            "    TITLE \"One\"\n"
            "    PERFORMER \"Solo\"\n"
            "    ISRC DEA1X0000001\n"
            "    INDEX 01 00:00:00\n"
            "  TRACK 02 AUDIO\n"
            "    TITLE \"Two\"\n"
            "    INDEX 00 00:52:67\n"  // 4000 - 33 = 3967 sectors into the first file
            "FILE \"02 Two.wav\" WAVE\n"
            "    INDEX 01 00:00:00\n"
            "FILE \"03 Three.wav\" WAVE\n"
            "  TRACK 03 AUDIO\n"
            "    ISRC DEA1X0000003\n"
            "    INDEX 01 00:00:00\n");
}

// Properties over layouts: one FILE per track, in order; each track's
// INDEX 00 lies `pregap` sectors before the end of the file before; the
// first track's pregap is declared silence; nothing is written for what a
// disc lacks; quotes and line breaks never break a line.
TEST(CueSheetText, PregapsLieAtTheEndOfTheFileBefore) {
  const struct {
    const char* name;
    std::vector<int32_t> sectors, pregaps;
  } cases[] = {
      {"none", {100, 200, 300}, {0, 0, 0}},
      {"every_track", {100, 200, 300}, {150, 1, 199}},
      {"first_track_only", {4500 * 80, 10}, {75, 0}},
      {"long", {4500 * 70, 4500 * 9 + 74}, {0, 4500 * 70 - 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CueSheet sheet;
    sheet.title = "A \"quoted\"\ntitle";
    for (size_t i = 0; i < c.sectors.size(); ++i)
      sheet.tracks.push_back({int(i + 1), "t" + std::to_string(i + 1) + ".wav", c.sectors[i], "", "", "", c.pregaps[i]});
    const std::string text = RenderCueSheet(sheet);
    EXPECT_EQ(text.find("CATALOG"), std::string::npos);
    EXPECT_EQ(text.find("ISRC"), std::string::npos);
    EXPECT_EQ(text.find("PERFORMER"), std::string::npos);
    EXPECT_NE(text.find("TITLE \"A 'quoted' title\"\n"), std::string::npos);
    size_t files = 0, at = 0;
    for (size_t i = 0; i < c.sectors.size(); ++i) {
      const std::string track = "  TRACK " + std::string(i < 9 ? "0" : "") + std::to_string(i + 1) + " AUDIO\n";
      const size_t track_at = text.find(track);
      const size_t file_at = text.find("FILE \"t" + std::to_string(i + 1) + ".wav\" WAVE\n");
      ASSERT_NE(track_at, std::string::npos);
      ASSERT_NE(file_at, std::string::npos);
      EXPECT_GT(file_at, at);
      at = file_at;
      ++files;
      if (i > 0 && c.pregaps[i] > 0) {
        EXPECT_LT(track_at, file_at) << "declared in the file before";
        EXPECT_NE(text.find("INDEX 00 " + CueTime(c.sectors[i - 1] - c.pregaps[i]) + "\n", track_at), std::string::npos);
      } else {
        EXPECT_GT(track_at, file_at);
      }
    }
    EXPECT_EQ(files, c.sectors.size());
    EXPECT_EQ(text.find("PREGAP") != std::string::npos, c.pregaps[0] > 0);
    if (c.pregaps[0] > 0) {
      EXPECT_NE(text.find("    PREGAP " + CueTime(c.pregaps[0]) + "\n"), std::string::npos);
    }
    int index01 = 0;
    for (size_t p = 0; (p = text.find("INDEX 01 00:00:00\n", p)) != std::string::npos; ++p) ++index01;
    EXPECT_EQ(index01, int(c.sectors.size()));
  }
  EXPECT_EQ(CueTime(0), "00:00:00");
  EXPECT_EQ(CueTime(4500 * 79 + 75 * 59 + 74), "79:59:74");
}

// A hidden track ripped before track 1: its file opens the sheet with
// track 1's INDEX 00 at its start, track 1's own file with its INDEX 01; no
// PREGAP, whatever track 1's pregap (the file holds it), and the tracks
// after it as without one.
TEST(CueSheetText, TheHiddenTracksFileHoldsTrack1sIndex00) {
  CueSheet sheet;
  sheet.hidden_file = "Track 00.flac";
  sheet.tracks = {{1, "Track 01.flac", 4000, "One", "", "DEA1X0000001", 2400},
                  {2, "Track 02.flac", 5000, "", "", "", 33}};
  EXPECT_EQ(RenderCueSheet(sheet),
            "FILE \"Track 00.flac\" WAVE\n"
            "  TRACK 01 AUDIO\n"
            "    TITLE \"One\"\n"
            "    ISRC DEA1X0000001\n"
            "    INDEX 00 00:00:00\n"
            "FILE \"Track 01.flac\" WAVE\n"
            "    INDEX 01 00:00:00\n"
            "  TRACK 02 AUDIO\n"
            "    INDEX 00 00:52:67\n"
            "FILE \"Track 02.flac\" WAVE\n"
            "    INDEX 01 00:00:00\n");
  // Without it, the same sheet declares track 1's pregap as silence.
  sheet.hidden_file.clear();
  const std::string plain = RenderCueSheet(sheet);
  EXPECT_EQ(plain.find("Track 00"), std::string::npos);
  EXPECT_NE(plain.find("    PREGAP 00:32:00\n    INDEX 01 00:00:00\n"), std::string::npos) << plain;
}

TEST(CueSheetFile, NamedAndNumberedLikeTheLogNeverReplacingOne) {
  testing::TempHives hives;
  const fs::path dir = hives.root() / "out";
  fs::create_directories(dir);
  std::string error;
  ASSERT_TRUE(WriteLogText("log", "Album", dir.string(), &error));
  std::vector<std::string> written;
  for (const char* text : {"one", "two", "three"}) {
    const auto path = WriteLogText(text, "Album", dir.string(), &error, ".cue");
    ASSERT_TRUE(path) << error;
    written.push_back(fs::path(*path).filename().string());
  }
  EXPECT_EQ(written, (std::vector<std::string>{"Album.cue", "Album (2).cue", "Album (3).cue"}));
  std::ifstream first(dir / "Album.cue");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(first), {}), "one");
  size_t files = 0;
  for (const auto& e : fs::directory_iterator(dir)) files += e.is_regular_file();
  EXPECT_EQ(files, 4u) << "no temporary file left";
}

}  // namespace
}  // namespace tonvik::riplog
