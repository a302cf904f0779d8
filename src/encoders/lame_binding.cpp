#include "encoders/lame_binding.h"

#include <mutex>
#include <optional>

#include "core/app_exception.h"
#include "core/settings.h"
#include "platform/dynamic_library.h"
#include "platform/text.h"

namespace tonvik {

namespace {

std::mutex g_lock;
std::optional<LameFunctions> g_bound;

}  // namespace

std::string LameLibraryPath() {
  std::u16string folder = Settings().GetAppPath();
  if (folder.empty() || (folder.back() != u'/' && folder.back() != u'\\')) folder.push_back(u'/');
  return ToUtf8(folder) + "lame_enc.so";
}

const LameFunctions& BindLame() {
  std::lock_guard guard(g_lock);
  if (g_bound) return *g_bound;
  DynamicLibrary library(LameLibraryPath());
  if (!library.loaded()) throw EncoderException("MP3 libraries are not installed");
  LameFunctions f;
  f.init = library.Function<BEINITSTREAM>("beInitStream");
  f.encode = library.Function<BEENCODECHUNK>("beEncodeChunk");
  f.deinit = library.Function<BEDEINITSTREAM>("beDeinitStream");
  f.close = library.Function<BECLOSESTREAM>("beCloseStream");
  f.info_tag = library.Function<BEWRITEINFOTAG>("beWriteInfoTag");
  f.info_tag_w = library.Function<BEWRITEINFOTAGW>("beWriteInfoTagW");
  if (!f.init || !f.encode || !f.deinit || !f.close || !f.info_tag) {
    throw EncoderException("MP3 libraries are broken");
  }
  library.Leak();  // the binding lasts for the process
  g_bound = f;
  return *g_bound;
}

void ForgetLameBinding() {
  std::lock_guard guard(g_lock);
  g_bound.reset();
}

}  // namespace tonvik
