// The rip log on disk: its name, writing it beside the tracks without ever
// replacing another log, and checking a log against its checksum line.
#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "riplog/rip_log.h"

namespace tonvik::riplog {

// The name of the log without ".log": the album when the disc has titles,
// else the drive ("Vendor Product") or the image's file name without its
// extension, made a safe file name (no : * ? \ / < > " | nor control
// characters, no trailing dots or spaces, at most 255 bytes with the number
// and extension). "Rip" when nothing is left.
std::string LogFileStem(const RipLog& log);

// The n-th candidate name: "Stem.log", then "Stem (2).log", "Stem (3).log", ...
// (another extension for the files written beside the log, ".cue").
std::string LogFileName(const std::string& stem, int n, std::string_view extension = ".log");

// Writes the rendered log into `folder` under the first candidate name not
// taken. The text goes to a temporary file in the folder, is flushed to the
// disk and is then renamed without replacing anything, so a log that exists
// is never touched and a reader never sees half a log. The path written, or
// nullopt with *error set ("<folder>: Permission denied", ...); no temporary
// file is left then.
std::optional<std::string> WriteLog(const RipLog& log, const std::string& folder, std::string* error);
// The same with text already rendered (checksum line included); with another
// extension (at most four bytes, ".cue") any text beside the log, named and
// written by the same rules.
std::optional<std::string> WriteLogText(std::string_view text, const std::string& stem, const std::string& folder,
                                        std::string* error, std::string_view extension = ".log");

enum class LogCheck {
  Intact,      // the checksum line matches every byte above it
  Edited,      // it does not, it is not the last line, or it is malformed
  NoChecksum,  // the file has no checksum line (the prefix is nowhere in it)
  Unreadable,  // the file cannot be read
};

struct LogCheckResult {
  LogCheck status = LogCheck::Unreadable;
  std::string error;  // with Unreadable: why
};

// Checks text as a log file holds it.
LogCheck CheckLogText(std::string_view text);
// Reads the file and checks it.
LogCheckResult CheckLog(const std::string& path);

}  // namespace tonvik::riplog
