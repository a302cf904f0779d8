#include "cdrom/image_transport.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "cdrom/cd_text.h"
#include "cdrom/subchannel.h"

namespace tonvik::cdrom {
namespace {

constexpr int32_t kInvalidOpcode = 0x52000;
constexpr int32_t kLbaOutOfRange = 0x52100;
constexpr int32_t kInvalidField = 0x52400;
constexpr int32_t kNoMedium = 0x23A00;
constexpr int32_t kUnrecoveredRead = 0x31100;
constexpr int32_t kInProgress = 0x20407;

uint16_t Allocation16(const uint8_t* cdb, int at) { return uint16_t(cdb[at] << 8 | cdb[at + 1]); }

void PutLba(uint8_t* p, int32_t lba, bool msf) {
  if (msf) {
    const int32_t f = lba + 150;
    p[0] = 0;
    p[1] = uint8_t(f / 4500);
    p[2] = uint8_t(f / 75 % 60);
    p[3] = uint8_t(f % 75);
  } else {
    p[0] = uint8_t(lba >> 24);
    p[1] = uint8_t(lba >> 16);
    p[2] = uint8_t(lba >> 8);
    p[3] = uint8_t(lba);
  }
}

// Copies what fits of a response into the caller's buffer.
void Deliver(const std::vector<uint8_t>& response, uint8_t* out, uint32_t length, uint32_t allocation) {
  const uint32_t n = std::min<uint32_t>({length, allocation, uint32_t(response.size())});
  if (n) std::memcpy(out, response.data(), n);
}

}  // namespace

ImageTransport::ImageTransport(std::unique_ptr<CueImage> image, FaultPlan plan)
    : image_(std::move(image)), plan_(std::move(plan)) {
  // A sheet writes zeros where the drive it was made with found no code:
  // this disc carries none there.
  auto zeros = [](const std::string& s) { return !s.empty() && s.find_first_not_of('0') == std::string::npos; };
  catalog_ = zeros(image_->disc_text().catalog) ? "" : image_->disc_text().catalog;
  for (const CueTrack& t : image_->tracks()) isrcs_.push_back(zeros(t.isrc) ? "" : t.isrc);
  CdTextSource text;
  const CueDiscText& disc = image_->disc_text();
  text.album_title = disc.title;
  text.album_performer = disc.performer;
  text.album_songwriter = disc.songwriter;
  text.upc = catalog_;
  text.first_track = image_->tracks().front().number;
  for (size_t i = 0; i < image_->tracks().size(); ++i) {
    const CueTrack& t = image_->tracks()[i];
    text.tracks.push_back({t.title, t.performer, t.songwriter, isrcs_[i]});
  }
  cd_text_packs_ = RenderCdTextPacks(text);
}

std::unique_ptr<ImageTransport> ImageTransport::Open(const std::string& cue_path, std::string* error) {
  auto image = CueImage::Load(cue_path, error);
  if (!image) return nullptr;
  FaultPlan plan;
  if (!FaultPlan::LoadFromEnvironment(&plan, error)) return nullptr;
  return std::make_unique<ImageTransport>(std::move(image), std::move(plan));
}

bool ImageTransport::Execute(const uint8_t* cdb, int cdb_length, int direction, void* buffer,
                             uint32_t length, uint32_t /*timeout_seconds*/, uint8_t sense[18]) {
  std::memset(sense, 0, kSenseBytes);
  if (cdb_length < 6 || cdb_length > 16 || (direction != kDirectionIn && direction != kDirectionNone) ||
      (direction == kDirectionIn && (buffer == nullptr || length == 0)) ||
      (direction == kDirectionNone && (buffer != nullptr || length != 0))) {
    errno = EINVAL;  // a request no driver would pass on
    return false;
  }
  ++counters_->commands;
  auto* out = static_cast<uint8_t*>(buffer);
  if (out) std::memset(out, 0, length);
  const uint8_t opcode = cdb[0];
  // Commands that move data must be sent with data-in; those that do not, without.
  const bool data_command = opcode == 0x12 || opcode == 0x46 || opcode == 0x51 || opcode == 0x43 || opcode == 0xBE ||
                             opcode == 0x42;
  Sense result = 0;
  if ((opcode == 0x1B || opcode == 0x1E) && direction != kDirectionNone) {
    result = kInvalidField;
  } else if (data_command && direction != kDirectionIn) {
    result = kInvalidField;
  } else {
    const auto fault = std::find_if(plan_.sense.begin(), plan_.sense.end(),
                                    [&](const FaultPlan::SenseFault& f) { return f.opcode == opcode; });
    if (opcode == 0x1B) ++counters_->start_stop_calls;
    if (fault != plan_.sense.end()) {
      result = fault->key << 16 | fault->asc << 8 | fault->ascq;
      if (opcode == 0x1B) ++start_stops_;
    } else {
      switch (opcode) {
        case 0x12: result = Inquiry(cdb, out, length); break;
        case 0x46: result = GetConfiguration(cdb, out, length); break;
        case 0x51: result = ReadDiscInformation(cdb, out, length); break;
        case 0x43: result = (cdb[2] & 0x0F) == 5 ? ReadCdText(cdb, out, length) : ReadToc(cdb, out, length); break;
        case 0x42: result = ReadSubChannel(cdb, out, length); break;
        case 0xBE: result = ReadCd(cdb, out, length); break;
        case 0x1B: result = StartStop(cdb); break;
        case 0x1E: result = 0; break;
        default: result = kInvalidOpcode; break;
      }
    }
  }
  if (result != 0) {
    sense[0] = 0x70;
    sense[2] = uint8_t(result >> 16 & 0x0F);
    sense[7] = 10;
    sense[12] = uint8_t(result >> 8);
    sense[13] = uint8_t(result);
  }
  return true;
}

ImageTransport::Sense ImageTransport::Inquiry(const uint8_t* cdb, uint8_t* out, uint32_t length) {
  std::vector<uint8_t> r(36, 0);
  r[0] = uint8_t(plan_.inquiry_type & 0x1F);
  r[1] = 0x80;  // removable medium
  r[2] = 0x05;
  r[3] = 0x02;
  r[4] = 31;
  std::memcpy(&r[8], "TONVIK  ", 8);
  std::memcpy(&r[16], "DISC IMAGE      ", 16);
  std::memcpy(&r[32], "1.0 ", 4);
  Deliver(r, out, length, cdb[4]);
  return 0;
}

ImageTransport::Sense ImageTransport::GetConfiguration(const uint8_t* cdb, uint8_t* out, uint32_t length) {
  if (plan_.no_config) return kInvalidOpcode;
  std::vector<uint8_t> r(8, 0);
  r[3] = 4;  // header only: the bytes after the length field
  const uint16_t profile = NoMedium() ? 0 : plan_.profile;
  r[6] = uint8_t(profile >> 8);
  r[7] = uint8_t(profile);
  Deliver(r, out, length, Allocation16(cdb, 7));
  return 0;
}

ImageTransport::Sense ImageTransport::ReadDiscInformation(const uint8_t* cdb, uint8_t* out, uint32_t length) {
  if (NoMedium()) return kNoMedium;
  const auto& tracks = image_->tracks();
  std::vector<uint8_t> r(34, 0);
  r[1] = 32;
  if (plan_.blank) {
    r[2] = 0x00;  // empty disc, empty last session
    r[3] = 1;
    r[4] = 1;
    r[5] = r[6] = 1;
  } else {
    r[2] = 0x0C | 0x02;  // last session complete, disc complete, not erasable
    r[3] = uint8_t(tracks.front().number);
    r[4] = uint8_t(image_->sessions());
    const int last_session = image_->sessions();
    const auto first_in_last = std::find_if(tracks.begin(), tracks.end(),
                                            [&](const CueTrack& t) { return t.session == last_session; });
    r[5] = uint8_t(first_in_last->number);
    r[6] = uint8_t(tracks.back().number);
    const bool xa = std::any_of(tracks.begin(), tracks.end(), [](const CueTrack& t) { return t.mode == CueTrack::Mode2; });
    r[8] = xa ? 0x20 : 0x00;
    std::fill(r.begin() + 16, r.begin() + 24, 0xFF);  // no further lead-in: a finished disc
  }
  Deliver(r, out, length, Allocation16(cdb, 7));
  return 0;
}

ImageTransport::Sense ImageTransport::ReadToc(const uint8_t* cdb, uint8_t* out, uint32_t length) {
  if (NoMedium()) return kNoMedium;
  if (plan_.blank) return kInvalidField;
  if ((cdb[2] & 0x0F) != 0 || (cdb[9] & 0xC0) != 0) return kInvalidField;  // format 0 only
  const bool msf = cdb[1] & 0x02;
  const int first = cdb[6];
  const auto& tracks = image_->tracks();
  if (first != 0xAA && first > tracks.back().number) return kInvalidField;
  std::vector<uint8_t> r(4, 0);
  auto add = [&](uint8_t control, uint8_t number, int32_t lba) {
    const size_t at = r.size();
    r.resize(at + 8, 0);
    r[at + 1] = uint8_t(0x10 | control);  // ADR 1: position data
    r[at + 2] = number;
    PutLba(&r[at + 4], lba, msf);
  };
  for (const CueTrack& t : tracks)
    if (first != 0xAA && t.number >= first && !plan_.lead_out_only) add(t.control(), uint8_t(t.number), t.start_lba);
  add(tracks.back().control(), 0xAA, image_->lead_out());
  const uint16_t data_length = uint16_t(r.size() - 2);
  r[0] = uint8_t(data_length >> 8);
  r[1] = uint8_t(data_length);
  r[2] = uint8_t(tracks.front().number);
  r[3] = uint8_t(tracks.back().number);
  Deliver(r, out, length, Allocation16(cdb, 7));
  return 0;
}

bool ImageTransport::ReadShifted(int32_t lba, int32_t count, int32_t shift_bytes, uint8_t* out) const {
  // Bytes [lba*2352 + shift, ...) of the disc; outside the disc reads as zeros.
  const int64_t begin = int64_t(lba) * kSectorBytes + shift_bytes;
  const int64_t end = begin + int64_t(count) * kSectorBytes;
  uint8_t sector[kSectorBytes];
  for (int64_t s = begin / kSectorBytes - (begin < 0 ? 1 : 0); s * kSectorBytes < end; ++s) {
    if (s >= 0 && s < image_->lead_out() && s * kSectorBytes >= begin && (s + 1) * kSectorBytes <= end) {
      // The whole sectors of the request on the disc: straight into place.
      const int64_t run_end = std::min<int64_t>(image_->lead_out(), end / kSectorBytes);
      if (!image_->ReadSectors(int32_t(s), int32_t(run_end - s), out + (s * kSectorBytes - begin))) return false;
      s = run_end - 1;
      continue;
    }
    if (s < 0 || s >= image_->lead_out()) {
      std::memset(sector, 0, sizeof sector);
    } else if (!image_->ReadSector(int32_t(s), sector)) {
      return false;
    }
    const int64_t from = std::max(begin, s * kSectorBytes), to = std::min(end, (s + 1) * kSectorBytes);
    std::memcpy(out + (from - begin), sector + (from - s * kSectorBytes), size_t(to - from));
  }
  return true;
}

ImageTransport::Sense ImageTransport::ReadCd(const uint8_t* cdb, uint8_t* out, uint32_t length) {
  const int32_t lba = cdb[3] << 16 | cdb[4] << 8 | cdb[5] | (cdb[2] << 24);
  const int32_t count = cdb[6] << 16 | cdb[7] << 8 | cdb[8];
  ++counters_->read_cd_calls;
  int32_t low = counters_->lowest_lba.load();
  while (lba < low && !counters_->lowest_lba.compare_exchange_weak(low, lba)) {}
  int32_t high = counters_->highest_lba.load();
  const int32_t last = lba + std::max(count, 1) - 1;
  while (last > high && !counters_->highest_lba.compare_exchange_weak(high, last)) {}

  if (NoMedium()) return kNoMedium;
  // Raw sectors only, alone or with the Q sub-channel (16 bytes after each).
  const bool with_q = cdb[10] == 0x02;
  if (cdb[9] != 0xF8 || (cdb[10] != 0 && !with_q) || (cdb[1] & 0x1C) != 0) return kInvalidField;
  if (with_q && plan_.no_q_subchannel) return kInvalidField;
  if (lba < 0 || count < 0 || int64_t(lba) + count > image_->lead_out()) return kLbaOutOfRange;
  const int stride = kSectorBytes + (with_q ? kQSelectionBytes : 0);
  if (uint64_t(count) * stride > length) return kInvalidField;
  if (count == 0) return 0;
  // A hold stops the reading of audio; the sub-channel reads of the disc
  // check (pregaps, codes) pass, so a test can hold the rip without holding
  // the check that comes before it.
  for (const auto& hold : plan_.holds) {
    if (with_q || lba > hold.last || lba + count - 1 < hold.first) continue;
    std::error_code ec;
    // "<file>.held" tells a test that a read is waiting now.
    if (!std::filesystem::exists(hold.file, ec)) std::ofstream(hold.file + ".held") << lba << "\n";
    while (!std::filesystem::exists(hold.file, ec)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  Throttle(count);
  for (const auto& range : plan_.unreadable)
    if (range.Touches(lba, count)) return kUnrecoveredRead;

  // A drive with read offset N delivers the disc's samples from 588*lba - N
  // on. What it reaches before the disc's first sample is the silence of
  // track 1's pregap, and past the last one the silence of the lead-out: the
  // drive reads there on its own. What it refuses, as real drives do, is a
  // request for a sector outside the disc (0x52100 above), so a ripper that
  // corrects the offset cannot reach the samples its correction would need
  // there, and takes them as silence.
  int32_t shift = -plan_.offset * 4;
  for (const auto& range : plan_.jitter)
    if (lba >= range.first && lba <= range.last && jittered_starts_.insert(lba).second) shift += range.value * 4;
  if (!ReadShifted(lba, count, shift, out)) return kUnrecoveredRead;

  for (const auto& range : plan_.flipbits) {
    for (int32_t s = std::max(lba, range.first); s <= std::min(last, range.last); ++s) {
      if (!flipped_sectors_.insert(s).second) continue;  // re-reads come back right
      uint8_t* p = out + int64_t(s - lba) * kSectorBytes;
      for (int i = 0; i < kSectorBytes; ++i)
        if ((int64_t(s) * kSectorBytes + i) % range.value == 0) p[i] ^= uint8_t(1u << (i % 8));
    }
  }
  for (const auto& range : plan_.noise) {
    for (int32_t s = std::max(lba, range.first); s <= std::min(last, range.last); ++s) {
      // Every read gets its own number mixed into every 8th byte pair: no
      // two reads of the sector are alike.
      const uint64_t n = ++noisy_reads_;
      uint8_t* p = out + int64_t(s - lba) * kSectorBytes;
      for (int i = 0; i + 1 < kSectorBytes; i += 16) {
        const uint64_t x = (n + uint64_t(i)) * 0x9e3779b97f4a7c15ull;
        p[i] ^= uint8_t(n);
        p[i + 1] ^= uint8_t(x >> 56);
      }
    }
  }
  if (with_q) {
    // Spread the sectors out from the back, each followed by its Q frame
    // and four zero bytes.
    for (int32_t i = count - 1; i >= 0; --i) {
      uint8_t* to = out + int64_t(i) * stride;
      std::memmove(to, out + int64_t(i) * kSectorBytes, kSectorBytes);
      std::memset(to + kSectorBytes, 0, kQSelectionBytes);
      QFrameAt(lba + i, to + kSectorBytes);
    }
    counters_->q_sectors_read += count;
  }
  counters_->sectors_read += count;
  return 0;
}

const CueTrack* ImageTransport::TrackNumbered(int number) const {
  for (const CueTrack& t : image_->tracks())
    if (t.number == number) return &t;
  return nullptr;
}

void ImageTransport::QFrameAt(int32_t lba, uint8_t q[12]) const {
  const auto& tracks = image_->tracks();
  auto region_start = [](const CueTrack& t) { return t.pregap_lba >= 0 ? t.pregap_lba : t.start_lba; };
  // The track the sector belongs to: the last whose pregap (or start) is at or before it.
  size_t k = 0;
  while (k + 1 < tracks.size() && region_start(tracks[k + 1]) <= lba) ++k;
  const CueTrack& t = tracks[k];
  const int32_t absolute = lba + 150;
  QFrame frame;
  frame.control = t.control();
  frame.absolute = absolute;
  // Between two sessions: the first session's lead-out (its lead-in after it
  // is never read back; it is given as lead-out too).
  const CueTrack* next = k + 1 < tracks.size() ? &tracks[k + 1] : nullptr;
  const int32_t session_end =
      next && next->session != t.session ? region_start(*next) - kSessionLeadIn - kSessionLeadOut : INT32_MAX;
  if (lba >= session_end) {
    frame.track = 0xAA;
    frame.index = 1;
    frame.relative = lba - session_end;
  } else {
    frame.track = t.number;
    frame.index = lba < t.start_lba ? 0 : 1;
    for (int32_t at : t.later_indexes)
      if (lba >= at) ++frame.index;
    frame.relative = lba < t.start_lba ? t.start_lba - lba : lba - t.start_lba;
  }
  // Codes take the place of a position frame away from index changes: the
  // sectors on both sides of a change say where they are.
  auto change_at = [&](int32_t s) {
    for (const CueTrack& c : tracks) {
      if (s == c.pregap_lba || s == c.start_lba) return true;
      for (int32_t at : c.later_indexes)
        if (s == at) return true;
    }
    return s == session_end;
  };
  const bool codes = !change_at(lba) && !change_at(lba + 1);
  const std::string& catalog = catalog_;
  const std::string& isrc = isrcs_[k];
  if (!codes) {
    EncodePositionQ(frame, q);
  } else if (!catalog.empty() && absolute % 100 == 50) {
    EncodeCatalogueQ(frame.control, catalog, absolute, q);
  } else if (!isrc.empty() && frame.track != 0xAA && frame.index >= 1 && absolute % 100 == 90) {
    EncodeIsrcQ(frame.control, isrc, absolute, q);
  } else {
    EncodePositionQ(frame, q);
  }
  if (plan_.bad_q > 0 && lba % plan_.bad_q == 0) q[11] ^= 0x5A;
}

ImageTransport::Sense ImageTransport::ReadSubChannel(const uint8_t* cdb, uint8_t* out, uint32_t length) {
  if (NoMedium()) return kNoMedium;
  if (plan_.blank) return kInvalidField;
  const uint16_t allocation = Allocation16(cdb, 7);
  const uint8_t format = cdb[3];
  std::vector<uint8_t> r(4, 0);
  r[1] = 0x15;  // audio status: none to report
  if (cdb[2] & 0x40) {  // SubQ: the data block, else the header alone
    r.resize(24, 0);
    r[3] = 20;
    r[4] = format;
    if (format == 0x01) {  // current position: the drive rests at LBA 0
      r[5] = uint8_t(0x10 | image_->tracks().front().control());
      r[6] = uint8_t(image_->tracks().front().number);
      r[7] = 1;
      r[3] = 12;
      r.resize(16);
    } else if (format == 0x02) {
      const std::string& catalog = catalog_;
      if (!catalog.empty() && !plan_.weak_subchannel) {
        r[8] = 0x80;  // MCVal; a number of another length cannot be on a disc: zeros
        if (catalog.size() == 13) std::memcpy(&r[9], catalog.data(), 13);
      }
    } else if (format == 0x03) {
      const CueTrack* t = TrackNumbered(cdb[6]);
      if (!t) return kInvalidField;
      r[5] = uint8_t(0x30 | t->control());
      r[6] = uint8_t(t->number);
      const std::string& isrc = isrcs_[size_t(t - image_->tracks().data())];
      if (!isrc.empty() && !plan_.weak_subchannel) {
        r[8] = 0x80;  // TCVal; a code of another length: zeros, as for the MCN
        if (isrc.size() == 12) std::memcpy(&r[9], isrc.data(), 12);
      }
    } else {
      return kInvalidField;
    }
    if (plan_.weak_subchannel) std::fill(r.begin() + 4, r.end(), 0);
  }
  Deliver(r, out, length, allocation);
  return 0;
}

ImageTransport::Sense ImageTransport::ReadCdText(const uint8_t* cdb, uint8_t* out, uint32_t length) {
  if (NoMedium()) return kNoMedium;
  if (plan_.blank || plan_.no_cd_text) return kInvalidField;
  std::vector<uint8_t> r(4, 0);
  r.insert(r.end(), cd_text_packs_.begin(), cd_text_packs_.end());
  const size_t data_length = r.size() - 2;
  r[0] = uint8_t(data_length >> 8);
  r[1] = uint8_t(data_length);
  Deliver(r, out, length, Allocation16(cdb, 7));
  return 0;
}

void ImageTransport::Throttle(int32_t sectors) {
  if (plan_.speed <= 0) return;
  // The read completes when the drive could have delivered it at the limit,
  // counted from the later of now and the end of the previous read.
  const auto now = std::chrono::steady_clock::now();
  const auto start = std::max(now, busy_until_);
  busy_until_ = start + std::chrono::microseconds(int64_t(sectors) * 1000000 / plan_.speed);
  std::this_thread::sleep_until(busy_until_);
}

ImageTransport::Sense ImageTransport::StartStop(const uint8_t* cdb) {
  if (start_stops_++ < plan_.busy_eject) return kInProgress;
  const bool load_eject = cdb[4] & 0x02, start = cdb[4] & 0x01;
  if (load_eject && plan_.eject_opens) tray_open_ = !start;
  return 0;
}

}  // namespace tonvik::cdrom
