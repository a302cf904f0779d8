// The exit code of an installer that finished but needs a restart to
// complete (Windows Installer's ERROR_SUCCESS_REBOOT_REQUIRED), shared by the
// installer engine, the redistributables and the setup that runs them.
#pragma once

namespace tonvik {

inline constexpr int kRestartRequired = 3010;
// An exit status holds eight bits here, so exit(3010) arrives as 194, which
// no signal's 128 + number reaches.
inline constexpr int kRestartRequiredStatus = kRestartRequired & 0xFF;

// True for an installer's exit status that asks for a restart.
inline bool AsksForRestart(int exit_status) {
  return exit_status == kRestartRequired || exit_status == kRestartRequiredStatus;
}

}  // namespace tonvik
