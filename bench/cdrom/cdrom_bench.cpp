// Reads one track of drive D through TrackReader, sector by sector, and
// prints "<seconds> <sectors delivered> <raw sectors read> <peak RSS KiB>".
// The seconds run from the reader's creation to the last sector; opening the
// drive and the disc check are left out.
//   cdrom_bench <track> <jitter 0|1>
// The user hive must map D to the disc image.
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "cdrom/cd_drive.h"
#include "cdrom/disc_check.h"
#include "cdrom/track_reader.h"
#include "core/app_exception.h"

int main(int argc, char** argv) {
  using namespace tonvik;
  using namespace tonvik::cdrom;
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s track jitter(0|1)\n", argv[0]);
    return 2;
  }
  const int track = std::atoi(argv[1]);
  const bool jitter = std::atoi(argv[2]) != 0;
  try {
    const auto map = BuildTrackMap(CheckDisc({u"D:\\"}).toc);
    const auto it = map.find(track);
    if (it == map.end()) {
      std::fprintf(stderr, "no track %d\n", track);
      return 1;
    }
    CdDrive drive;
    if (!drive.Open(u'D')) {
      std::perror("open D");
      return 1;
    }
    const std::atomic<uint8_t> never{0};
    const std::atomic<const std::atomic<uint8_t>*> cancel{&never};
    uint8_t sector[TrackReader::kSectorBytes];
    uint64_t checksum = 0;  // keeps the copy observable
    const auto start = std::chrono::steady_clock::now();
    TrackReader reader(drive, cancel, it->second.first_sector, it->second.sector_count, jitter);
    for (int32_t i = 0; i < it->second.sector_count; ++i) {
      reader.ReadSector(sector);
      checksum += sector[i % TrackReader::kSectorBytes];
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (reader.unread_sectors() != 0) {
      std::fprintf(stderr, "%d sectors unread\n", reader.unread_sectors());
      return 1;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%.4f %d %lld %ld\n", seconds, it->second.sector_count,
                static_cast<long long>(reader.raw_sectors_read()), usage.ru_maxrss);
    std::fprintf(stderr, "checksum %llu\n", static_cast<unsigned long long>(checksum));
  } catch (const AppException& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
