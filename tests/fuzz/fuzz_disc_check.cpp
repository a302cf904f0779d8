// The disc check behind a drive that answers every command with bytes of the
// input: refused with a message, or a sound TOC and extents that fit it.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "cdrom/cd_drive.h"
#include "cdrom/disc_check.h"
#include "cdrom/scsi_transport.h"
#include "core/app_exception.h"

namespace {

class HostileDrive : public tonvik::cdrom::ScsiTransport {
 public:
  HostileDrive(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Execute(const uint8_t* cdb, int, int, void* buffer, uint32_t length, uint32_t,
               uint8_t sense[18]) override {
    std::memset(sense, 0, 18);
    const uint8_t how = Next();
    if (how == 0xFF) return false;  // the call itself fails
    if (how >= 0xF0) {              // a check condition with a sense code from the input
      sense[0] = 0x70;
      sense[2] = Next() & 0x0F;
      sense[12] = Next();
      sense[13] = Next();
      return true;
    }
    // INQUIRY answers a CD device now and then, so the checks behind it run.
    if (cdb[0] == 0x12 && buffer && length > 0) {
      std::memset(buffer, 0, length);
      static_cast<uint8_t*>(buffer)[0] = 5;
      return true;
    }
    auto* out = static_cast<uint8_t*>(buffer);
    for (uint32_t i = 0; out && i < length; ++i) out[i] = Next();
    return true;
  }

 private:
  uint8_t Next() { return at_ < size_ ? data_[at_++] : 0; }
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tonvik::cdrom::CdDrive drive(std::make_unique<HostileDrive>(data, size));
  std::vector<uint8_t> toc;
  try {
    toc = tonvik::cdrom::CheckMedium(drive);
  } catch (const tonvik::AppException& e) {
    if (e.Message().empty()) std::abort();
    return 0;
  }
  if (!tonvik::cdrom::IsSoundToc(toc)) std::abort();
  for (const auto& [number, extent] : tonvik::cdrom::BuildTrackMap(toc)) {
    if (number < 1 || number > 99 || extent.first_sector < 0 || extent.sector_count < 0) std::abort();
  }
  return 0;
}
