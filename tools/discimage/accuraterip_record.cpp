// make_accuraterip_record <disc.cue> <out.bin>
// Writes the AccurateRip record the database would hold for the disc image,
// as if every submitted rip had matched it: one pressing, confidence 7, the
// v1 sum of each audio track and the sum of its sector 450. Prints the
// record's path under /accuraterip/ (where a loopback server serves it).
// The image is read as it is: a fault file TONVIK_FAULTS names is ignored.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "accuraterip/disc_ids.h"
#include "accuraterip/disc_toc.h"
#include "accuraterip/track_checksum.h"
#include "cdrom/cd_drive.h"
#include "cdrom/image_transport.h"

namespace {

void PutLe32(std::string& out, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out += char((v >> shift) & 0xFF);
}

int Fail(const std::string& why) {
  std::fprintf(stderr, "make_accuraterip_record: %s\n", why.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tonvik;
  if (argc != 3) {
    std::fputs("usage: make_accuraterip_record <disc.cue> <out.bin>\n", stderr);
    return 2;
  }
  ::unsetenv("TONVIK_FAULTS");
  std::string error;
  auto transport = cdrom::ImageTransport::Open(argv[1], &error);
  if (!transport) return Fail(error);
  cdrom::CdDrive drive(std::move(transport));
  std::vector<uint8_t> toc(804);
  if (drive.ReadToc(1, toc.data(), uint16_t(toc.size())) != 0) return Fail("cannot read the TOC");
  toc.resize(std::min<size_t>(toc.size(), size_t(toc[0] << 8 | toc[1]) + 2));
  const auto disc = accuraterip::DiscTocFromReadToc(toc);
  if (!disc) return Fail("the TOC has no tracks");
  const accuraterip::DiscIds ids = accuraterip::ComputeDiscIds(*disc);

  std::string record(1, char(ids.audio_tracks));
  PutLe32(record, ids.id1);
  PutLe32(record, ids.id2);
  PutLe32(record, ids.freedb);
  std::vector<uint8_t> chunk(26 * 2352);
  for (const accuraterip::AudioTrack& t : accuraterip::AudioTracks(*disc)) {
    accuraterip::TrackChecksum sum(t.first, t.last);
    for (int32_t at = 0; at < t.sectors;) {
      const uint8_t n = uint8_t(std::min<int32_t>(26, t.sectors - at));
      if (drive.ReadCd(t.start + at, n, chunk.data()) != 0) return Fail("cannot read sector " + std::to_string(t.start + at));
      sum.Add(chunk.data(), size_t(n) * 2352);
      at += n;
    }
    const accuraterip::TrackSums sums = sum.Finish();
    record += char(7);
    PutLe32(record, sums.v1);
    PutLe32(record, sums.crc450.value_or(0));
  }
  std::ofstream out(argv[2], std::ios::binary);
  out << record;
  if (!out.flush()) return Fail(std::string("cannot write ") + argv[2]);
  std::printf("/accuraterip/%s\n", accuraterip::RecordPath(ids).c_str());
  return 0;
}
