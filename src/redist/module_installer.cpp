#include "redist/module_installer.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/fd_io.h"

namespace tonvik::redist {

bool AcceptArguments(const std::vector<std::string>& arguments) {
  for (const std::string& a : arguments) {
    if (a != "/Q:A" && a != "/R:N") return false;
  }
  return true;
}

bool FileInUse(const std::string& path) {
  DIR* proc = opendir("/proc");
  if (!proc) return false;
  bool used = false;
  while (dirent* entry = readdir(proc)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    std::ifstream maps(std::string("/proc/") + entry->d_name + "/maps");
    std::string line;
    while (!used && std::getline(maps, line)) {
      // The path is the last field; it starts at the first '/' of the line.
      const size_t slash = line.find('/');
      used = slash != std::string::npos && line.compare(slash, std::string::npos, path) == 0;
    }
    if (used) break;
  }
  closedir(proc);
  return used;
}

int InstallModule(const std::string& folder, const std::string& name, const uint8_t* data, size_t size,
                  std::string* error) {
  auto fail = [&](const std::string& what) {
    *error = what + ": " + std::strerror(errno);
    return kInstallFailed;
  };
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    errno = ec.value();
    return fail("Cannot create " + folder);
  }
  const std::string target = folder + name;
  std::string temporary = folder + "." + name + ".XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) return fail("Cannot write to " + folder);
  const bool written = WriteAll(fd, data, size) && fchmod(fd, 0755) == 0 && fsync(fd) == 0;
  const int write_errno = errno;
  close(fd);
  if (!written) {
    unlink(temporary.c_str());
    errno = write_errno;
    return fail("Cannot write " + target);
  }
  // Asked before the rename: afterwards the path names the new file.
  const bool in_use = FileInUse(target);
  if (rename(temporary.c_str(), target.c_str()) != 0) {
    const int rename_errno = errno;
    unlink(temporary.c_str());
    errno = rename_errno;
    return fail("Cannot replace " + target);
  }
  // The folder entry itself must survive a crash as well.
  const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return in_use ? kRebootRequired : kInstalled;
}

}  // namespace tonvik::redist
