// The `tonvik` command: what a desktop (or a person in a terminal) starts.
// It turns a CD device, a cdda:// address or a CUE sheet into a drive letter
// of the Drives key and writes the ripper's start-up lines, exactly as a
// shell integration would, to `vandral`'s standard input.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tonvik::launcher {

struct Request {
  bool help = false;
  bool version = false;
  int format = 0;                  // 0: the one used last time (FLAC the first time)
  std::string source;              // empty: drive D
  std::vector<int> tracks;         // empty: the whole disc
  std::string check_log;           // --check-log FILE: check a rip log, rip nothing
};

// Parses the arguments (without the program name). nullopt with *error set
// ("unknown format "x"", ...) when they make no sense.
std::optional<Request> ParseArguments(const std::vector<std::string>& args, std::string* error);

// What `tonvik --check-log FILE` says and its exit code: 0 with the log
// intact, 1 when it was edited or has no checksum line, 2 when it cannot be
// read. The line goes to standard output, or to standard error with code 2.
struct CheckLogOutcome {
  int code = 2;
  std::string line;  // one line, without the LF
};
CheckLogOutcome CheckLogCommand(const std::string& path);

// The format number of a name (wav mp3 wma ogg ape flac), 0 for none.
int FormatByName(const std::string& name);

// What SOURCE names: a CD device or a readable .cue file, as an absolute
// path. cdda://sr0 and cdda://dev/sr0 name /dev/sr0. nullopt with *error
// telling why not.
std::optional<std::string> ResolveSource(const std::string& source, std::string* error);

// The letter of the Drives key for the path: a letter whose value (or, for
// a letter without one, whose default device /dev/srN) is that path; else
// the first letter from D with neither a value nor a device of its own,
// which is then written. 0 when every letter is taken or the key cannot be
// written. `device_present` tells which default devices exist (this
// machine's by default).
char16_t LetterFor(const std::string& path);
char16_t LetterFor(const std::string& path, const std::function<bool(const std::string& device)>& device_present);

// The format to use: the request's, stored for next time, or the stored
// one, or FLAC.
int ChooseFormat(int requested);

// The start-up lines as UTF-16LE bytes: the format number, then the drive
// root or one track file per requested track, then an empty line.
std::string StartupBytes(int format, char16_t letter, const std::vector<int>& tracks);

// Starts the ripper with the bytes on its standard input and waits for it;
// its exit code, or -1 with *error set when it could not be started.
int RunRipper(const std::string& program, const std::string& input, std::string* error);

}  // namespace tonvik::launcher
