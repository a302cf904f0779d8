// An anonymous pipe with a buffer size hint, as the reader thread and the rip
// job share it. SIGPIPE is ignored process-wide, so writing into a pipe whose
// read end is closed fails with EPIPE instead of killing the process.
#pragma once
#include <cstddef>
#include <sys/types.h>

namespace tonvik {

class Pipe {
 public:
  // size_hint in bytes; the kernel buffer is raised towards it, capped by
  // /proc/sys/fs/pipe-max-size. Check ok() afterwards (errno tells why not).
  explicit Pipe(size_t size_hint);
  ~Pipe();
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;

  bool ok() const { return read_fd_ >= 0 && write_fd_ >= 0; }
  int read_fd() const { return read_fd_; }
  int write_fd() const { return write_fd_; }
  size_t capacity() const { return capacity_; }

  // Reads up to size bytes; 0 at end of stream (write end closed), -1 with errno on error.
  ssize_t Read(void* buffer, size_t size);
  // Writes all bytes; false with errno (EPIPE once the read end is closed).
  bool WriteAll(const void* data, size_t size);

  void CloseRead();
  void CloseWrite();

 private:
  int read_fd_ = -1;
  int write_fd_ = -1;
  size_t capacity_ = 0;
};

}  // namespace tonvik
