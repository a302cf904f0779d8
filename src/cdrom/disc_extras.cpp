#include "cdrom/disc_extras.h"

#include <algorithm>
#include <optional>

#include "cdrom/cd_drive.h"
#include "cdrom/disc_check.h"
#include "cdrom/subchannel.h"

namespace tonvik::cdrom {
namespace {

constexpr int kQStride = 2352 + kQSelectionBytes;
constexpr int kScanChunk = 25;           // sectors per READ CD while scanning
constexpr int kProbeAttempts = 6;        // sectors tried around one probe
// Eight blocks of 256 packs at most, and the header.
constexpr size_t kCdTextAllocation = 4 + 8 * 256 * kCdTextPackBytes;

// The Q frame of one sector, read alone; nullopt when the read fails or the
// frame is not usable.
std::optional<QFrame> ReadQ(CdDrive& drive, int32_t lba, int64_t* sectors, bool* refused) {
  uint8_t buffer[kQStride];
  const SenseCode code = drive.ReadCdWithQ(lba, 1, buffer);
  if (code != 0) {
    if ((code & 0xFFF00) == 0x52000 || (code & 0xFFF00) == 0x52400) *refused = true;
    return std::nullopt;
  }
  ++*sectors;
  return DecodeQ(buffer + 2352);
}

// Scans [from, to) for valid mode-2 (MCN) and mode-3 (ISRC) frames, at most
// kCodeScanSectors sectors, until it has each code it wants.
struct Codes {
  std::string mcn, isrc;
};
Codes ScanForCodes(CdDrive& drive, int32_t from, int32_t to, bool want_mcn, bool want_isrc, int64_t* sectors,
                   bool* refused) {
  Codes codes;
  to = int32_t(std::min<int64_t>(to, int64_t(from) + kCodeScanSectors));
  std::vector<uint8_t> buffer(size_t(kScanChunk) * kQStride);
  for (int32_t at = from; at < to && !*refused; at += kScanChunk) {
    const int count = std::min(kScanChunk, to - at);
    const SenseCode code = drive.ReadCdWithQ(at, uint8_t(count), buffer.data());
    if (code != 0) {
      if ((code & 0xFFF00) == 0x52000 || (code & 0xFFF00) == 0x52400) *refused = true;
      continue;  // a bad stretch: the next may read
    }
    *sectors += count;
    for (int i = 0; i < count; ++i) {
      const auto frame = DecodeQ(buffer.data() + size_t(i) * kQStride + 2352);
      if (frame && frame->kind == QFrame::Catalogue && codes.mcn.empty()) codes.mcn = frame->text;
      if (frame && frame->kind == QFrame::Isrc && codes.isrc.empty()) codes.isrc = frame->text;
    }
    if ((!want_mcn || !codes.mcn.empty()) && (!want_isrc || !codes.isrc.empty())) break;
  }
  return codes;
}

// What READ SUB-CHANNEL said of a code: the code; that the disc has none (a
// well-formed answer with the valid bit clear); or nothing to go by (refused,
// malformed, another track's, or a code that is not one).
enum class Said { Code, None, Poor };
Said Ask(CdDrive& drive, uint8_t format, uint8_t track, std::string* code) {
  uint8_t a[24] = {};
  if (drive.ReadSubChannel(format, track, a) != 0) return Said::Poor;
  const bool ours = a[4] == format && (format == 0x02 || a[6] == track) && (a[2] << 8 | a[3]) >= 20;
  if (!ours) return Said::Poor;
  if (auto parsed = format == 0x02 ? ParseMcnAnswer(a, sizeof a) : ParseIsrcAnswer(a, sizeof a)) {
    *code = *parsed;
    return Said::Code;
  }
  return a[8] & 0x80 ? Said::Poor : Said::None;
}

struct TocEntry {
  int number;
  uint8_t control;
  int32_t lba;
};

std::vector<TocEntry> TocEntries(const std::vector<uint8_t>& toc) {
  std::vector<TocEntry> entries;
  for (size_t at = 4; at + 8 <= toc.size(); at += 8) {
    const int32_t lba = int32_t(uint32_t(toc[at + 4]) << 24 | toc[at + 5] << 16 | toc[at + 6] << 8 | toc[at + 7]);
    entries.push_back({toc[at + 2], uint8_t(toc[at + 1] & 0x0F), lba});
    if (toc[at + 2] == 0xAA) break;
  }
  return entries;
}

int32_t FindPregap(CdDrive& drive, int track, int32_t lowest, int32_t start, int64_t* sectors, bool* refused) {
  // The answer lies in [lo, hi]; every sector from hi on up to start is in
  // the pregap (or hi == start). Probes go back from start in doubling steps
  // until one lands before the pregap, then halve the rest.
  int32_t lo = std::max(lowest, 0), hi = start;
  int32_t step = 1;
  bool galloping = true;
  while (lo < hi) {
    const int32_t target = galloping ? std::max(lo, hi - step) : lo + (hi - lo) / 2;
    // Try the target, then its neighbours inside [lo, hi), for a frame that
    // says where it is.
    std::optional<QFrame> frame;
    int32_t where = -1;
    for (int attempt = 0; attempt < kProbeAttempts && !*refused; ++attempt) {
      const int32_t s = target + (attempt % 2 ? -(attempt + 1) / 2 : attempt / 2);
      if (s < lo || s >= hi) continue;
      auto read = ReadQ(drive, s, sectors, refused);
      if (!read || read->kind != QFrame::Position) continue;
      // The frame says which sector it belongs to; a drive may hand back a
      // neighbour's.
      if (read->absolute - 150 >= lo && read->absolute - 150 < hi) {
        frame = read;
        where = read->absolute - 150;
        break;
      }
    }
    if (!frame) return -1;
    const bool inside = frame->track == track && frame->index == 0;
    if (!inside && frame->track != 0xAA && frame->track > track) return -1;  // the disc contradicts the TOC
    if (inside) {
      hi = where;
      step *= 2;
    } else {
      lo = where + 1;
      galloping = false;
    }
  }
  return hi;
}

}  // namespace

int32_t FindPregapStart(CdDrive& drive, int track, int32_t lowest, int32_t start, int64_t* sectors) {
  bool refused = false;
  return FindPregap(drive, track, lowest, start, sectors, &refused);
}

DiscExtras ReadDiscExtras(CdDrive& drive, const std::vector<uint8_t>& toc, const ExtrasRequest& request) {
  DiscExtras extras;
  if (!IsSoundToc(toc)) return extras;
  const std::vector<TocEntry> entries = TocEntries(toc);
  for (size_t i = 0; i + 1 < entries.size(); ++i) {
    TrackExtras t;
    t.number = entries[i].number;
    t.start_lba = entries[i].lba;
    t.audio = (entries[i].control & 0x04) == 0;
    extras.tracks.push_back(t);
  }
  // Where each track's audio ends: the next entry, or on an enhanced CD the
  // first session's lead-out.
  const auto extents = BuildTrackMap(toc);
  auto track_end = [&](const TrackExtras& t) {
    const auto it = extents.find(t.number);
    return it == extents.end() ? t.start_lba : it->second.first_sector + it->second.sector_count;
  };
  bool q_refused = false;

  // The codes: what READ SUB-CHANNEL says, and the Q sub-channel where it
  // says nothing usable. A drive's "none" is checked once, on the first audio
  // track; when the disc's Q shows a code there that the drive did not give,
  // no "none" of this drive is trusted.
  const auto first_audio =
      std::find_if(extras.tracks.begin(), extras.tracks.end(), [](const TrackExtras& t) { return t.audio; });
  if (first_audio != extras.tracks.end() && (request.mcn || request.isrc)) {
    Said mcn_said = Said::Code, first_said = Said::Code;
    if (request.mcn) mcn_said = Ask(drive, 0x02, 0, &extras.mcn);
    if (request.isrc) first_said = Ask(drive, 0x03, uint8_t(first_audio->number), &first_audio->isrc);
    bool trust_none = true;
    if (mcn_said != Said::Code || first_said != Said::Code) {
      const Codes seen = ScanForCodes(drive, first_audio->start_lba, track_end(*first_audio), mcn_said != Said::Code,
                                      first_said != Said::Code, &extras.scan_sectors, &q_refused);
      if (mcn_said != Said::Code) extras.mcn = seen.mcn;
      if (first_said != Said::Code) first_audio->isrc = seen.isrc;
      trust_none = !(mcn_said == Said::None && !seen.mcn.empty()) && !(first_said == Said::None && !seen.isrc.empty());
    }
    if (request.isrc) {
      for (auto t = first_audio + 1; t != extras.tracks.end(); ++t) {
        if (!t->audio) continue;
        const Said said = Ask(drive, 0x03, uint8_t(t->number), &t->isrc);
        if (said == Said::Poor || (said == Said::None && !trust_none))
          if (!q_refused)
            t->isrc = ScanForCodes(drive, t->start_lba, track_end(*t), false, true, &extras.scan_sectors, &q_refused).isrc;
      }
    }
  }
  extras.mcn_found = !extras.mcn.empty();
  for (const TrackExtras& t : extras.tracks) extras.isrc_found = extras.isrc_found || !t.isrc.empty();

  if (request.pregaps) {
    for (size_t i = 0; i < extras.tracks.size(); ++i) {
      TrackExtras& t = extras.tracks[i];
      if (!t.audio) continue;
      const int32_t lowest = i == 0 ? 0 : extras.tracks[i - 1].start_lba + 1;
      if (lowest >= t.start_lba) {  // no sector before it that could be a pregap
        t.pregap_known = true;
        continue;
      }
      if (q_refused) continue;
      const int32_t first = FindPregap(drive, t.number, lowest, t.start_lba, &extras.search_sectors, &q_refused);
      if (first < 0) continue;
      t.pregap_known = true;
      t.index0_lba = first < t.start_lba ? first : -1;
      t.pregap_sectors = t.start_lba - first;
    }
  }

  if (request.cd_text) {
    std::vector<uint8_t> answer(kCdTextAllocation, 0);
    uint8_t header[4] = {};
    // The length first, then the whole answer (some drives refuse an
    // allocation larger than what they hold; none minds one that is smaller).
    if (drive.ReadCdText(header, sizeof header) == 0) {
      const size_t length = std::min<size_t>({size_t(header[0] << 8 | header[1]) + 2, answer.size(), 0xFFFF});
      if (length > 4 && drive.ReadCdText(answer.data(), uint16_t(length)) == 0) {
        extras.cd_text = ParseCdText(answer.data(), length);
        extras.cd_text_found = extras.cd_text.found;
      }
    }
  }
  return extras;
}

}  // namespace tonvik::cdrom
