// Shell actions of the desktop: the user's music folder, opening a folder in
// the file manager, starting a program without waiting for it.
#pragma once
#include <string>

namespace tonvik {

// QStandardPaths' music location, created when missing; empty when the desktop
// names none.
std::u16string MusicFolder();

// Opens the folder in the desktop's file manager. Needs a QGuiApplication.
bool OpenFolder(const std::u16string& path);

// Starts the program detached, with no arguments; false when it cannot start.
bool StartDetached(const std::u16string& program);

}  // namespace tonvik
