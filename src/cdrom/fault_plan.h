// Faults the disc-image drive can be told to show, set from C++ or read from
// the text file that the environment variable TONVIK_FAULTS names (syntax in
// README.md, "Disc-image faults"). Tests, the demo and the benchmarks set it;
// a file beside a user's sheet means nothing.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tonvik::cdrom {

struct FaultPlan {
  struct SenseFault {
    uint8_t opcode;
    uint8_t key, asc, ascq;
  };
  struct Range {
    int32_t first, last;  // LBAs, inclusive
    int32_t value;        // samples for jitter, N for flipbits
    bool Touches(int32_t lba, int32_t count) const { return lba <= last && lba + count - 1 >= first; }
  };

  // A READ CD touching first..last does not complete before the file exists:
  // the drive stalls where a test (or a person) wants the rip to stand still.
  struct Hold {
    int32_t first, last;  // LBAs, inclusive
    std::string file;     // a relative name is beside the cue sheet
  };

  std::vector<SenseFault> sense;   // every command with the opcode fails so
  bool no_config = false;          // GET CONFIGURATION unknown: 0x52000
  bool no_disc = false;            // media commands 0x23A00, no current profile
  bool blank = false;              // disc status 0
  uint16_t profile = 0x0008;       // current profile (CD-ROM)
  int inquiry_type = 5;            // peripheral device type
  std::vector<Range> unreadable;   // READ CD touching one fails with 0x31100
  std::vector<Range> jitter;       // a read starting here comes value stereo samples off
  std::vector<Range> flipbits;     // first read of a sector: one bit of every value-th byte flipped
  std::vector<Range> noise;        // every read of a sector comes back with other noise in it
  int busy_eject = 0;              // first N START STOP UNIT: 0x20407
  int speed = 0;                   // sectors per second; 0 = unlimited
  // The drive's read offset in stereo samples, AccurateRip's sign: asked for
  // sector s it delivers the disc's samples from 588*s - offset on.
  int32_t offset = 0;
  std::vector<Hold> holds;         // reads that wait for a file
  bool eject_opens = false;        // after an eject the tray is open: no medium
  bool lead_out_only = false;      // READ TOC lists the lead-out alone (no tracks)
  bool no_cd_text = false;         // READ TOC format 5 (CD-Text) refused: 0x52400
  bool weak_subchannel = false;    // READ SUB-CHANNEL answers with MCVal/TCVal clear, all zeros
  bool no_q_subchannel = false;    // READ CD with the Q sub-channel selected refused: 0x52400
  int bad_q = 0;                   // every n-th sector's Q frame fails its CRC; 0 = none

  // Parses the text form; false with "line N: ..." in *error.
  static bool Parse(std::string_view text, FaultPlan* plan, std::string* error);
  // The plan in the file TONVIK_FAULTS names. No variable, an empty one, or
  // no such file: true with an empty plan; a file that does not parse: false
  // with "<file>: line N: ..." in *error.
  static bool LoadFromEnvironment(FaultPlan* plan, std::string* error);
};

}  // namespace tonvik::cdrom
