// wmvcore.so: the entry points of the Windows Media Format runtime.
#include "modules/wmvcore/profile_manager.h"
#include "modules/wmvcore/writer.h"

namespace {

// The file version, readable without running the module: an ELF note of
// type 1 owned by "Quellbrook" in the section .note.quellbrook.version,
// whose descriptor is the version text with its terminator
// (`readelf -n wmvcore.so` shows it).
struct VersionNote {
  uint32_t name_size = sizeof(name);
  uint32_t desc_size = sizeof(desc);
  uint32_t type = 1;
  char name[12] = "Quellbrook";  // 11 bytes and padding to 4
  char desc[8] = "5.0.1";        // 6 bytes and padding to 4
};
static_assert(sizeof(VersionNote) == 32);

[[gnu::used, gnu::section(".note.quellbrook.version"), gnu::aligned(4)]]
const VersionNote kVersion{};

}  // namespace

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
