// The text of a rip log: every field a reader looks for, the verdict wording
// the tools that read logs match, and a checksum line that any edit breaks.
#include "riplog/rip_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "riplog/log_file.h"

namespace tonvik::riplog {
namespace {

using accuraterip::MatchedSum;
using accuraterip::TrackVerdict;
using accuraterip::Verdict;

const char* const kVerdictOpenings[] = {"Accurately ripped (confidence ", "Not accurate",
                                        "Not present in the AccurateRip database",
                                        "AccurateRip could not be reached"};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t lf; (lf = text.find('\n', start)) != std::string::npos; start = lf + 1)
    lines.push_back(text.substr(start, lf - start));
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// The values of every "Label: value" line with that label, in order.
std::vector<std::string> Values(const std::string& text, const std::string& label) {
  std::vector<std::string> values;
  for (const std::string& line : Lines(text)) {
    if (line.rfind(label + ":", 0) != 0) continue;
    const size_t value = line.find_first_not_of(' ', label.size() + 1);
    values.push_back(value == std::string::npos ? "" : line.substr(value));
  }
  return values;
}

std::string Value(const std::string& text, const std::string& label) {
  const auto values = Values(text, label);
  return values.size() == 1 ? values[0] : "<" + std::to_string(values.size()) + " lines>";
}

std::vector<std::string> VerdictLines(const std::string& text) {
  std::vector<std::string> out;
  for (const std::string& line : Lines(text))
    for (const char* opening : kVerdictOpenings)
      if (line.rfind(opening, 0) == 0) out.push_back(line);
  return out;
}

LogTrack Track(int number, Verdict verdict, int confidence = 0) {
  LogTrack t;
  t.number = number;
  t.file = "0" + std::to_string(number) + " - Song.flac";
  t.start = 150 * number;
  t.length = 20000 + number;
  t.sectors_read = t.length;
  t.peak = 32768;
  t.copy_crc = 0x0A0B0C0Du * uint32_t(number);
  t.ar_v1 = 0x1234u * uint32_t(number);
  t.ar_v2 = 0xFEDCBA98u - uint32_t(number);
  t.verdict.verdict = verdict;
  t.verdict.confidence = confidence;
  t.verdict.best_confidence = confidence;
  if (verdict == Verdict::Accurate) t.verdict.sum = MatchedSum::V2;
  return t;
}

RipLog Sample() {
  RipLog log;
  log.version = "1.13";
  log.date = std::chrono::system_clock::from_time_t(1714566896);  // 2024-05-01 12:34:56 UTC
  log.drive_vendor = "PLEXTOR ";
  log.drive_product = "DVDR   PX-716A  ";
  log.drive_revision = "1.11";
  log.read_mode = ReadMode::JitterCorrection;
  log.read_offset = 30;
  log.offset_source = OffsetSource::Stored;
  log.artist = "Sigur Rós";
  log.album = "Ágætis byrjun";
  log.toc = {{1, 0, 20001, true}, {2, 20001, 20002, true}, {3, 40003, 20003, true}, {4, 71403, 3000, false}};
  log.musicbrainz_id = "AbCdEfGhIjKlMnOpQrStUvWxYz0-";
  log.disc_ids = {3, 0x0015c1a4, 0x00a6e7e6, 0x2a0b2c04};
  log.tracks = {Track(1, Verdict::Accurate, 12), Track(2, Verdict::NotAccurate, 7), Track(3, Verdict::NotPresent),
                Track(4, Verdict::Unreachable)};
  return log;
}

TEST(RipLogText, HoldsTheFieldsOfTheRip) {
  const RipLog log = Sample();
  const std::string text = RenderLog(log);
  struct Case {
    std::string label, value;
  } cases[] = {
      {"Date", "2024-05-01 12:34:56 UTC"},
      {"Drive vendor", "PLEXTOR"},
      {"Drive product", "DVDR   PX-716A"},
      {"Drive revision", "1.11"},
      {"Read mode", "jitter correction"},
      {"Read offset", "+30 samples (stored for the drive model)"},
      {"Artist", "Sigur Rós"},
      {"Album", "Ágætis byrjun"},
      {"MusicBrainz", "AbCdEfGhIjKlMnOpQrStUvWxYz0-"},
      {"AccurateRip", "003-0015c1a4-00a6e7e6-2a0b2c04"},
      {"FreeDB", "2a0b2c04"},
      {"Tracks ripped", "4"},
      {"Tracks accurately ripped", "1"},
      {"Tracks not accurate", "1"},
      {"Tracks not in the database", "1"},
      {"Tracks not verified", "1"},
  };
  for (const Case& c : cases) EXPECT_EQ(Value(text, c.label), c.value) << c.label;
  EXPECT_EQ(Lines(text)[0], "Tonvik 1.13 rip log");
  EXPECT_EQ(Lines(RenderLog(RipLog{}))[0], std::string("Tonvik ") + kProductVersion + " rip log");
  EXPECT_TRUE(Values(text, "Disc image").empty());

  // The TOC: one row per entry, data tracks marked.
  const std::vector<std::string> lines = Lines(text);
  for (const LogTocEntry& e : log.toc) {
    const std::regex row("^ +" + std::to_string(e.number) + " +" + std::to_string(e.start) + " +" +
                         std::to_string(e.length) + " +" + (e.audio ? "audio" : "data") + "$");
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [&](const std::string& l) { return std::regex_match(l, row); }),
              1)
        << "track " << e.number;
  }

  // Per track, in rip order.
  std::vector<std::string> files, crcs, v1s, v2s, starts, lengths, peaks;
  for (const LogTrack& t : log.tracks) {
    files.push_back(t.file);
    char hex[3][9];
    std::snprintf(hex[0], 9, "%08X", t.copy_crc);
    std::snprintf(hex[1], 9, "%08X", t.ar_v1);
    std::snprintf(hex[2], 9, "%08X", t.ar_v2);
    crcs.push_back(hex[0]);
    v1s.push_back(hex[1]);
    v2s.push_back(hex[2]);
    peaks.push_back("100.0 %");
  }
  EXPECT_EQ(Values(text, "File"), files);
  EXPECT_EQ(Values(text, "Copy CRC"), crcs);
  EXPECT_EQ(Values(text, "AccurateRip v1"), v1s);
  EXPECT_EQ(Values(text, "AccurateRip v2"), v2s);
  EXPECT_EQ(Values(text, "Peak level"), peaks);
  EXPECT_EQ(Values(text, "Start")[1], "300 (0:04.00)");
  EXPECT_EQ(Values(text, "Length")[0], "20001 sectors (4:26.51)");
  EXPECT_EQ(Values(text, "Sectors read").size(), 4u);
  EXPECT_EQ(Values(text, "Sectors replaced by silence").size(), 5u);  // four tracks and the summary
  for (const std::string& hex : Values(text, "Copy CRC")) EXPECT_TRUE(std::regex_match(hex, std::regex("[0-9A-F]{8}")));
}

