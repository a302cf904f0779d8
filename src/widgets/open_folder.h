// Opening a folder in the desktop's file manager (Qt Gui's desktop services;
// needs a QGuiApplication).
#pragma once
#include <string>

namespace tonvik {

bool OpenFolder(const std::u16string& path);

}  // namespace tonvik
