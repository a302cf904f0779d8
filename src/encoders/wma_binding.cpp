#include "encoders/wma_binding.h"

#include <mutex>
#include <optional>

#include "core/app_exception.h"
#include "platform/system_modules.h"

namespace tonvik {

namespace {

std::mutex g_lock;
std::optional<WmaFunctions> g_bound;

}  // namespace

const WmaFunctions& BindWma() {
  std::lock_guard guard(g_lock);
  if (g_bound) return *g_bound;
  DynamicLibrary library = LoadModuleByName(kWmaModuleName);
  if (!library.loaded()) {
    throw EncoderException("WMA encoding libraries aren't installed. Please reinstall Tonvik.");
  }
  WmaFunctions f;
  f.create_writer = library.Function<WMCreateWriterFunction>("WMCreateWriter");
  if (!f.create_writer) throw EncoderException("Internal error #1521");
  f.create_profile_manager = library.Function<WMCreateProfileManagerFunction>("WMCreateProfileManager");
  if (!f.create_profile_manager) throw EncoderException("Internal error #1522");
  library.Leak();  // the binding lasts for the process
  g_bound = f;
  return *g_bound;
}

void ForgetWmaBinding() {
  std::lock_guard guard(g_lock);
  g_bound.reset();
}

}  // namespace tonvik
