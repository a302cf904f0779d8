// The profile manager with its codec enumeration: one audio codec, Windows
// Media Audio (format tag 0x161), whose format list is the constant-bit-rate
// one, or with "_VBRENABLED" set the quality one.
#pragma once
#include <vector>

#include "modules/wmvcore/wm_objects.h"

namespace wmvcore {

// The codec's formats as stream configurations hand them out (audio media
// types with a wave format record), in enumeration order.
std::vector<MediaType> CodecFormatList(bool vbr);

class ProfileManager : public IWMProfileManager, public IWMCodecInfo3, public Counted {
 public:
  WMVCORE_UNKNOWN_METHODS
  HRESULT CreateEmptyProfile(WMT_VERSION version, IWMProfile** profile) override;
  HRESULT GetCodecInfoCount(REFGUID type, DWORD* count) override;
  HRESULT GetCodecFormatCount(REFGUID type, DWORD codec, DWORD* count) override;
  HRESULT GetCodecFormat(REFGUID type, DWORD codec, DWORD format, IWMStreamConfig** config) override;
  HRESULT GetCodecName(REFGUID type, DWORD codec, WCHAR* name, DWORD* length) override;
  HRESULT GetCodecFormatDesc(REFGUID type, DWORD codec, DWORD format, IWMStreamConfig** config,
                             WCHAR* desc, DWORD* length) override;
  HRESULT SetCodecEnumerationSetting(REFGUID type, DWORD codec, const WCHAR* name,
                                     WMT_ATTR_DATATYPE data_type, const BYTE* value,
                                     DWORD size) override;
  HRESULT GetCodecEnumerationSetting(REFGUID type, DWORD codec, const WCHAR* name,
                                     WMT_ATTR_DATATYPE* data_type, BYTE* value,
                                     DWORD* size) override;

 private:
  void* Find(REFIID iid);
  bool vbr_ = false;  // "_VBRENABLED" of the one audio codec
};

}  // namespace wmvcore
