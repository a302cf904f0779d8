#include "encoders/target_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/app_exception.h"
#include "platform/abandoned_threads.h"
#include "platform/fd_io.h"
#include "platform/syserror.h"
#include "platform/text.h"
#include "output/folders.h"
#include "output/naming.h"
#include "output/overwrite.h"

namespace tonvik {

namespace {

constexpr size_t kBufferSize = 64 * 1024;

std::atomic<unsigned> g_temp_counter{0};

// Short, so that a target name already at the component limit still has a
// temporary sibling; hidden, so a file manager does not show it mid-rip.
std::string TempNameIn(const std::string& folder) {
  char name[64];
  std::snprintf(name, sizeof name, ".tonvik-%d-%u.part", static_cast<int>(getpid()),
                g_temp_counter.fetch_add(1));
  return folder + name;
}

}  // namespace

TargetFile::TargetFile(const std::u16string& path, OverwritePolicy* overwrite, Creation creation) {
  const std::u16string fitted = FitComponents(path);
  if (overwrite && overwrite->MayWriteFile(fitted)) throw SkipFileException();
  const size_t slash = fitted.rfind(u'/');
  const std::u16string folder = slash == std::u16string::npos ? u"" : fitted.substr(0, slash + 1);
  EnsureFolder(folder);
  target_ = ToUtf8(fitted);
  const std::string folder8 = ToUtf8(folder);
  if (creation == Creation::kByLibrary) {
    struct stat st {};
    for (int attempt = 0; attempt < 100; ++attempt) {
      temp_ = TempNameIn(folder8);
      if (::lstat(temp_.c_str(), &st) != 0) break;
    }
    RegisterUnfinishedFile(temp_);
    return;
  }
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    temp_ = TempNameIn(folder8);
    // Readable too: an encoder may read back what it wrote (Monkey's Audio).
    fd_ = ::open(temp_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0 && errno != EEXIST) break;
  }
  if (fd_ < 0) {
    const int err = errno;
    throw EncoderException(FormatMessage(u"cannot create file (%1%)", {SystemErrorText(err)}));
  }
  RegisterUnfinishedFile(temp_);
  buffer_.reserve(kBufferSize);
}

TargetFile::~TargetFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_ && !temp_.empty()) ::unlink(temp_.c_str());
  if (!temp_.empty()) ForgetUnfinishedFile(temp_);
}

bool TargetFile::Flush() {
  if (buffer_.empty()) return true;
  if (fd_ < 0) {
    errno = EBADF;
    return false;
  }
  const bool ok = WriteAll(fd_, buffer_.data(), buffer_.size());
  buffer_.clear();
  return ok;
}

bool TargetFile::Write(const void* data, size_t bytes) {
  const auto* p = static_cast<const uint8_t*>(data);
  if (buffer_.size() + bytes > kBufferSize) {
    if (!Flush()) return false;
    if (bytes >= kBufferSize) {
      if (fd_ < 0 || !WriteAll(fd_, p, bytes)) return false;
      position_ += bytes;
      return true;
    }
  }
  buffer_.insert(buffer_.end(), p, p + bytes);
  position_ += bytes;
  return true;
}

void TargetFile::WriteOrThrow(const void* data, size_t bytes) {
  if (!Write(data, bytes)) throw EncoderException("write error");
}

bool TargetFile::Seek(uint64_t offset) {
  if (!Flush()) return false;
  if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) return false;
  position_ = offset;
  return true;
}

bool TargetFile::Read(void* data, size_t bytes, size_t* got) {
  *got = 0;
  if (!Flush()) return false;
  auto* p = static_cast<uint8_t*>(data);
  while (*got < bytes) {
    const ssize_t n = ::read(fd_, p + *got, bytes - *got);  // the descriptor sits at position_
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) break;
    *got += static_cast<size_t>(n);
    position_ += static_cast<uint64_t>(n);
  }
  return true;
}

int64_t TargetFile::Size() {
  if (!Flush()) return -1;
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

void TargetFile::Close() {
  if (fd_ < 0) return;
  const bool flushed = Flush();
  const bool closed = ::close(fd_) == 0;
  fd_ = -1;
  if (!flushed || !closed) throw EncoderException("write error");
}

void TargetFile::Commit() {
  // The data reaches the disk before the new name does, and the name before
  // Commit returns: after a power cut the target is the old file or the whole
  // new one. A file closed earlier (a library rewrote it by its path) is
  // synced through a descriptor of its own.
  bool synced;
  if (fd_ >= 0) {
    synced = Flush() && ::fsync(fd_) == 0;
  } else {
    const int fd = ::open(temp_.c_str(), O_RDONLY | O_CLOEXEC);
    synced = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0) ::close(fd);
  }
  Close();
  if (!synced) throw EncoderException("write error");
  if (::rename(temp_.c_str(), target_.c_str()) != 0) throw EncoderException("write error");
  committed_ = true;
  ForgetUnfinishedFile(temp_);
  const size_t slash = target_.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : target_.substr(0, slash + 1);
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

}  // namespace tonvik
