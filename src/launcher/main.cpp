// tonvik [--format wav|mp3|wma|ogg|ape|flac] [SOURCE [TRACK...]]: rips a CD
// or a CUE/BIN image with the ripper installed beside this program.
// tonvik --check-log FILE: tells whether a rip log is as the rip wrote it.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "core/version.h"
#include "launcher/launcher.h"

namespace {

constexpr char kUsage[] =
    "Usage: tonvik [--format FORMAT] [SOURCE [TRACK...]]\n"
    "       tonvik --check-log FILE\n"
    "Rips an audio CD, or a CUE/BIN image, with Tonvik.\n"
    "\n"
    "  SOURCE   a CD device (/dev/sr0), a cdda:// address (cdda://sr0) or a .cue file;\n"
    "           without one, drive D (/dev/sr0 unless mapped otherwise)\n"
    "  TRACK    track numbers to rip, in this order; without them, every audio track\n"
    "  -f, --format FORMAT   wav, mp3, wma, ogg, ape or flac; without it, the format\n"
    "                        used last time (FLAC the first time)\n"
    "      --check-log FILE  checks a rip log against its checksum line and rips\n"
    "                        nothing; exits 0 when the log is intact, 1 when it\n"
    "                        was edited or has no checksum line, 2 when it\n"
    "                        cannot be read\n"
    "  -h, --help            this text\n"
    "      --version         the version\n"
    "\n"
    "Examples: tonvik --format mp3 /dev/sr0\n"
    "          tonvik album.cue 1 3\n"
    "          tonvik --check-log \"Album.log\"\n";

int Fail(const std::string& message) {
  std::fprintf(stderr, "tonvik: %s\n", message.c_str());
  return 2;
}

// The ripper lives in the installation folder beside this program.
std::string RipperPath() {
  char self[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "vandral";
  std::string path(self, size_t(n));
  return path.substr(0, path.rfind('/') + 1) + "vandral";
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tonvik::launcher;
  std::string error;
  const auto request = ParseArguments(std::vector<std::string>(argv + 1, argv + argc), &error);
  if (!request) return Fail(error);
  if (request->help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (request->version) {
    std::printf("tonvik %s\n", tonvik::kProductVersion);
    return 0;
  }
  if (!request->check_log.empty()) {
    const CheckLogOutcome outcome = CheckLogCommand(request->check_log);
    if (outcome.code == 2) return Fail(outcome.line);
    std::printf("%s\n", outcome.line.c_str());
    return outcome.code;
  }
  char16_t letter = u'D';
  if (!request->source.empty()) {
    const auto path = ResolveSource(request->source, &error);
    if (!path) return Fail(error);
    letter = LetterFor(*path);
    if (!letter) return Fail("no free drive letter for " + *path);
  }
  const int format = ChooseFormat(request->format);
  const int code = RunRipper(RipperPath(), StartupBytes(format, letter, request->tracks), &error);
  if (code < 0) return Fail("cannot start the ripper: " + error);
  return code;
}
