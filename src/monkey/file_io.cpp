#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "monkey/io.h"

namespace tonvik::monkey {

FileIO::~FileIO() { Close(); }

int FileIO::Open(const char* name) {
  Close();
  if (!name || std::strlen(name) >= sizeof name_) return ERROR_BAD_PARAMETER;
  fd_ = ::open(name, O_RDWR | O_CLOEXEC);
  if (fd_ < 0 && (errno == EACCES || errno == EROFS)) fd_ = ::open(name, O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return ERROR_IO_READ;
  std::strcpy(name_, name);
  return ERROR_SUCCESS;
}

int FileIO::Create(const char* name) {
  Close();
  if (!name || std::strlen(name) >= sizeof name_) return ERROR_BAD_PARAMETER;
  fd_ = ::open(name, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) return ERROR_IO_WRITE;
  std::strcpy(name_, name);
  return ERROR_SUCCESS;
}

int FileIO::Close() {
  if (fd_ < 0) return ERROR_SUCCESS;
  const int rc = ::close(fd_);
  fd_ = -1;
  return rc == 0 ? ERROR_SUCCESS : ERROR_IO_WRITE;
}

int FileIO::Delete() {
  Close();
  if (!name_[0] || ::unlink(name_) != 0) return ERROR_IO_WRITE;
  name_[0] = 0;
  return ERROR_SUCCESS;
}

int FileIO::Read(void* buffer, unsigned bytes, unsigned* bytes_read) {
  unsigned done = 0;
  while (done < bytes) {
    const ssize_t n = ::read(fd_, static_cast<char*>(buffer) + done, bytes - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      if (bytes_read) *bytes_read = done;
      return ERROR_IO_READ;
    }
    if (n == 0) break;
    done += static_cast<unsigned>(n);
  }
  if (bytes_read) *bytes_read = done;
  return ERROR_SUCCESS;
}

int FileIO::Write(const void* buffer, unsigned bytes, unsigned* bytes_written) {
  unsigned done = 0;
  int rc = ERROR_SUCCESS;
  while (done < bytes) {
    const ssize_t n = ::write(fd_, static_cast<const char*>(buffer) + done, bytes - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      rc = ERROR_IO_WRITE;
      break;
    }
    done += static_cast<unsigned>(n);
  }
  if (bytes_written) *bytes_written = done;
  return rc;
}

int FileIO::Seek(int64_t distance, SeekMethod method) {
  const int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : SEEK_END;
  return ::lseek(fd_, distance, whence) < 0 ? ERROR_IO_READ : ERROR_SUCCESS;
}

int FileIO::SetEOF() {
  const off_t at = ::lseek(fd_, 0, SEEK_CUR);
  return at >= 0 && ::ftruncate(fd_, at) == 0 ? ERROR_SUCCESS : ERROR_IO_WRITE;
}

int64_t FileIO::GetPosition() { return ::lseek(fd_, 0, SEEK_CUR); }

int64_t FileIO::GetSize() {
  struct stat st;
  return ::fstat(fd_, &st) == 0 ? st.st_size : -1;
}

int FileIO::GetName(char* buffer) {
  if (!buffer) return ERROR_BAD_PARAMETER;
  std::strcpy(buffer, name_);
  return ERROR_SUCCESS;
}

}  // namespace tonvik::monkey
