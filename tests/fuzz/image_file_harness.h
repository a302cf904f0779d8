// Shared by the fuzz targets of the audio files a sheet names: the input is
// the file, a one-track sheet names it, and the image drive reads it the way
// a rip and its re-reads do. The drive either refuses the sheet with a reason
// or serves the disc; a read fails only as damage does (sense 3/11/00), and
// a sector that reads more than once reads the same bytes every time.
#pragma once
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "cdrom/cd_drive.h"
#include "cdrom/image_transport.h"

namespace tonvik::fuzz {

// A folder of its own per target, removed when the fuzzer exits.
inline const std::string& ImageFolder(const char* target) {
  static std::string folder;
  if (folder.empty()) {
    std::string tmpl = std::string("/tmp/tonvik-") + target + "-XXXXXX";
    folder = ::mkdtemp(tmpl.data());
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(folder, ec);
    });
  }
  return folder;
}

inline void Require(bool ok, const char* what, int32_t lba = -1) {
  if (ok) return;
  std::fprintf(stderr, "image file: %s (LBA %d)\n", what, lba);
  std::abort();
}

// Sectors read at most: every read of a long file costs decoding time.
constexpr int32_t kHead = 96, kTail = 24;

inline void ReadThroughTheDrive(const char* target, const std::string& file_name, const uint8_t* data,
                                size_t size) {
  const std::string folder = ImageFolder(target);
  std::ofstream(folder + "/" + file_name, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), std::streamsize(size));
  const std::string cue = folder + "/disc.cue";
  std::ofstream(cue, std::ios::binary | std::ios::trunc)
      << "FILE \"" << file_name << "\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";

  std::string error;
  auto transport = cdrom::ImageTransport::Open(cue, &error);
  if (!transport) {
    Require(!error.empty(), "refused without a reason");
    return;
  }
  cdrom::CdDrive drive(std::move(transport));
  uint8_t toc[804] = {};
  Require(drive.ReadToc(1, toc, sizeof toc) == 0, "READ TOC failed");
  int32_t lead_out = -1;
  for (size_t at = 4; at + 8 <= size_t(toc[0] << 8 | toc[1]) + 2 && at + 8 <= sizeof toc; at += 8)
    if (toc[at + 2] == 0xAA) lead_out = toc[at + 4] << 24 | toc[at + 5] << 16 | toc[at + 6] << 8 | toc[at + 7];
  Require(lead_out > 0, "no lead-out");

  // The head in order in reads of 1 to 4 sectors, the tail, then all of it
  // again backwards sector by sector (which seeks in a FLAC file).
  std::vector<int32_t> order;
  for (int32_t lba = 0; lba < std::min(lead_out, kHead); ++lba) order.push_back(lba);
  for (int32_t lba = std::max(kHead, lead_out - kTail); lba < lead_out; ++lba) order.push_back(lba);
  const std::vector<int32_t> forward = order;
  order.insert(order.end(), forward.rbegin(), forward.rend());

  std::map<int32_t, std::vector<uint8_t>> seen;
  std::vector<uint8_t> buffer(4 * 2352);
  size_t i = 0;
  while (i < order.size()) {
    // In the forward half, a run of consecutive sectors goes as one read.
    size_t n = 1;
    const size_t run = size_t(1 + (order[i] % 4));
    while (i < forward.size() && n < run && i + n < forward.size() && order[i + n] == order[i] + int32_t(n)) ++n;
    const cdrom::SenseCode sense = drive.ReadCd(order[i], uint8_t(n), buffer.data());
    if (sense != 0) {
      Require(sense == 0x31100, "a read failed other than as damage", order[i]);
    } else {
      for (size_t k = 0; k < n; ++k) {
        const std::vector<uint8_t> sector(buffer.begin() + std::ptrdiff_t(k * 2352),
                                          buffer.begin() + std::ptrdiff_t((k + 1) * 2352));
        auto [it, first] = seen.emplace(order[i] + int32_t(k), sector);
        Require(first || it->second == sector, "a sector read two ways", order[i] + int32_t(k));
      }
    }
    i += n;
  }
}

}  // namespace tonvik::fuzz
