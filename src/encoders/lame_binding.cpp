#include "encoders/lame_binding.h"

#include "core/app_exception.h"
#include "core/settings.h"
#include "platform/dynamic_library.h"
#include "platform/run_time_binding.h"
#include "platform/text.h"

namespace tonvik {

namespace {

RunTimeBinding<LameFunctions>& Binding() {
  static RunTimeBinding<LameFunctions> binding;
  return binding;
}

}  // namespace

std::string LameLibraryPath() {
  std::u16string folder = Settings().GetAppPath();
  if (folder.empty() || (folder.back() != u'/' && folder.back() != u'\\')) folder.push_back(u'/');
  return ToUtf8(folder) + "lame_enc.so";
}

const LameFunctions& BindLame() {
  return Binding().Get([] { return DynamicLibrary(LameLibraryPath()); },
                       [](const DynamicLibrary& library) {
                         if (!library.loaded()) throw EncoderException("MP3 libraries are not installed");
                         LameFunctions f;
                         f.init = library.Function<BEINITSTREAM>("beInitStream");
                         f.encode = library.Function<BEENCODECHUNK>("beEncodeChunk");
                         f.deinit = library.Function<BEDEINITSTREAM>("beDeinitStream");
                         f.close = library.Function<BECLOSESTREAM>("beCloseStream");
                         f.info_tag = library.Function<BEWRITEINFOTAG>("beWriteInfoTag");
                         f.info_tag_w = library.Function<BEWRITEINFOTAGW>("beWriteInfoTagW");
                         if (!f.init || !f.encode || !f.deinit || !f.close || !f.info_tag)
                           throw EncoderException("MP3 libraries are broken");
                         return f;
                       });
}

void ForgetLameBinding() { Binding().Forget(); }

}  // namespace tonvik
