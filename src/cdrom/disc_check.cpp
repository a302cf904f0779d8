#include "cdrom/disc_check.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <exception>
#include <optional>

#include "cdrom/cd_drive.h"
#include "core/app_exception.h"

namespace tonvik::cdrom {
namespace {

constexpr char kNoDisc[] = "Error. No disc in drive.";
constexpr char kNotReadable[] = "Error. Disc is not readable";
constexpr char kNotAudio[] = "Cannot convert this disk. It's probably not an audio disk.";
constexpr char16_t kBadTrackPath[] = u"Error. The path \"%1%\" does not name a track of the disc.";
constexpr char16_t kNoSuchTrack[] = u"Error. Track %1% is not on this disc.";

int32_t Be32(const uint8_t* p) { return int32_t(uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]); }

// The last address a CD can have: 99:59:74 less the 2-second lead-in offset.
constexpr int32_t kLastCdLba = (99 * 60 + 59) * 75 + 74 - 150;

}  // namespace

bool IsSoundToc(const std::vector<uint8_t>& toc) {
  // A lead-out alone is an answer too (a disc without tracks, refused later
  // as not audio).
  if (toc.size() < 4 + 8 || (toc.size() - 4) % 8 != 0) return false;
  if (size_t(toc[0] << 8 | toc[1]) + 2 != toc.size()) return false;
  const size_t entries = (toc.size() - 4) / 8;
  int last_number = 0;
  int64_t last_start = -1;
  for (size_t i = 0; i < entries; ++i) {
    const uint8_t* d = &toc[4 + i * 8];
    const int number = d[2];
    const int64_t start = Be32(&d[4]);
    const bool lead_out = number == 0xAA;
    if (lead_out != (i + 1 == entries)) return false;  // the lead-out, and only it, comes last
    if (!lead_out && (number < 1 || number > 99 || number <= last_number)) return false;
    if (start < 0 || start <= last_start || start > kLastCdLba) return false;
    if (!lead_out) last_number = number;
    last_start = start;
  }
  if (entries == 1) return true;
  return toc[2] == toc[4 + 2] && toc[3] == last_number;
}

namespace {

std::vector<uint8_t> Check(CdDrive& drive) {
  uint8_t config[8] = {};
  const SenseCode config_code = drive.GetConfiguration(config);
  if (config_code == 0) {
    const int profile = config[6] << 8 | config[7];
    if (profile != 0x0008 && profile != 0x0009 && profile != 0x000A) throw AppException(kNoDisc);
  } else if (config_code == kSenseInvalidOpcode) {
    uint8_t info[32] = {};
    if (drive.ReadDiscInformation(info) != 0) throw AppException("Internal error #153.");
    if ((info[2] & 0x10) == 0 && info[21] == 0xFF && info[22] == 0xFF && info[23] == 0xFF) {
      uint8_t header[12] = {};
      const SenseCode probe = drive.ReadTocHeader(header);
      if (probe != 0) {
        if ((probe & 0xFFF00) == kSenseNoMedium) throw AppException(kNoDisc);
        throw AppException("Internal error #154.");
      }
    }
  } else {
    throw AppException("Internal error #152.");
  }

  uint8_t info[32] = {};
  if (drive.ReadDiscInformation(info) != 0) throw AppException("Internal error #155.");
  const int status = info[2] & 0x03;
  if (status != 1 && status != 2) throw AppException("Error. Disc is either blank or not readable.");

  uint8_t header[12] = {};
  if (drive.ReadTocHeader(header) != 0) throw AppException(kNotReadable);
  const size_t total = size_t(header[0] << 8 | header[1]) + 2;
  // An allocation length has 16 bits; a length beyond it is no TOC.
  if (total > 0xFFFF) throw AppException(kNotReadable);
  std::vector<uint8_t> toc(total, 0);
  if (drive.ReadToc(header[2], toc.data(), uint16_t(total)) != 0) throw AppException(kNotReadable);
  // The answer is checked once, here: everything after trusts it.
  if (!IsSoundToc(toc)) throw AppException(kNotReadable);

  bool audio = false;
  for (size_t at = 4; at + 8 < total; at += 8)  // every descriptor before the lead-out
    if ((toc[at + 1] & 0x04) == 0) audio = true;
  if (!audio) throw AppException(kNotAudio);
  return toc;
}

std::vector<int32_t> Select(const std::vector<std::u16string>& paths, const std::vector<uint8_t>& toc) {
  std::vector<int32_t> selection;
  if (paths.size() == 1 && paths[0].size() == 3) {
    for (size_t at = 4; at + 8 < toc.size(); at += 8)
      if ((toc[at + 1] & 0x04) == 0 && toc[at + 2] != 0xAA) selection.push_back(toc[at + 2]);
    return selection;
  }
  const auto extents = BuildTrackMap(toc);
  for (const std::u16string& path : paths) {
    // Track files as the shell shows them: D:\Track05.cda, number at 8 and 9.
    // A path without the two digits, or a number the disc does not have, would
    // rip a meaningless or empty track: refuse it.
    if (path.size() < 10 || path[8] < u'0' || path[8] > u'9' || path[9] < u'0' || path[9] > u'9')
      throw AppException(FormatMessage(kBadTrackPath, {path}));
    const int32_t number = (path[8] - u'0') * 10 + (path[9] - u'0');
    if (extents.find(number) == extents.end())
      throw AppException(FormatMessage(kNoSuchTrack, {path.substr(8, 2)}));
    selection.push_back(number);
  }
  return selection;
}

}  // namespace

