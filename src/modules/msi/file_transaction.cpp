#include "file_transaction.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/fd_io.h"

namespace tonvik::msi {

namespace {

std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('/') + 1); }
std::string NameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// A hard link to `path` under a fresh hidden name beside it; empty when none
// could be made.
std::string LinkBackup(const std::string& path) {
  for (int n = 0; n < 1000; ++n) {
    const std::string backup = FolderOf(path) + "." + NameOf(path) + ".msiold" + std::to_string(n);
    if (::link(path.c_str(), backup.c_str()) == 0) return backup;
    if (errno != EEXIST) break;
  }
  return {};
}

}  // namespace

unsigned ModeFor(const std::vector<uint8_t>& data) {
  const bool elf = data.size() >= 4 && data[0] == 0x7F && data[1] == 'E' && data[2] == 'L' && data[3] == 'F';
  const bool script = data.size() >= 2 && data[0] == '#' && data[1] == '!';
  return elf || script ? 0755 : 0644;
}

FileTransaction::~FileTransaction() {
  if (!finished_) Rollback();
}

bool FileTransaction::EnsureFolder(const std::string& folder) {
  std::vector<std::string> missing;
  std::string path = folder;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  struct stat st {};
  while (!path.empty() && ::stat(path.c_str(), &st) != 0) {
    if (errno != ENOENT) return false;
    missing.push_back(path);
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) break;
    path.resize(slash);
  }
  if (!path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
    errno = ENOTDIR;
    return false;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (::mkdir(it->c_str(), 0755) != 0) return false;
    created_folders_.push_back(*it);
    // Readable by every user whatever the installer's umask.
    if (::chmod(it->c_str(), 0755) != 0) return false;
  }
  return true;
}

bool FileTransaction::Stage(const std::string& target, const std::vector<uint8_t>& data,
                            unsigned mode) {
  std::string temporary = FolderOf(target) + "." + NameOf(target) + ".msiXXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return false;
  staged_.push_back({target, temporary, std::string(), false});
  const bool ok = WriteAll(fd, data.data(), data.size()) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
  const int saved = errno;
  ::close(fd);
  errno = saved;
  return ok;
}

bool FileTransaction::Commit() {
  for (Staged& s : staged_) {
    struct stat st {};
    if (::lstat(s.target.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return false;
      }
      s.backup = LinkBackup(s.target);
      if (s.backup.empty()) return false;
    }
    if (::rename(s.temporary.c_str(), s.target.c_str()) != 0) return false;
    s.placed = true;
  }
  for (const Staged& s : staged_) SyncFolder(FolderOf(s.target));
  return true;
}

void FileTransaction::Finish() {
  for (const Staged& s : staged_) {
    if (!s.backup.empty()) ::unlink(s.backup.c_str());
  }
  staged_.clear();
  created_folders_.clear();
  finished_ = true;
}

void FileTransaction::Rollback() {
  for (auto it = staged_.rbegin(); it != staged_.rend(); ++it) {
    if (!it->placed) {
      ::unlink(it->temporary.c_str());
      if (!it->backup.empty()) ::unlink(it->backup.c_str());
    } else if (!it->backup.empty()) {
      ::rename(it->backup.c_str(), it->target.c_str());
    } else {
      ::unlink(it->target.c_str());
    }
  }
  staged_.clear();
  for (auto it = created_folders_.rbegin(); it != created_folders_.rend(); ++it) ::rmdir(it->c_str());
  created_folders_.clear();
  finished_ = true;
}

}  // namespace tonvik::msi
