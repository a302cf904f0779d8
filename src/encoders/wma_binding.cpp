#include "encoders/wma_binding.h"

#include "core/app_exception.h"
#include "platform/run_time_binding.h"
#include "platform/system_modules.h"

namespace tonvik {

namespace {

RunTimeBinding<WmaFunctions>& Binding() {
  static RunTimeBinding<WmaFunctions> binding;
  return binding;
}

}  // namespace

const WmaFunctions& BindWma() {
  return Binding().Get([] { return LoadModuleByName(kWmaModuleName); },
                       [](const DynamicLibrary& library) {
                         if (!library.loaded())
                           throw EncoderException("WMA encoding libraries aren't installed. Please reinstall Tonvik.");
                         WmaFunctions f;
                         f.create_writer = library.Function<WMCreateWriterFunction>("WMCreateWriter");
                         if (!f.create_writer) throw EncoderException("Internal error #1521");
                         f.create_profile_manager =
                             library.Function<WMCreateProfileManagerFunction>("WMCreateProfileManager");
                         if (!f.create_profile_manager) throw EncoderException("Internal error #1522");
                         return f;
                       });
}

void ForgetWmaBinding() { Binding().Forget(); }

}  // namespace tonvik
