#include "launcher/launcher.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "cdrom/cd_drive.h"
#include "core/settings.h"
#include "platform/fd_io.h"
#include "platform/registry.h"
#include "platform/syserror.h"
#include "platform/text.h"
#include "riplog/log_file.h"

extern char** environ;

namespace tonvik::launcher {
namespace {

constexpr char16_t kDrivesKey[] = u"Software\\Quellbrook\\vandral\\Drives";
// The format the launcher used last, in the ripper's user key.
constexpr char16_t kFormatValue[] = u"LauncherFormat";

const char* const kFormatNames[] = {nullptr, "wav", "mp3", "wma", "ogg", "ape", "flac"};

std::string Absolute(const std::string& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved)) return resolved;
  return path;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

int FormatByName(const std::string& name) {
  std::string lower = name;
  for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "vorbis") lower = "ogg";
  if (lower == "monkey" || lower == "monkeys-audio") lower = "ape";
  for (int i = 1; i <= 6; ++i)
    if (lower == kFormatNames[i]) return i;
  return 0;
}

std::optional<Request> ParseArguments(const std::vector<std::string>& args, std::string* error) {
  Request r;
  bool have_source = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-h" || a == "--help") {
      r.help = true;
    } else if (a == "--version") {
      r.version = true;
    } else if (a == "--check-log" || a.rfind("--check-log=", 0) == 0) {
      if (a.rfind("--check-log=", 0) == 0) {
        r.check_log = a.substr(12);
      } else if (i + 1 < args.size()) {
        r.check_log = args[++i];
      }
      if (r.check_log.empty()) {
        *error = "--check-log needs the log file to check";
        return std::nullopt;
      }
    } else if (a == "--format" || a == "-f" || a.rfind("--format=", 0) == 0) {
      std::string name;
      if (a.rfind("--format=", 0) == 0) {
        name = a.substr(9);
      } else if (i + 1 < args.size()) {
        name = args[++i];
      } else {
        *error = "--format needs a format: wav, mp3, wma, ogg, ape or flac";
        return std::nullopt;
      }
      r.format = FormatByName(name);
      if (r.format == 0) {
        *error = "unknown format \"" + name + "\" (wav, mp3, wma, ogg, ape or flac)";
        return std::nullopt;
      }
    } else if (a.size() > 1 && a[0] == '-') {
      *error = "unknown option \"" + a + "\" (see tonvik --help)";
      return std::nullopt;
    } else if (!have_source) {
      r.source = a;
      have_source = true;
    } else {
      char* end = nullptr;
      errno = 0;
      const long n = std::strtol(a.c_str(), &end, 10);
      if (a.empty() || *end != '\0' || errno != 0 || n < 1 || n > 99) {
        *error = "\"" + a + "\" is not a track number (1 to 99)";
        return std::nullopt;
      }
      r.tracks.push_back(int(n));
    }
  }
  if (!r.check_log.empty() && (have_source || r.format != 0)) {
    *error = "--check-log takes no source, track or format";
    return std::nullopt;
  }
  return r;
}

CheckLogOutcome CheckLogCommand(const std::string& path) {
  const riplog::LogCheckResult result = riplog::CheckLog(path);
  switch (result.status) {
    case riplog::LogCheck::Intact:
      return {0, path + ": intact, the checksum matches"};
    case riplog::LogCheck::Edited:
      return {1, path + ": edited, the checksum does not match"};
    case riplog::LogCheck::NoChecksum:
      return {1, path + ": no checksum line, cannot be verified"};
    case riplog::LogCheck::Unreadable:
      break;
  }
  return {2, result.error};
}

std::optional<std::string> ResolveSource(const std::string& source, std::string* error) {
  std::string path = source;
  if (path.rfind("cdda://", 0) == 0) {
    path = path.substr(7);
    while (!path.empty() && path.back() == '/') path.pop_back();
    if (path.rfind("dev/", 0) != 0) path = "dev/" + path;
    path = "/" + path;
  } else if (path.rfind("file://", 0) == 0) {
    path = path.substr(7);
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    *error = source + ": " + ToUtf8(SystemErrorText(errno));
    return std::nullopt;
  }
  if (S_ISREG(st.st_mode) && cdrom::IsCueSheetPath(path)) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      *error = source + ": " + ToUtf8(SystemErrorText(errno));
      return std::nullopt;
    }
    ::close(fd);
    return Absolute(path);
  }
  if (S_ISBLK(st.st_mode) && cdrom::IsCdDevice(path)) return Absolute(path);
  *error = source + ": not a CD drive or a CUE sheet";
  return std::nullopt;
}

char16_t LetterFor(const std::string& path) { return LetterFor(path, Exists); }

char16_t LetterFor(const std::string& path, const std::function<bool(const std::string& device)>& device_present) {
  // A letter already naming the path, by its value or by its default device.
  for (char16_t letter = u'D'; letter <= u'Z'; ++letter)
    if (cdrom::DrivePath(letter) == path) return letter;
  for (char16_t letter = u'D'; letter <= u'Z'; ++letter) {
    if (cdrom::MappedDrivePath(letter) || device_present(cdrom::DefaultDrivePath(letter))) continue;
    auto key = reg::Key::Create(reg::Root::CurrentUser, kDrivesKey);
    return key && key->SetString(std::u16string(1, letter), FromUtf8(path)) ? letter : 0;
  }
  return 0;
}

int ChooseFormat(int requested) {
  auto key = reg::Key::Create(reg::Root::CurrentUser, kProductKey);
  if (requested) {
    if (key) key->SetDword(kFormatValue, requested);
    return requested;
  }
  uint32_t type = 0;
  std::vector<uint8_t> data;
  if (key && key->Query(kFormatValue, &type, &data) && type == reg::kDword && data.size() == 4) {
    const int stored = data[0] | data[1] << 8 | data[2] << 16 | data[3] << 24;
    if (stored >= 1 && stored <= 6) return stored;
  }
  return 6;  // FLAC
}

std::string StartupBytes(int format, char16_t letter, const std::vector<int>& tracks) {
  std::u16string text = FromUtf8(std::to_string(format)) + u"\n";
  const std::u16string root = std::u16string(1, letter) + u":\\";
  if (tracks.empty()) {
    text += root + u"\n";
  } else {
    for (int t : tracks) {
      char name[16];
      std::snprintf(name, sizeof name, "Track%02d.cda", t);
      text += root + FromUtf8(name) + u"\n";
    }
  }
  text += u"\n";
  std::string bytes;
  for (char16_t c : text) {
    bytes += char(c & 0xFF);
    bytes += char(c >> 8);
  }
  return bytes;
}

int RunRipper(const std::string& program, const std::string& input, std::string* error) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    *error = ToUtf8(SystemErrorText(errno));
    return -1;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
  pid_t pid = 0;
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[0]);
  if (spawned != 0) {
    ::close(fds[1]);
    *error = program + ": " + ToUtf8(SystemErrorText(spawned));
    return -1;
  }
  // The ripper reads its lines at once; a ripper that stopped early closes
  // the pipe, which is no reason to fail here: its exit code says how it went.
  ::signal(SIGPIPE, SIG_IGN);
  WriteAll(fds[1], input.data(), input.size());
  ::close(fds[1]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      *error = ToUtf8(SystemErrorText(errno));
      return -1;
    }
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

}  // namespace tonvik::launcher
