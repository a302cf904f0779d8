#include "platform/pipe.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <mutex>

#include "platform/fd_io.h"

namespace tonvik {
namespace {

size_t PipeMaxSize() {
  size_t max = 1 << 20;
  if (FILE* f = std::fopen("/proc/sys/fs/pipe-max-size", "r")) {
    unsigned long v = 0;
    if (std::fscanf(f, "%lu", &v) == 1 && v > 0) max = v;
    std::fclose(f);
  }
  return max;
}

}  // namespace

Pipe::Pipe(size_t size_hint) {
  static std::once_flag ignore_sigpipe;
  std::call_once(ignore_sigpipe, [] { std::signal(SIGPIPE, SIG_IGN); });
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return;
  read_fd_ = fds[0];
  write_fd_ = fds[1];
  static const size_t max = PipeMaxSize();
  size_t want = size_hint < max ? size_hint : max;
  if (want > 0) ::fcntl(write_fd_, F_SETPIPE_SZ, static_cast<int>(want));
  int got = ::fcntl(write_fd_, F_GETPIPE_SZ);
  capacity_ = got > 0 ? static_cast<size_t>(got) : 0;
}

Pipe::~Pipe() {
  CloseRead();
  CloseWrite();
}

ssize_t Pipe::Read(void* buffer, size_t size) {
  if (read_fd_ < 0) {
    errno = EBADF;
    return -1;
  }
  ssize_t n;
  do {
    n = ::read(read_fd_, buffer, size);
  } while (n < 0 && errno == EINTR);
  return n;
}

bool Pipe::WriteAll(const void* data, size_t size) {
  if (write_fd_ < 0) {
    errno = EBADF;
    return false;
  }
  return tonvik::WriteAll(write_fd_, data, size);
}

void Pipe::CloseRead() {
  if (read_fd_ >= 0) ::close(read_fd_);
  read_fd_ = -1;
}

void Pipe::CloseWrite() {
  if (write_fd_ >= 0) ::close(write_fd_);
  write_fd_ = -1;
}

}  // namespace tonvik
