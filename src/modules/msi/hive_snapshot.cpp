#include "hive_snapshot.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>

#include "platform/fd_io.h"

namespace tonvik::msi {

HiveSnapshot::HiveSnapshot(reg::Root root) : path_(reg::HivePath(root)) {
  std::ifstream in(path_, std::ios::binary);
  if (in) content_ = std::string(std::istreambuf_iterator<char>(in), {});
}

bool HiveSnapshot::Restore() const {
  // The hive's writers hold <hive>.lock while they replace the file.
  const int lock = ::open((path_ + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (lock >= 0) {
    while (::flock(lock, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  bool ok = false;
  if (!content_) {
    ok = ::unlink(path_.c_str()) == 0 || errno == ENOENT;
  } else {
    std::string temporary = path_ + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd >= 0) {
      ok = WriteAll(fd, content_->data(), content_->size()) && ::fchmod(fd, 0644) == 0 &&
           ::fsync(fd) == 0;
      ::close(fd);
      ok = ok && ::rename(temporary.c_str(), path_.c_str()) == 0;
      if (!ok) ::unlink(temporary.c_str());
    }
  }
  if (lock >= 0) ::close(lock);
  return ok;
}

}  // namespace tonvik::msi
