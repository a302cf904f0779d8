// One rip, from the disc check to the end of the progress dialog: what it
// needs and what it found. vandral makes one and hands it to the Format dialog
// and the progress dialog; the job thread shares it while it runs.
//
// Who writes what, on which thread:
//   disc       the disc check, UI thread, before any dialog
//   metadata   the Format dialog (the lookup's record), UI thread
//   format     start-up (the number) and the Format dialog (preset, custom), UI thread
//   job        destination: the Format dialog; counters: the job thread (the
//              progress dialog's timer reads them)
//   overwrite  the job thread through the encoders; the prompt asks on the UI thread
//   results    the job thread until JobFinished, read afterwards
// Nothing the job reads changes once the progress dialog has started it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "accuraterip/verdict.h"
#include "cdrom/disc_check.h"
#include "encoders/selection.h"
#include "output/disc_metadata.h"
#include "output/overwrite.h"
#include "rip/rip_job.h"

namespace tonvik {

// What became of one selected track.
struct TrackResult {
  int32_t track = 0;
  std::u16string file;                 // the file name with its extension; empty until named
  int64_t sectors_read = 0;            // sectors handed to the encoder
  int32_t sectors_replaced = 0;        // unreadable sectors replaced by silence
  std::vector<std::u16string> errors;  // the track's entries of the error list, without the name
  bool written = false;                // the file is in place
  // The sums of the PCM handed to the encoder (an audio track only; a data
  // track keeps them 0) and the track's verdict.
  uint32_t ar_v1 = 0, ar_v2 = 0;       // AccurateRip v1 and v2
  uint32_t copy_crc = 0;               // CRC32 of the PCM bytes
  int32_t peak = 0;                    // the largest absolute sample value, 0 to 32768
  bool summed = false;                 // the sums above are the whole track's
  accuraterip::TrackVerdict verdict;   // Unreachable until the end of the job
  bool ctdb_verified = false;          // the CUETools database confirms the track
  // How the track was read, for the log.
  enum class ReadPath {
    Burst,          // once, without jitter correction
    Secure,         // once, with jitter correction
    VerifiedBurst,  // once without correction, and AccurateRip verified it
    Compared,       // without correction, not verified, read again with it and compared
    RetryKept,      // without correction, not accurate; read again with it, accurate: kept
    RetryRejected,  // as above, the second read not accurate either: the first is kept
    RetryStopped,   // as above, the second read cancelled or failed: the first is kept
  };
  ReadPath read_path = ReadPath::Burst;
  int32_t sectors_differing = 0;       // Compared: sectors the two reads differed on
  int32_t sectors_never_agreed = 0;    // of those, sectors no two reads agreed on (silence)
  int64_t sectors_asked = 0;           // sectors asked of the drive for the track, every read
};

struct RipSession {
  cdrom::DiscState disc;
  DiscMetadata metadata;
  EncoderSelection format;
  OverwritePolicy overwrite;
  RipJob job;
  // One per selected track, in rip order; first the hidden track before
  // track 1 (track 0) when the job rips it (rip/hidden_track.h).
  std::vector<TrackResult> results;
};

}  // namespace tonvik
