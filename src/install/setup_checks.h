// The checks the setup makes before its pages, and the version rules of the
// components it looks for. Logic only.
#pragma once

#include <string_view>

namespace tonvik::install {

// major × 100 + minor at least 500. The setup asks with the version it stands
// in for (Windows 2000 and later always pass here); tests inject others.
bool WindowsVersionSupported(int major, int minor);
// This process runs with the effective user id 0.
bool IsAdministrator();
// A 32-bit build on a 64-bit kernel.
bool IsWow64Process();

// Windows Installer: the version starts with a character above '1' or its
// second character is not '.' ("2.0", "3.1", "10" pass, "1.1" fails).
bool MsiVersionSufficient(std::string_view version);
// WMA codecs: the same with '8' ("9.0", "10.0", "11" pass, "8.0" fails).
bool WmaVersionSufficient(std::string_view version);

}  // namespace tonvik::install
