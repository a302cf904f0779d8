#include "riplog/rip_log.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <cinttypes>
#include <cstdio>
#include <ctime>

namespace tonvik::riplog {
namespace {

// Field values go on one line of their own: a line break or other control
// character in a title or a file name becomes a space, so no value can make
// a line of the log's own (a checksum line among them).
std::string OneLine(std::string_view value) {
  std::string out(value);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return out;
}

std::string Trimmed(std::string_view value) {
  const size_t first = value.find_first_not_of(' ');
  if (first == std::string_view::npos) return "";
  const size_t last = value.find_last_not_of(' ');
  return std::string(value.substr(first, last - first + 1));
}

std::string Format(const char* format, auto... values) {
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, format, values...);
  return buffer;
}

std::string Hex8(uint32_t value) { return Format("%08" PRIX32, value); }

// Sectors as minutes, seconds and frames (75 a second): "4:02.37".
std::string Msf(int64_t sectors) {
  if (sectors < 0) sectors = 0;
  return Format("%" PRId64 ":%02d.%02d", sectors / (75 * 60), int(sectors / 75 % 60), int(sectors % 75));
}

std::string Date(std::chrono::system_clock::time_point when) {
  const std::time_t t = std::chrono::system_clock::to_time_t(when);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char buffer[64];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S UTC", &utc);
  return buffer;
}

std::string OffsetText(int offset, OffsetSource source) {
  switch (source) {
    case OffsetSource::None: return "0 (not known: not set by the user, stored or detected)";
    case OffsetSource::User: return Format("%+d samples (set by the user)", offset);
    case OffsetSource::Stored: return Format("%+d samples (stored for the drive model)", offset);
    case OffsetSource::Detected: return Format("%+d samples (detected)", offset);
  }
  return "0 (not known: not set by the user, stored or detected)";
}

class Lines {
 public:
  void Field(std::string_view label, std::string_view value) {
    std::string line(label);
    line += ':';
    line.append(line.size() < kColumn ? kColumn - line.size() : 1, ' ');
    line += OneLine(value);
    Line(line);
  }
  void Line(std::string_view line) {
    text_ += line;
    text_ += '\n';
  }
  void Blank() { text_ += '\n'; }
  std::string Take() { return std::move(text_); }

 private:
  static constexpr size_t kColumn = 30;
  std::string text_;
};

}  // namespace

LogSummary Summarize(const RipLog& log) {
  LogSummary s;
  for (const LogTrack& t : log.tracks) {
    s.sectors_replaced += t.sectors_replaced;
    if (t.hidden) {
      ++s.hidden;
      continue;
    }
    ++s.tracks;
    switch (t.verdict.verdict) {
      case accuraterip::Verdict::Accurate: ++s.accurate; break;
      case accuraterip::Verdict::NotAccurate: ++s.not_accurate; break;
      case accuraterip::Verdict::NotPresent: ++s.not_present; break;
      case accuraterip::Verdict::Unreachable: ++s.unreachable; break;
    }
    const bool ar_accurate = t.verdict.verdict == accuraterip::Verdict::Accurate;
    if (t.ctdb_accurate) ++s.ctdb_accurate;
    if (ar_accurate || t.ctdb_accurate) ++s.verified;
    if (t.verdict.verdict == accuraterip::Verdict::NotAccurate && !t.ctdb_accurate) ++s.disputed;
  }
  return s;
}

std::string VerdictLine(const accuraterip::TrackVerdict& v) {
  switch (v.verdict) {
    case accuraterip::Verdict::Accurate: {
      std::string line = Format("Accurately ripped (confidence %d)", v.confidence);
      if (v.sum == accuraterip::MatchedSum::V1) line += ", v1 sum";
      if (v.sum == accuraterip::MatchedSum::V2) line += ", v2 sum";
      return line;
    }
    case accuraterip::Verdict::NotAccurate:
      return Format("Not accurate (the database holds other sums, confidence up to %d)", v.best_confidence);
    case accuraterip::Verdict::NotPresent:
      return "Not present in the AccurateRip database";
    case accuraterip::Verdict::Unreachable:
      break;
  }
  return "AccurateRip could not be reached";
}

std::string AccurateRipIdText(const accuraterip::DiscIds& ids) {
  return Format("%03d-%08" PRIx32 "-%08" PRIx32 "-%08" PRIx32, ids.audio_tracks, ids.id1, ids.id2, ids.freedb);
}

std::string Sha256Hex(std::string_view bytes) {
  const QByteArray digest = QCryptographicHash::hash(
      QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())), QCryptographicHash::Sha256);
  return digest.toHex().toStdString();
}

std::string WithChecksumLine(std::string text) {
  const std::string sum = Sha256Hex(text);
  text += kChecksumPrefix;
  text += sum;
  text += '\n';
  return text;
}

