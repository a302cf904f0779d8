#include "riplog/log_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "output/naming.h"
#include "platform/fd_io.h"
#include "platform/syserror.h"
#include "platform/text.h"

namespace tonvik::riplog {
namespace {

constexpr size_t kMaxNameBytes = 255;
// Room for the largest number and the extension: " (9999).log".
constexpr int kMaxNumber = 9999;
constexpr size_t kSuffixBytes = 11;
// Far more than any rip writes; a larger file is no log of ours.
constexpr size_t kMaxLogBytes = 64u << 20;

std::string ErrorText(const std::string& subject, int code) {
  return subject + ": " + ToUtf8(SystemErrorText(code));
}

// The bytes up to `limit`, not splitting a UTF-8 sequence.
std::string CutUtf8(std::string text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

std::string SafeStem(std::string_view wanted) {
  std::u16string name = FilterName(FromUtf8(wanted));
  std::u16string kept;
  for (char16_t c : name)
    if (c >= 0x20 && c != 0x7F) kept.push_back(c);
  // No hidden file, and no trailing dot or space (which some file systems drop).
  const size_t first = kept.find_first_not_of(u" .");
  if (first == std::u16string::npos) return "";
  const size_t last = kept.find_last_not_of(u" .");
  std::string stem = CutUtf8(ToUtf8(kept.substr(first, last - first + 1)), kMaxNameBytes - kSuffixBytes);
  while (!stem.empty() && (stem.back() == ' ' || stem.back() == '.')) stem.pop_back();
  return stem;
}

std::string ImageStem(const std::string& path) {
  std::string name = path.substr(path.find_last_of('/') + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int Release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

// Renames `from` to `to` (in the folder `dir`) unless `to` exists. False with
// errno set otherwise; EEXIST when the name is taken.
bool RenameNoReplace(const std::string& from, int dir, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), dir, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without RENAME_NOREPLACE: a hard link fails on a taken name as well.
  if (::linkat(AT_FDCWD, from.c_str(), dir, to.c_str(), 0) != 0) return false;
  ::unlink(from.c_str());
  return true;
}

}  // namespace

std::string LogFileStem(const RipLog& log) {
  std::string stem = SafeStem(log.album);
  if (stem.empty()) {
    if (!log.image_path.empty()) {
      stem = SafeStem(ImageStem(log.image_path));
    } else {
      std::string drive = log.drive_vendor + " " + log.drive_product;
      stem = SafeStem(drive);
      // Between the padded INQUIRY fields: one space.
      std::string single;
      for (char c : stem)
        if (c != ' ' || single.empty() || single.back() != ' ') single += c;
      stem = single;
    }
  }
  return stem.empty() ? "Rip" : stem;
}

std::string LogFileName(const std::string& stem, int n, std::string_view extension) {
  return (n <= 1 ? stem : stem + " (" + std::to_string(n) + ")") + std::string(extension);
}

std::optional<std::string> WriteLogText(std::string_view text, const std::string& stem, const std::string& folder,
                                        std::string* error, std::string_view extension) {
  const std::string dir_path = folder.empty() ? "." : folder;
  Fd dir(::open(dir_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0) {
    *error = ErrorText(dir_path, errno);
    return std::nullopt;
  }
  std::string temp = dir_path + "/.tonvik-log-XXXXXX";
  Fd file(::mkostemp(temp.data(), O_CLOEXEC));
  if (file.get() < 0) {
    *error = ErrorText(dir_path, errno);
    return std::nullopt;
  }
  auto fail = [&](int code, const std::string& subject) -> std::optional<std::string> {
    ::unlink(temp.c_str());
    *error = ErrorText(subject, code);
    return std::nullopt;
  };
  if (::fchmod(file.get(), 0644) != 0) return fail(errno, dir_path);
  if (!WriteAll(file.get(), text.data(), text.size())) return fail(errno, dir_path);
  if (::fsync(file.get()) != 0) return fail(errno, dir_path);
  if (::close(file.Release()) != 0) return fail(errno, dir_path);
  for (int n = 1; n <= kMaxNumber; ++n) {
    const std::string name = LogFileName(stem, n, extension);
    if (RenameNoReplace(temp, dir.get(), name)) {
      ::fsync(dir.get());  // the new name on the disk; the file is whole either way
      return dir_path + "/" + name;
    }
    if (errno != EEXIST) return fail(errno, dir_path + "/" + name);
  }
  return fail(EEXIST, dir_path + "/" + LogFileName(stem, kMaxNumber, extension));
}

std::optional<std::string> WriteLog(const RipLog& log, const std::string& folder, std::string* error) {
  return WriteLogText(RenderLog(log), LogFileStem(log), folder, error);
}

LogCheck CheckLogText(std::string_view text) {
  // The last occurrence of the prefix is the checksum line. Anywhere but at
  // the start of the last line (a line break edited away, text added after
  // it), the log was changed.
  const size_t at = text.rfind(kChecksumPrefix);
  if (at == std::string_view::npos) return LogCheck::NoChecksum;
  if (at != 0 && text[at - 1] != '\n') return LogCheck::Edited;
  const std::string_view line = text.substr(at + kChecksumPrefix.size());
  // 64 lowercase hex digits and the final LF, nothing after it.
  if (line.size() != 65 || line.back() != '\n') return LogCheck::Edited;
  const std::string_view digits = line.substr(0, 64);
  for (char c : digits)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return LogCheck::Edited;
  return Sha256Hex(text.substr(0, at)) == digits ? LogCheck::Intact : LogCheck::Edited;
}

LogCheckResult CheckLog(const std::string& path) {
  LogCheckResult result;
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    result.error = ErrorText(path, errno);
    return result;
  }
  std::string text;
  char buffer[65536];
  while (true) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      result.error = ErrorText(path, errno);
      return result;
    }
    if (n == 0) break;
    text.append(buffer, static_cast<size_t>(n));
    if (text.size() > kMaxLogBytes) {
      result.error = path + ": too large to be a rip log";
      return result;
    }
  }
  result.status = CheckLogText(text);
  return result;
}

}  // namespace tonvik::riplog
