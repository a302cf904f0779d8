#include "cdrom/disc_check.h"

#include <cerrno>

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

void Check(CdDrive& drive) {
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
  std::vector<uint8_t> toc(total, 0);
  if (drive.ReadToc(header[2], toc.data(), uint16_t(total)) != 0) throw AppException(kNotReadable);

  bool audio = false;
  for (size_t at = 4; at + 8 < total; at += 8)  // every descriptor before the lead-out
    if ((toc[at + 1] & 0x04) == 0) audio = true;
  if (!audio) throw AppException(kNotAudio);
  Disc().toc = std::move(toc);
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

DiscState& Disc() {
  static DiscState state;
  return state;
}

void OpenAndIdentify(CdDrive& drive, char16_t letter) {
  if (!drive.Open(letter)) {
    const int err = errno;
    throw AppException(DriveOpenFailureMessage(err, drive.open_detail()));
  }
  uint8_t inquiry[36] = {};
  if (drive.Inquiry(inquiry) != 0) throw AppException("Cannot access CD drive: inquiry failed.");
  if ((inquiry[0] & 0x1F) != 5) throw AppException("Internal error #151. Drive is not a CD drive.");
}

void CheckDisc(const std::vector<std::u16string>& paths) {
  if (paths.empty() || paths[0].empty())
    throw AppException("Error. The start-up input names no CD drive.");
  CdDrive drive;
  try {
    const char16_t letter = paths[0][0];
    OpenAndIdentify(drive, letter);
    Disc().drive_letter = letter;
    Check(drive);
    Disc().selection = Select(paths, Disc().toc);
  } catch (...) {
    drive.Close();
    throw;
  }
  drive.Close();
}

std::map<int32_t, TrackExtent> BuildTrackMap(const std::vector<uint8_t>& toc) {
  std::map<int32_t, TrackExtent> map;
  for (size_t at = 4; at + 8 <= toc.size(); at += 8) {
    if (toc[at + 2] == 0xAA) break;
    const int32_t start = Be32(&toc[at + 4]);
    // The next entry's start ends the track; without one (a cut-off buffer) it has no sectors.
    const int32_t next = at + 16 <= toc.size() ? Be32(&toc[at + 12]) : start;
    map[toc[at + 2]] = {start, std::max(0, next - start)};
  }
  return map;
}

}  // namespace tonvik::cdrom
