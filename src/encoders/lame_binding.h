// The process-wide binding to lame_enc.so in AppPath: loaded on the first MP3
// encoder and never unloaded. A failed load is tried again on the next call.
#pragma once
#include <string>

#include "modules/lame_enc/lame_enc.h"

namespace tonvik {

struct LameFunctions {
  BEINITSTREAM init = nullptr;
  BEENCODECHUNK encode = nullptr;
  BEDEINITSTREAM deinit = nullptr;
  BECLOSESTREAM close = nullptr;
  BEWRITEINFOTAG info_tag = nullptr;
  BEWRITEINFOTAGW info_tag_w = nullptr;  // optional
};

// Binds on first use. Throws EncoderException "MP3 libraries are not
// installed" when the file cannot be loaded and "MP3 libraries are broken"
// when one of the five required entry points is missing.
const LameFunctions& BindLame();

// The file BindLame loads: AppPath, one '/', "lame_enc.so".
std::string LameLibraryPath();

// Drops the binding (the library stays loaded), so a test can bind another file.
void ForgetLameBinding();

}  // namespace tonvik
