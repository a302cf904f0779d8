// The process-wide binding to wmvcore.so, the Windows Media Format runtime,
// loaded by name (the program's folder, then the system modules folder) on the
// first WMA encoder and never unloaded. A failed load is tried again on the
// next call.
#pragma once
#include "modules/wmvcore/wmsdk.h"

namespace tonvik {

struct WmaFunctions {
  WMCreateWriterFunction create_writer = nullptr;
  WMCreateProfileManagerFunction create_profile_manager = nullptr;
};

inline constexpr char kWmaModuleName[] = "wmvcore.so";

// Binds on first use. Throws EncoderException "WMA encoding libraries aren't
// installed. Please reinstall Tonvik." when the module cannot be loaded,
// "Internal error #1521" without "WMCreateWriter" and "Internal error #1522"
// without "WMCreateProfileManager".
const WmaFunctions& BindWma();

// Drops the binding (the module stays loaded), so a test can bind another file.
void ForgetWmaBinding();

}  // namespace tonvik
