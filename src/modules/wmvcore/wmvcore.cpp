// wmvcore.so: the entry points of the Windows Media Format runtime.
#include "modules/wmvcore/profile_manager.h"
#include "platform/file_version.h"
#include "modules/wmvcore/writer.h"

// The file version, readable without running the module (see
// platform/file_version.h).
TONVIK_FILE_VERSION_NOTE("11.0.5721.5145")

extern "C" {

[[gnu::visibility("default")]] HRESULT WMCreateWriter(IUnknown* certificate, IWMWriter** writer) {
  (void)certificate;  // no rights management here
  if (!writer) return E_POINTER;
  *writer = new wmvcore::Writer;
  return S_OK;
}

[[gnu::visibility("default")]] HRESULT WMCreateProfileManager(IWMProfileManager** manager) {
  if (!manager) return E_POINTER;
  *manager = new wmvcore::ProfileManager;
  return S_OK;
}

}  // extern "C"
