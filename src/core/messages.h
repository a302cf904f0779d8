// The texts of the application core, as the user sees them.
#pragma once

#include "core/version.h"  // kCaption

namespace tonvik {

inline constexpr char16_t kMsgBadInstall[] =
    u"Tonvik is probably incorrectly installed.\n\nPlease, reinstall Tonvik. If problem persists, "
    u"contact Quellbrook support.";
inline constexpr char16_t kMsgNotLaunchedDirectly[] =
    u"Tonvik is not intended to be launched directly. Please use Windows Explorer as described in "
    u"quick introduction.";
inline constexpr char16_t kMsgInternal12[] = u"Internal error #12.";

// Start-up input that cannot be used.
inline constexpr char16_t kMsgNotUtf16[] =
    u"The start-up input is not UTF-16LE text. Tonvik expects the format number and the paths as "
    u"UTF-16LE lines ended by LF.";
inline constexpr char16_t kMsgLineTooLong[] =
    u"Line %1% of the start-up input is longer than %2% characters.";
inline constexpr char16_t kMsgUnknownFormat[] =
    u"The start-up input asks for output format %1%, which does not exist (1 WAV, 2 MP3, 3 WMA, "
    u"4 Ogg Vorbis, 5 Monkey's Audio, 6 FLAC).";
inline constexpr char16_t kMsgPathTooShort[] =
    u"The start-up path \"%1%\" is too short to name a track of the disc.";

}  // namespace tonvik
