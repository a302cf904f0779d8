// The SG_IO ioctl on a Linux CD block device (/dev/sr0 ...).
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "cdrom/scsi_transport.h"

namespace tonvik::cdrom {

class SgTransport : public ScsiTransport {
 public:
  // The ioctl call, replaceable so that the request it is given can be checked.
  using IoctlFunction = std::function<int(int fd, unsigned long request, void* arg)>;

  // Opens the device read-write (read-only when that is refused), without
  // waiting for a medium. nullptr with errno set on failure.
  static std::unique_ptr<SgTransport> Open(const std::string& device_path);

  // Takes ownership of fd (closed by the destructor; -1 is allowed).
  explicit SgTransport(int fd, IoctlFunction ioctl_function = nullptr);
  ~SgTransport() override;
  SgTransport(const SgTransport&) = delete;
  SgTransport& operator=(const SgTransport&) = delete;

  bool Execute(const uint8_t* cdb, int cdb_length, int direction, void* buffer, uint32_t length,
               uint32_t timeout_seconds, uint8_t sense[18]) override;

 private:
  int fd_;
  IoctlFunction ioctl_;
};

}  // namespace tonvik::cdrom
