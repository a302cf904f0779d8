// The log of one rip: what was read, from which drive and how, and what
// AccurateRip made of every track. The rip job fills a RipLog; RenderLog
// turns it into the text that is written beside the tracks, ending with a
// line that holds the SHA-256 of every byte above it, so that a log edited
// afterwards can be told from the one the rip wrote (CheckLog).
#pragma once
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "accuraterip/disc_ids.h"
#include "accuraterip/verdict.h"
#include "core/version.h"

namespace tonvik::riplog {

enum class ReadMode {
  Burst,             // every sector read once, as the drive returns it
  JitterCorrection,  // overlapping reads matched against each other
};

// Where the read offset came from. Without one the offset is 0.
enum class OffsetSource {
  None,
  User,     // set by the user
  Stored,   // stored for the drive's model
  Detected, // found from a disc in the AccurateRip database
};

struct LogTocEntry {
  int number = 0;
  int32_t start = 0;   // INDEX 01, in sectors from LSN 0
  int32_t length = 0;  // in sectors
  bool audio = true;
};

struct LogTrack {
  int number = 0;             // the TOC's track number
  std::string file;           // the file name with its extension (UTF-8); empty when none was written
  int32_t start = 0;          // INDEX 01 of the track, in sectors
  int32_t length = 0;         // in sectors
  int64_t sectors_read = 0;   // sectors handed to the encoder
  int32_t sectors_replaced = 0;  // unreadable sectors replaced by silence
  int32_t peak = 0;           // the largest absolute sample value, 0 to 32768
  uint32_t copy_crc = 0;      // CRC32 of the track's PCM bytes
  uint32_t ar_v1 = 0;         // the AccurateRip sums of the track
  uint32_t ar_v2 = 0;
  accuraterip::TrackVerdict verdict;
  // The CUETools database's line for the track ("CTDB: ..."), when its
  // answer was compared, and whether it verified the track.
  std::string ctdb_line;
  bool ctdb_accurate = false;
  // What the disc says of the track (written only when the log has
  // disc_extras): its ISRC (empty: none) and its pregap (INDEX 00) in
  // sectors, nullopt when the drive could not tell.
  std::string isrc;
  std::optional<int32_t> pregap_sectors;
  // How the track was read ("burst read, verified by AccurateRip", ...), and
  // the sectors asked of the drive for it, every read counted; written when
  // set (not empty, not 0).
  std::string reading;
  int64_t sectors_asked = 0;
  // The hidden track before track 1 (number 0): no database holds sums for
  // it, so its block has no verdict and the summary counts it apart.
  bool hidden = false;
};

// What the disc carries besides its audio, for a disc that carries any of
// it (a catalogue number, an ISRC, a pregap or CD-Text).
struct LogDiscExtras {
  std::string mcn;  // 13 digits; empty: none
  bool cd_text_found = false;
};

struct RipLog {
  std::string program = "Tonvik";
  std::string version = kProductVersion;
  std::chrono::system_clock::time_point date{};  // when the rip started; written in UTC

  // The drive by its INQUIRY identification, or, for a disc image, its path
  // (then the drive fields are not written).
  std::string drive_vendor, drive_product, drive_revision;
  std::string image_path;

  ReadMode read_mode = ReadMode::Burst;
  int read_offset = 0;  // in samples
  OffsetSource offset_source = OffsetSource::None;

  std::string artist, album;  // UTF-8; empty when the disc has no titles
  std::vector<LogTocEntry> toc;
  std::string musicbrainz_id;  // empty when it could not be computed
  accuraterip::DiscIds disc_ids;  // AccurateRip IDs 1 and 2 and the FreeDB ID
  std::vector<std::string> ctdb_lines;  // the CUETools database's lines for the disc; none when not asked
  // Absent for a disc without any of it: then the log is what it always was.
  std::optional<LogDiscExtras> disc_extras;

  std::vector<LogTrack> tracks;  // in rip order
  bool cancelled = false;        // the rip stopped before its last track
};

// What the summary at the end of a log counts.
struct LogSummary {
  int tracks = 0;
  int accurate = 0;
  int not_accurate = 0;
  int not_present = 0;
  int unreachable = 0;
  int ctdb_accurate = 0;  // tracks the CUETools database verified
  int verified = 0;       // tracks either database verified
  int disputed = 0;       // not accurate by AccurateRip and not verified by CTDB either
  int hidden = 0;         // hidden tracks: in none of the counts above
  int64_t sectors_replaced = 0;
};
LogSummary Summarize(const RipLog& log);

// The verdict line of a track; it begins with exactly one of
// "Accurately ripped (confidence N)", "Not accurate",
// "Not present in the AccurateRip database" or
// "AccurateRip could not be reached".
std::string VerdictLine(const accuraterip::TrackVerdict& verdict);

// The AccurateRip IDs as "nnn-xxxxxxxx-xxxxxxxx-xxxxxxxx" (track count, ID 1,
// ID 2, FreeDB ID).
std::string AccurateRipIdText(const accuraterip::DiscIds& ids);

// The text of the log: UTF-8, LF line ends, the checksum line last.
std::string RenderLog(const RipLog& log);

// The last line of every log starts with this, followed by 64 lowercase hex
// digits and LF.
inline constexpr std::string_view kChecksumPrefix = "Log checksum SHA-256: ";

// The lowercase hex SHA-256 of the bytes.
std::string Sha256Hex(std::string_view bytes);

// The text with its checksum line appended (the text must end with LF).
std::string WithChecksumLine(std::string text);

}  // namespace tonvik::riplog