std::string RenderLog(const RipLog& log) {
  Lines out;
  out.Line(OneLine(log.program + " " + log.version + " rip log"));
  out.Blank();
  out.Field("Date", Date(log.date));
  if (!log.image_path.empty()) {
    out.Field("Disc image", log.image_path);
  } else {
    out.Field("Drive vendor", Trimmed(log.drive_vendor));
    out.Field("Drive product", Trimmed(log.drive_product));
    out.Field("Drive revision", Trimmed(log.drive_revision));
  }
  out.Field("Read mode", log.read_mode == ReadMode::Burst ? "burst" : "jitter correction");
  out.Field("Read offset", OffsetText(log.read_offset, log.offset_source));
  out.Blank();
  out.Field("Artist", log.artist.empty() ? "(unknown)" : log.artist);
  out.Field("Album", log.album.empty() ? "(unknown)" : log.album);
  out.Blank();

  out.Line("Table of contents");
  out.Line("  Track      Start     Length  Type");
  for (const LogTocEntry& e : log.toc) {
    out.Line(Format("  %5d  %9" PRId32 "  %9" PRId32 "  %s", e.number, e.start, e.length,
                    e.audio ? "audio" : "data"));
  }
  out.Blank();

  out.Line("Disc IDs");
  out.Field("MusicBrainz", log.musicbrainz_id.empty() ? "(none)" : log.musicbrainz_id);
  out.Field("AccurateRip", AccurateRipIdText(log.disc_ids));
  out.Field("FreeDB", Format("%08" PRIx32, log.disc_ids.freedb));
  for (const std::string& line : log.ctdb_lines) out.Line(OneLine(line));
  if (log.disc_extras) {
    out.Blank();
    out.Line("Disc codes and text");
    out.Field("Catalogue number (MCN)", log.disc_extras->mcn.empty() ? "(none)" : log.disc_extras->mcn);
    out.Field("CD-Text", log.disc_extras->cd_text_found ? "found" : "not found");
  }

  for (const LogTrack& t : log.tracks) {
    out.Blank();
    out.Line(Format("Track %d", t.number));
    out.Field("File", t.file.empty() ? "(not written)" : t.file);
    out.Field("Start", Format("%" PRId32 " (%s)", t.start, Msf(t.start).c_str()));
    out.Field("Length", Format("%" PRId32 " sectors (%s)", t.length, Msf(t.length).c_str()));
    if (log.disc_extras && !t.hidden) {
      out.Field("ISRC", t.isrc.empty() ? "(none)" : t.isrc);
      if (!t.pregap_sectors)
        out.Field("Pregap", "(not known)");
      else if (*t.pregap_sectors == 0)
        out.Field("Pregap", "(none)");
      else
        out.Field("Pregap", Format("%" PRId32 " sectors (%s)", *t.pregap_sectors, Msf(*t.pregap_sectors).c_str()));
    }
    if (!t.reading.empty()) out.Field("Reading", OneLine(t.reading));
    out.Field("Sectors read", std::to_string(t.sectors_read));
    if (t.sectors_asked > 0) out.Field("Sectors asked of the drive", std::to_string(t.sectors_asked));
    out.Field("Sectors replaced by silence", std::to_string(t.sectors_replaced));
    const int per_mille = int((int64_t(t.peak < 0 ? 0 : t.peak) * 1000 + 16384) / 32768);
    out.Field("Peak level", Format("%d.%d %%", per_mille / 10, per_mille % 10));
    out.Field("Copy CRC", Hex8(t.copy_crc));
    out.Field("AccurateRip v1", Hex8(t.ar_v1));
    out.Field("AccurateRip v2", Hex8(t.ar_v2));
    if (t.hidden) {
      out.Field("Verification", "none (the hidden track before track 1 is in no database)");
      continue;
    }
    out.Line(VerdictLine(t.verdict));
    if (!t.ctdb_line.empty()) out.Line(OneLine(t.ctdb_line));
    // The two databases disagree: said here, and not counted as an error.
    if (t.verdict.verdict == accuraterip::Verdict::NotAccurate && t.ctdb_accurate)
      out.Line("AccurateRip and CTDB disagree: CTDB verifies this track, AccurateRip does not.");
    else if (t.verdict.verdict == accuraterip::Verdict::Accurate && !t.ctdb_accurate && !t.ctdb_line.empty())
      out.Line("AccurateRip and CTDB disagree: AccurateRip verifies this track, CTDB does not.");
  }

  const LogSummary s = Summarize(log);
  out.Blank();
  out.Line("Summary");
  out.Field("Tracks ripped", std::to_string(s.tracks));
  if (s.hidden > 0) out.Field("Hidden track before track 1", "ripped (not verified)");
  // No label here may begin like a verdict line: tools count those.
  out.Field("Tracks accurately ripped", std::to_string(s.accurate));
  out.Field("Tracks not accurate", std::to_string(s.not_accurate));
  out.Field("Tracks not in the database", std::to_string(s.not_present));
  out.Field("Tracks not verified", std::to_string(s.unreachable));
  if (!log.ctdb_lines.empty()) out.Field("Tracks verified by CTDB", std::to_string(s.ctdb_accurate));
  out.Field("Sectors replaced by silence", std::to_string(s.sectors_replaced));
  if (log.cancelled) {
    out.Line("The rip was cancelled before its last track.");
  } else if (s.tracks == 0) {
    out.Line("No track was ripped.");
  } else if (s.verified == s.tracks && s.sectors_replaced == 0) {
    out.Line("Every track was ripped accurately.");
  } else if (s.disputed > 0 || s.sectors_replaced > 0) {
    out.Line("Some tracks may hold errors.");
  } else {
    out.Line("No track was found to differ from the database; not every track could be verified.");
  }
  out.Blank();
  return WithChecksumLine(out.Take());
}

}  // namespace tonvik::riplog
