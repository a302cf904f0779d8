// Shell actions of the desktop: the user's music folder and starting a program
// without waiting for it (Qt Core only; opening a folder in the file manager is
// widgets/open_folder.h).
#pragma once
#include <string>

namespace tonvik {

// QStandardPaths' music location, created when missing; empty when the desktop
// names none.
std::u16string MusicFolder();

// Starts the program detached, with no arguments; false when it cannot start.
bool StartDetached(const std::u16string& program);

}  // namespace tonvik
