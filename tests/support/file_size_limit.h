// Lowers the file-size limit of the process for a scope, as a full disk would
// stop writes: a write past it fails with EFBIG (SIGXFSZ ignored).
#pragma once
#include <signal.h>
#include <sys/resource.h>

namespace tonvik::testing {

class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &saved_);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved_); }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_;
};

}  // namespace tonvik::testing