// The disc's codes, pregaps and CD-Text: a block of their own and two lines
// per track, only for a disc that carries any of it; without, the log is the
// text it always was, line for line.
TEST(RipLogText, DiscCodesPregapsAndCdTextOnlyWhenTheDiscHasThem) {
  const std::string plain = RenderLog(Sample());
  const struct {
    const char* name;
    std::optional<LogDiscExtras> extras;
    std::vector<std::string> isrcs;                  // per track
    std::vector<std::optional<int32_t>> pregaps;     // per track
    std::string mcn_value, cd_text_value;
    std::vector<std::string> isrc_values, pregap_values;
  } cases[] = {
      {"none", std::nullopt, {"USRC17607839", "", "", ""}, {0, 33, std::nullopt, 0}, "", "", {}, {}},
      {"codes_and_text",
       LogDiscExtras{"4006381333931", true},
       {"USRC17607839", "GBAYE0000001", "", ""},
       {0, 33, std::nullopt, 75 * 62 + 3},
       "4006381333931",
       "found",
       {"USRC17607839", "GBAYE0000001", "(none)", "(none)"},
       {"(none)", "33 sectors (0:00.33)", "(not known)", "4653 sectors (1:02.03)"}},
      {"pregaps_only",
       LogDiscExtras{"", false},
       {"", "", "", ""},
       {0, 150, 0, 0},
       "(none)",
       "not found",
       {"(none)", "(none)", "(none)", "(none)"},
       {"(none)", "150 sectors (0:02.00)", "(none)", "(none)"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RipLog log = Sample();
    log.disc_extras = c.extras;
    for (size_t i = 0; i < log.tracks.size(); ++i) {
      log.tracks[i].isrc = c.isrcs[i];
      log.tracks[i].pregap_sectors = c.pregaps[i];
    }
    const std::string text = RenderLog(log);
    EXPECT_EQ(CheckLogText(text), LogCheck::Intact);
    if (!c.extras) {
      EXPECT_EQ(text, plain);
      continue;
    }
    EXPECT_EQ(Value(text, "Catalogue number (MCN)"), c.mcn_value);
    EXPECT_EQ(Value(text, "CD-Text"), c.cd_text_value);
    EXPECT_EQ(Values(text, "ISRC"), c.isrc_values);
    EXPECT_EQ(Values(text, "Pregap"), c.pregap_values);
    // Nothing else of the log moves: every line of the plain log is there, in order.
    const auto lines = Lines(text);
    size_t at = 0;
    for (const std::string& line : Lines(plain)) {
      if (line.rfind(std::string(kChecksumPrefix), 0) == 0) continue;
      while (at < lines.size() && lines[at] != line) ++at;
      ASSERT_LT(at, lines.size()) << "missing: " << line;
    }
    EXPECT_EQ(VerdictLines(text).size(), 4u);
  }
}

TEST(RipLogText, DriveImageOffsetsAndReadModes) {
  struct Case {
    const char* name;
    void (*change)(RipLog&);
    const char* label;
    const char* value;
  } cases[] = {
      {"image instead of drive", [](RipLog& l) { l.image_path = "/home/a/Discs/Album.cue"; }, "Disc image",
       "/home/a/Discs/Album.cue"},
      {"burst", [](RipLog& l) { l.read_mode = ReadMode::Burst; }, "Read mode", "burst"},
      {"user offset", [](RipLog& l) { l.read_offset = -6, l.offset_source = OffsetSource::User; }, "Read offset",
       "-6 samples (set by the user)"},
      {"detected offset", [](RipLog& l) { l.read_offset = 667, l.offset_source = OffsetSource::Detected; },
       "Read offset", "+667 samples (detected)"},
      // Without a source there is no offset, whatever the field holds.
      {"no offset", [](RipLog& l) { l.read_offset = 48, l.offset_source = OffsetSource::None; }, "Read offset",
       "0 (not known: not set by the user, stored or detected)"},
      {"no titles", [](RipLog& l) { l.album.clear(); }, "Album", "(unknown)"},
      {"no MusicBrainz ID", [](RipLog& l) { l.musicbrainz_id.clear(); }, "MusicBrainz", "(none)"},
      {"peak of silence", [](RipLog& l) { l.tracks[0].peak = 0; }, "Peak level", "0.0 %"},
      {"peak of half scale", [](RipLog& l) { l.tracks[0].peak = 16384; }, "Peak level", "50.0 %"},
      {"track not written", [](RipLog& l) { l.tracks[0].file.clear(); }, "File", "(not written)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RipLog log = Sample();
    c.change(log);
    const std::string text = RenderLog(log);
    EXPECT_EQ(Values(text, c.label).at(0), c.value);
    EXPECT_EQ(CheckLogText(text), LogCheck::Intact);
    if (!log.image_path.empty()) {
      EXPECT_TRUE(Values(text, "Drive vendor").empty());
    }
  }
}

TEST(RipLogText, EveryTrackHasOneVerdictLineWithOneOfTheFourOpenings) {
  struct Case {
    TrackVerdict verdict;
    std::string line;
  } cases[] = {
      {{Verdict::Accurate, 12, MatchedSum::V2, 12}, "Accurately ripped (confidence 12), v2 sum"},
      {{Verdict::Accurate, 1, MatchedSum::V1, 30}, "Accurately ripped (confidence 1), v1 sum"},
      {{Verdict::NotAccurate, 0, MatchedSum::None, 9},
       "Not accurate (the database holds other sums, confidence up to 9)"},
      {{Verdict::NotPresent, 0, MatchedSum::None, 0}, "Not present in the AccurateRip database"},
      {{Verdict::Unreachable, 0, MatchedSum::None, 0}, "AccurateRip could not be reached"},
  };
  RipLog log = Sample();
  log.tracks.clear();
  for (const Case& c : cases) {
    EXPECT_EQ(VerdictLine(c.verdict), c.line);
    int openings = 0;
    for (const char* opening : kVerdictOpenings) openings += c.line.rfind(opening, 0) == 0;
    EXPECT_EQ(openings, 1) << c.line;
    log.tracks.push_back(Track(int(log.tracks.size()) + 1, Verdict::Accurate));
    log.tracks.back().verdict = c.verdict;
  }
  std::vector<std::string> expected;
  for (const Case& c : cases) expected.push_back(c.line);
  EXPECT_EQ(VerdictLines(RenderLog(log)), expected);
}

// The track with the CUETools database's line for it.
LogTrack Ctdb(LogTrack t, bool accurate) {
  t.ctdb_line = accurate ? "CTDB: Accurately ripped (4/4)" : "CTDB: No match (0/4)";
  t.ctdb_accurate = accurate;
  return t;
}

TEST(RipLogText, TheSummaryFollowsTheTracks) {
  struct Case {
    const char* name;
    std::vector<LogTrack> tracks;
    int32_t replaced;  // on the first track
    bool cancelled;
    const char* closing;
  } cases[] = {
      {"all accurate", {Track(1, Verdict::Accurate, 3), Track(2, Verdict::Accurate, 3)}, 0, false,
       "Every track was ripped accurately."},
      {"accurate but with replaced sectors", {Track(1, Verdict::Accurate, 3)}, 2, false,
       "Some tracks may hold errors."},
      {"one not accurate", {Track(1, Verdict::Accurate, 3), Track(2, Verdict::NotAccurate, 3)}, 0, false,
       "Some tracks may hold errors."},
      {"nothing to compare with", {Track(1, Verdict::NotPresent), Track(2, Verdict::Unreachable)}, 0, false,
       "No track was found to differ from the database; not every track could be verified."},
      {"cancelled", {Track(1, Verdict::Accurate, 3)}, 0, true, "The rip was cancelled before its last track."},
      // The CUETools database's word counts as much as AccurateRip's.
      {"CTDB verifies what AccurateRip does not know", {Ctdb(Track(1, Verdict::NotPresent), true)}, 0, false,
       "Every track was ripped accurately."},
      {"CTDB verifies what AccurateRip contradicts", {Ctdb(Track(1, Verdict::NotAccurate, 3), true)}, 0, false,
       "Every track was ripped accurately."},
      {"neither verifies", {Ctdb(Track(1, Verdict::NotAccurate, 3), false)}, 0, false,
       "Some tracks may hold errors."},
      {"no track", {}, 0, false, "No track was ripped."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RipLog log = Sample();
    log.tracks = c.tracks;
    if (!log.tracks.empty()) log.tracks[0].sectors_replaced = c.replaced;
    log.cancelled = c.cancelled;
    const std::string text = RenderLog(log);
    const auto lines = Lines(text);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3], c.closing);
    EXPECT_EQ(Values(text, "Sectors replaced by silence").back(), std::to_string(c.replaced));
    EXPECT_EQ(Value(text, "Tracks ripped"), std::to_string(c.tracks.size()));
    // Where the two databases disagree the track says so, once.
    for (const LogTrack& t : c.tracks) {
      const bool ar = t.verdict.verdict == Verdict::Accurate, disagree =
          !t.ctdb_line.empty() && (ar != t.ctdb_accurate) && t.verdict.verdict != Verdict::NotPresent;
      EXPECT_EQ(text.find("AccurateRip and CTDB disagree") != std::string::npos, disagree);
    }
  }
}

// A hidden track before track 1 has no verdict: the summary's verdicts are
// the TOC's tracks', and only its replaced sectors count with theirs.
TEST(RipLogText, TheHiddenTrackHasNoVerdictAndCountsApart) {
  LogTrack hidden = Track(0, Verdict::Unreachable);
  hidden.hidden = true;
  hidden.start = 0;
  const struct {
    const char* name;
    int32_t replaced;  // in the hidden track
    const char* closing;
  } cases[] = {
      {"read_cleanly", 0, "Every track was ripped accurately."},
      {"sectors_replaced", 3, "Some tracks may hold errors."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RipLog log = Sample();
    log.disc_extras = LogDiscExtras{"", false};
    log.tracks = {hidden, Track(1, Verdict::Accurate, 3), Track(2, Verdict::Accurate, 3)};
    log.tracks[0].sectors_replaced = c.replaced;
    const std::string text = RenderLog(log);
    const auto lines = Lines(text);
    EXPECT_EQ(lines[lines.size() - 3], c.closing);
    EXPECT_EQ(VerdictLines(text).size(), 2u);
    EXPECT_EQ(Value(text, "Verification"), "none (the hidden track before track 1 is in no database)");
    EXPECT_EQ(Value(text, "Tracks ripped"), "2");
    EXPECT_EQ(Value(text, "Tracks accurately ripped"), "2");
    EXPECT_EQ(Value(text, "Hidden track before track 1"), "ripped (not verified)");
    EXPECT_EQ(Values(text, "Sectors replaced by silence").back(), std::to_string(c.replaced));
    // Codes and pregaps are the TOC's tracks': the hidden track has none.
    EXPECT_EQ(Values(text, "ISRC").size(), 2u);
    EXPECT_NE(text.find("\nTrack 0\n"), std::string::npos);
  }
  // A log without one says nothing of it.
  EXPECT_EQ(RenderLog(Sample()).find("Hidden track"), std::string::npos);
}

TEST(RipLogText, IsUtf8WithLineFeedsAndEndsWithTheChecksumOfEverythingAbove) {
  const std::string text = RenderLog(Sample());
  EXPECT_EQ(text.find('\r'), std::string::npos);
  ASSERT_EQ(text.back(), '\n');
  const auto lines = Lines(text);
  const std::string& last = lines.back();
  ASSERT_TRUE(std::regex_match(last, std::regex("Log checksum SHA-256: [0-9a-f]{64}"))) << last;
  const std::string above = text.substr(0, text.size() - last.size() - 1);
  EXPECT_EQ(last.substr(kChecksumPrefix.size()), Sha256Hex(above));
  EXPECT_EQ(CheckLogText(text), LogCheck::Intact);
  // The values keep their UTF-8 bytes.
  EXPECT_NE(text.find("\xC3\x81g\xC3\xA6tis"), std::string::npos);
}

TEST(RipLogText, Sha256OfKnownInputs) {
  struct Case {
    std::string input, hex;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
  };
  for (const Case& c : cases) EXPECT_EQ(Sha256Hex(c.input), c.hex);
}

// A value cannot make a line of its own: a title holding a line break and a
// forged checksum stays on its field's line, and the log still checks.
TEST(RipLogText, ValuesWithLineBreaksStayOnTheirLine) {
  const std::string plain = RenderLog(Sample());
  RipLog log = Sample();
  log.album = "A\nLog checksum SHA-256: " + std::string(64, '0') + "\n";
  log.artist = "B\r\n\tC";
  log.tracks[0].file = "x\ny.flac";
  const std::string text = RenderLog(log);
  EXPECT_EQ(Lines(text).size(), Lines(plain).size());
  EXPECT_EQ(CheckLogText(text), LogCheck::Intact);
  EXPECT_EQ(Value(text, "Artist"), "B   C");
}

TEST(RipLogCheck, AnyOneByteEditAboveTheChecksumLineIsDetected) {
  const std::string text = RenderLog(Sample());
  const size_t checksum_line = text.rfind(kChecksumPrefix);
  ASSERT_NE(checksum_line, std::string::npos);
  // Every byte of every line above it, each changed in two ways.
  for (size_t at = 0; at < checksum_line; ++at) {
    for (const char replacement : {char(text[at] ^ 0x01), char(text[at] == ' ' ? 'x' : ' ')}) {
      std::string edited = text;
      edited[at] = replacement;
      ASSERT_EQ(CheckLogText(edited), LogCheck::Edited) << "byte " << at << " of " << checksum_line;
    }
  }
}

TEST(RipLogCheck, WholeLineEditsAndMissingChecksums) {
  const std::string text = RenderLog(Sample());
  const size_t checksum_line = text.rfind(kChecksumPrefix);
  const std::string above = text.substr(0, checksum_line), line = text.substr(checksum_line);
  std::string upper = line;
  for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
  upper.replace(0, kChecksumPrefix.size(), kChecksumPrefix);
  struct Case {
    const char* name;
    std::string text;
    LogCheck expected;
  } cases[] = {
      {"as written", text, LogCheck::Intact},
      {"a line removed", text.substr(text.find('\n') + 1), LogCheck::Edited},
      {"a line added at the top", "Extra\n" + text, LogCheck::Edited},
      {"a line added after the checksum", text + "Extra\n", LogCheck::Edited},
      {"a second checksum line appended", text + line, LogCheck::Edited},
      {"the final line feed removed", text.substr(0, text.size() - 1), LogCheck::Edited},
      {"carriage returns added", [&] {
         std::string crlf;
         for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
         return crlf;
       }(), LogCheck::Edited},
      {"upper-case digits", above + upper, LogCheck::Edited},
      {"a digit short", above + line.substr(0, line.size() - 2) + "\n", LogCheck::Edited},
      {"the checksum of other text", above + kChecksumPrefix.data() + Sha256Hex("other") + "\n", LogCheck::Edited},
      {"no checksum line", above, LogCheck::NoChecksum},
      {"prefix in the middle of a line", above + "x " + line, LogCheck::Edited},
      {"empty", "", LogCheck::NoChecksum},
      {"only a checksum line", WithChecksumLine(""), LogCheck::Intact},
      {"other text with its checksum", WithChecksumLine("Anything\n"), LogCheck::Intact},
  };
  for (const Case& c : cases) EXPECT_EQ(CheckLogText(c.text), c.expected) << c.name;
}

}  // namespace
}  // namespace tonvik::riplog
