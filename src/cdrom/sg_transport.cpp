#include "cdrom/sg_transport.h"

#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tonvik::cdrom {

std::unique_ptr<SgTransport> SgTransport::Open(const std::string& device_path) {
  // O_NONBLOCK: the cdrom driver otherwise refuses to open a drive without a disc,
  // and the disc check wants to report "no disc" itself.
  int fd = ::open(device_path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM))
    fd = ::open(device_path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::make_unique<SgTransport>(fd);
}

SgTransport::SgTransport(int fd, IoctlFunction ioctl_function) : fd_(fd), ioctl_(std::move(ioctl_function)) {
  if (!ioctl_) ioctl_ = [](int f, unsigned long request, void* arg) { return ::ioctl(f, request, arg); };
}

SgTransport::~SgTransport() {
  if (fd_ >= 0) ::close(fd_);
}

bool SgTransport::Execute(const uint8_t* cdb, int cdb_length, int direction, void* buffer,
                          uint32_t length, uint32_t timeout_seconds, uint8_t sense[18]) {
  std::memset(sense, 0, kSenseBytes);
  if (cdb_length < 6 || cdb_length > 16 || (direction != kDirectionIn && direction != kDirectionNone)) {
    errno = EINVAL;
    return false;
  }
  sg_io_hdr_t hdr;
  std::memset(&hdr, 0, sizeof hdr);
  hdr.interface_id = 'S';
  hdr.cmd_len = static_cast<unsigned char>(cdb_length);
  hdr.cmdp = const_cast<unsigned char*>(cdb);
  hdr.dxfer_direction = direction == kDirectionIn ? SG_DXFER_FROM_DEV : SG_DXFER_NONE;
  hdr.dxferp = direction == kDirectionIn ? buffer : nullptr;
  hdr.dxfer_len = direction == kDirectionIn ? length : 0;
  hdr.mx_sb_len = kSenseBytes;
  hdr.sbp = sense;
  hdr.timeout = timeout_seconds * 1000;  // milliseconds
  if (ioctl_(fd_, SG_IO, &hdr) < 0) return false;
  // The drive's sense data decides success. A request that failed in the host
  // adapter or the driver (timeout, device gone) without any sense data would
  // otherwise pass for a success with an unfilled buffer: report the call as
  // failed instead.
  const bool failed_without_sense =
      hdr.sb_len_wr == 0 && (hdr.status != 0 || hdr.host_status != 0 || (hdr.driver_status & 0x07) != 0);
  if (failed_without_sense) {
    errno = EIO;
    return false;
  }
  return true;
}

}  // namespace tonvik::cdrom
