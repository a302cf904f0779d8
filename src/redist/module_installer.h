// The redistributables instmsiw and wmfdist95: each carries one system module
// (msi.so, wmvcore.so) inside itself and puts it into the system modules
// folder, as the system's own component installers do.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/exit_codes.h"

namespace tonvik::redist {

// Exit codes: the system installers' codes as an exit status carries them,
// in its low eight bits (3010 arrives as 194, 1603 as 67).
inline constexpr int kInstalled = 0;
inline constexpr int kBadArguments = 87;             // an option we do not know
inline constexpr int kInstallFailed = 1603 & 0xFF;   // the module could not be written
inline constexpr int kRebootRequired = kRestartRequiredStatus;  // placed, but a running program still uses the old one

// The options the installers take: "/Q:A" (quiet, no questions) and "/R:N"
// (never restart); both are what these installers do anyway. False for any
// other argument.
bool AcceptArguments(const std::vector<std::string>& arguments);

// Whether a running process has the file mapped (/proc/<pid>/maps).
bool FileInUse(const std::string& path);

// Writes the module as `folder` + `name` (the folder is created when missing):
// through a temporary file in the folder, synced, then renamed over the old
// one, so a failure never leaves a half-written module. Returns an exit code
// above; `error` gets the reason of a failure.
int InstallModule(const std::string& folder, const std::string& name, const uint8_t* data, size_t size,
                  std::string* error);

}  // namespace tonvik::redist
