// How a CDB reaches a drive: the SG_IO ioctl on a device, or the disc-image
// emulator. The caller owns the buffer and the 18-byte sense area.
#pragma once
#include <cstdint>

namespace tonvik::cdrom {

inline constexpr int kDirectionIn = 1;    // data from the drive
inline constexpr int kDirectionNone = 2;  // no data transfer
inline constexpr int kSenseBytes = 18;

class ScsiTransport {
 public:
  virtual ~ScsiTransport() = default;
  // Sends one command. Returns false when the call itself failed (errno set);
  // otherwise the sense area says how the command went (all zero: success).
  virtual bool Execute(const uint8_t* cdb, int cdb_length, int direction, void* buffer,
                       uint32_t length, uint32_t timeout_seconds, uint8_t sense[18]) = 0;
};

}  // namespace tonvik::cdrom
