#include "cdrom/reader_thread.h"

#include <cerrno>
#include <optional>

#include "cdrom/track_reader.h"

namespace tonvik::cdrom {

void ReaderThreadMain(std::shared_ptr<ReaderJob> job) {
  auto cancelled = [&] {
    const std::atomic<uint8_t>* flag = job->cancel_flag.load();
    return flag && flag->load() != 0;
  };
  std::optional<TrackReader> reader;
  try {
    reader.emplace(*job->drive, job->cancel_flag, job->first_sector, job->sector_count,
                   job->jitter_correction, job->read_offset, job->disc_end);
    uint8_t sector[TrackReader::kSectorBytes];  // the reader holds one sector
    for (int32_t i = 0; i < job->sector_count; ++i) {
      job->pause_event->Wait();
      if (cancelled()) break;
      reader->ReadSector(sector);
      if (!job->pipe->WriteAll(sector, sizeof sector)) {
        if (!cancelled()) job->error_flag = 1;
        break;
      }
      job->written.Set(i + 1);
    }
  } catch (...) {
    job->error_flag = 1;
  }
  if (reader) {
    job->unread_sectors = reader->unread_sectors();
    job->raw_sectors_read = reader->raw_sectors_read();
  }
  job->pipe->CloseWrite();  // ends the stream for the rip job
  job->written.End();
  reader.reset();
  job->finished = true;
}

}  // namespace tonvik::cdrom
