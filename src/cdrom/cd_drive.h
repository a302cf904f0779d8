// The CD drive: one open device (a CD block device through SG_IO, or a CUE/BIN
// image through the disc-image drive) and one reusable request with its sense
// area. Every command runs synchronously on the calling thread; one thread at
// a time uses an object.
#pragma once
#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>

#include "cdrom/scsi_transport.h"

namespace tonvik::cdrom {

// 0 success; -1 the call failed or the sense data was all zero;
// otherwise (key & 0x0F) << 16 | ASC << 8 | ASCQ.
using SenseCode = int32_t;

inline constexpr SenseCode kSenseInvalidOpcode = 0x52000;
inline constexpr SenseCode kSenseNoMedium = 0x23A00;  // compare after & 0xFFF00
inline constexpr SenseCode kSenseInProgress = 0x20407;

// Packs the outcome of a command as SenseCode.
SenseCode PackSense(bool call_succeeded, const uint8_t sense[18]);

// The request template: every field zero but those named.
struct ScsiRequest {
  uint8_t cdb[16];
  uint8_t cdb_length;
  int direction;
  uint32_t length;
  uint32_t timeout;  // seconds
  uint8_t sense[18];
};

// The device or image path a drive letter stands for: the REG_SZ value named
// by the letter under HKCU\Software\Quellbrook\vandral\Drives, else
// D = /dev/sr0, E = /dev/sr1 and so on. Empty for letters before D.
std::string DrivePath(char16_t letter);
// The two halves of it: the Drives key's value, when the letter has one, and
// the device a letter without one names (empty before D).
std::optional<std::string> MappedDrivePath(char16_t letter);
std::string DefaultDrivePath(char16_t letter);

// Whether the path names a CUE sheet (".cue" in any case), and whether it is a
// CD device (a block device the cdrom driver answers).
bool IsCueSheetPath(const std::string& path);
bool IsCdDevice(const std::string& path);

// The clock the eject retries wait on. The system's by default; tests hand
// in one that only counts, so the retry rules are checked without waiting.
class WaitClock {
 public:
  virtual ~WaitClock() = default;
  virtual std::chrono::steady_clock::time_point Now() = 0;
  virtual void SleepFor(std::chrono::milliseconds duration) = 0;
};

class CdDrive {
 public:
  CdDrive();
  // A drive that is open on the given transport from the start (letter 0).
  explicit CdDrive(std::unique_ptr<ScsiTransport> transport);
  ~CdDrive();
  CdDrive(const CdDrive&) = delete;
  CdDrive& operator=(const CdDrive&) = delete;

  // Opens the drive behind the letter when it is a CD device or a readable
  // .cue image. False with errno set otherwise (ENOENT missing, ENOTBLK or
  // ENODEV not a CD drive, EINVAL an unusable cue sheet: open_detail() says
  // why).
  bool Open(char16_t letter);
  void Close();  // harmless when closed
  bool IsOpen() const { return transport_ != nullptr; }
  char16_t letter() const { return letter_; }
  ScsiTransport* transport() const { return transport_.get(); }
  // Why the last Open of an image failed, in the reader's words (empty for
  // a failure errno says all about).
  const std::string& open_detail() const { return open_detail_; }

  // Sends the current request's CDB. direction 1 (in) or 2 (none; buffer null, length 0).
  SenseCode Execute(int direction, void* buffer, uint32_t length);
  const ScsiRequest& request() const { return request_; }

  SenseCode Inquiry(uint8_t out[36]);
  SenseCode GetConfiguration(uint8_t out[8]);
  SenseCode ReadDiscInformation(uint8_t out[32]);
  SenseCode ReadTocHeader(uint8_t out[12]);
  SenseCode ReadToc(uint8_t first_track, void* out, uint16_t allocation);
  SenseCode ReadCd(int32_t lba, uint8_t count, void* out);  // count × 2352 bytes
  // READ CD with the Q sub-channel selected (010b): count × (2352 + 16)
  // bytes, each sector's audio followed by its 12-byte Q frame and 4 bytes.
  SenseCode ReadCdWithQ(int32_t lba, uint8_t count, void* out);
  // READ SUB-CHANNEL (0x42) with SubQ set: format 2 (catalogue number) or 3
  // (ISRC of `track`), 24 bytes with the header.
  SenseCode ReadSubChannel(uint8_t format, uint8_t track, uint8_t out[24]);
  // READ TOC/PMA/ATIP format 5, CD-Text: the header and up to
  // (allocation - 4) / 18 packs.
  SenseCode ReadCdText(void* out, uint16_t allocation);
  // Stop, allow removal, eject: the immediate steps are repeated every 333 ms
  // while the drive reports an operation in progress, for at most 30 s in all.
  SenseCode Eject();
  void SetWaitClock(std::shared_ptr<WaitClock> clock) { clock_ = std::move(clock); }

 private:
  void Prepare(std::initializer_list<uint8_t> cdb, uint32_t timeout = 30);
  SenseCode RepeatWhileBusy(std::initializer_list<uint8_t> cdb,
                            std::chrono::steady_clock::time_point deadline);

  std::unique_ptr<ScsiTransport> transport_;
  char16_t letter_ = 0;
  ScsiRequest request_{};
  std::string open_detail_;
  std::shared_ptr<WaitClock> clock_;
};

// "Cannot access CD drive: %1%." with the system text of the error, or with
// the reader's own reason (CdDrive::open_detail()) when there is one.
std::u16string DriveOpenFailureMessage(int err, const std::string& detail = {});

}  // namespace tonvik::cdrom