std::vector<uint8_t> CheckMedium(CdDrive& drive) { return Check(drive); }

void OpenAndIdentify(CdDrive& drive, char16_t letter) {
  if (!drive.Open(letter)) {
    const int err = errno;
    throw AppException(DriveOpenFailureMessage(err, drive.open_detail()));
  }
  uint8_t inquiry[36] = {};
  if (drive.Inquiry(inquiry) != 0) throw AppException("Cannot access CD drive: inquiry failed.");
  if ((inquiry[0] & 0x1F) != 5) throw AppException("Internal error #151. Drive is not a CD drive.");
}

DiscState CheckDisc(const std::vector<std::u16string>& paths) {
  if (paths.empty() || paths[0].empty())
    throw AppException("Error. The start-up input names no CD drive.");
  CdDrive drive;
  DiscState disc;
  try {
    const char16_t letter = paths[0][0];
    OpenAndIdentify(drive, letter);
    disc.drive_letter = letter;
    disc.toc = Check(drive);
    disc.selection = Select(paths, disc.toc);
    // ReadDiscExtras never raises on a drive's answer; anything else it
    // throws (memory) leaves the disc without extras rather than unrippable.
    try {
      disc.extras = ReadDiscExtras(drive, disc.toc);
    } catch (const std::exception&) {
      disc.extras.reset();
    }
  } catch (...) {
    drive.Close();
    throw;
  }
  drive.Close();
  return disc;
}

std::optional<AudioSession> EnhancedAudioSession(const std::vector<uint8_t>& toc) {
  struct Entry {
    int number;
    bool data;
    int32_t start;
  };
  std::vector<Entry> entries;
  for (size_t at = 4; at + 8 <= toc.size() && toc[at + 2] != 0xAA; at += 8)
    entries.push_back({toc[at + 2], (toc[at + 1] & 0x04) != 0, Be32(&toc[at + 4])});
  if (entries.size() < 2) return std::nullopt;
  // Between the sessions lie the first session's lead-out, the second's
  // lead-in and the data track's pregap. A mixed-mode disc (data track
  // first) has no such gap.
  const Entry& data = entries.back();
  const Entry& audio = entries[entries.size() - 2];
  const int64_t lead_out = int64_t(data.start) - kSessionGap;
  if (!data.data || audio.data || entries.front().data || lead_out <= audio.start) return std::nullopt;
  return AudioSession{audio.number, int32_t(lead_out)};
}

std::map<int32_t, TrackExtent> BuildTrackMap(const std::vector<uint8_t>& toc) {
  std::map<int32_t, TrackExtent> map;
  for (size_t at = 4; at + 8 <= toc.size(); at += 8) {
    if (toc[at + 2] == 0xAA) break;
    const int32_t start = Be32(&toc[at + 4]);
    // The next entry's start ends the track; without one (a cut-off buffer) it has no sectors.
    const int32_t next = at + 16 <= toc.size() ? Be32(&toc[at + 12]) : start;
    const int64_t count = std::clamp<int64_t>(int64_t(next) - start, 0, INT32_MAX);
    map[toc[at + 2]] = {start, int32_t(count)};
  }
  // The gap between the sessions is no part of the last audio track (a drive
  // cannot even read it): that track ends at the first session's lead-out.
  if (const auto session = EnhancedAudioSession(toc)) {
    TrackExtent& last = map[session->last_track];
    last.sector_count = int32_t(std::min<int64_t>(int64_t(session->lead_out) - last.first_sector, INT32_MAX));
  }
  return map;
}

}  // namespace tonvik::cdrom
