#include "modules/wmvcore/profile_manager.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace wmvcore {

namespace {

constexpr char16_t kCodecName[] = u"Windows Media Audio V2";

bool IsAudioCodec(REFGUID type, DWORD codec) { return type == WMMEDIATYPE_Audio && codec == 0; }

HRESULT CopyLongName(const std::u16string& text, WCHAR* out, DWORD* length) {
  if (!length) return E_POINTER;
  WORD n = static_cast<WORD>(std::min<DWORD>(*length, 0xFFFF));
  const HRESULT hr = CopyName(text, out, &n);
  *length = n;
  return hr;
}

}  // namespace

void* ProfileManager::Find(REFIID iid) {
  if (iid == IID_IUnknown || iid == IID_IWMProfileManager) return static_cast<IWMProfileManager*>(this);
  if (iid == IID_IWMCodecInfo || iid == IID_IWMCodecInfo2 || iid == IID_IWMCodecInfo3)
    return static_cast<IWMCodecInfo3*>(this);
  return nullptr;
}

HRESULT ProfileManager::CreateEmptyProfile(WMT_VERSION version, IWMProfile** profile) {
  if (!profile) return E_POINTER;
  if (version != WMT_VER_4_0 && version != WMT_VER_7_0 && version != WMT_VER_8_0 &&
      version != WMT_VER_9_0) {
    return E_INVALIDARG;
  }
  *profile = new Profile(version);
  return S_OK;
}

HRESULT ProfileManager::GetCodecInfoCount(REFGUID type, DWORD* count) {
  if (!count) return E_POINTER;
  *count = type == WMMEDIATYPE_Audio ? 1 : 0;
  return S_OK;
}

HRESULT ProfileManager::GetCodecFormatCount(REFGUID type, DWORD codec, DWORD* count) {
  if (!count) return E_POINTER;
  if (!IsAudioCodec(type, codec)) return E_INVALIDARG;
  *count = static_cast<DWORD>(CodecFormatList(vbr_).size());
  return S_OK;
}

HRESULT ProfileManager::GetCodecFormat(REFGUID type, DWORD codec, DWORD format,
                                       IWMStreamConfig** config) {
  if (!config) return E_POINTER;
  if (!IsAudioCodec(type, codec)) return E_INVALIDARG;
  std::vector<MediaType> list = CodecFormatList(vbr_);
  if (format >= list.size()) return E_INVALIDARG;
  auto* stream = new StreamConfig(WMMEDIATYPE_Audio);
  const WAVEFORMATEX wave = list[format].Wave();
  // A quality format has no fixed rate to announce.
  if (!vbr_) stream->SetBitrate(wave.nAvgBytesPerSec * 8);
  stream->SetMedia(std::move(list[format]));
  *config = stream;
  return S_OK;
}

HRESULT ProfileManager::GetCodecName(REFGUID type, DWORD codec, WCHAR* name, DWORD* length) {
  if (!IsAudioCodec(type, codec)) return E_INVALIDARG;
  return CopyLongName(kCodecName, name, length);
}

HRESULT ProfileManager::GetCodecFormatDesc(REFGUID type, DWORD codec, DWORD format,
                                           IWMStreamConfig** config, WCHAR* desc, DWORD* length) {
  if (!IsAudioCodec(type, codec)) return E_INVALIDARG;
  const std::vector<MediaType> list = CodecFormatList(vbr_);
  if (format >= list.size()) return E_INVALIDARG;
  const WAVEFORMATEX w = list[format].Wave();
  char text[96];
  if (vbr_) {
    std::snprintf(text, sizeof text, "VBR Quality %u, %u kHz, %s", w.nAvgBytesPerSec & 0xFF,
                  w.nSamplesPerSec / 1000, w.nChannels == 1 ? "mono" : "stereo");
  } else {
    std::snprintf(text, sizeof text, "%u kbps, %u kHz, %s CBR", w.nAvgBytesPerSec * 8 / 1000,
                  w.nSamplesPerSec / 1000, w.nChannels == 1 ? "mono" : "stereo");
  }
  if (config) {
    const HRESULT hr = GetCodecFormat(type, codec, format, config);
    if (FAILED(hr)) return hr;
  }
  return CopyLongName(std::u16string(text, text + std::char_traits<char>::length(text)), desc, length);
}

HRESULT ProfileManager::SetCodecEnumerationSetting(REFGUID type, DWORD codec, const WCHAR* name,
                                                   WMT_ATTR_DATATYPE data_type, const BYTE* value,
                                                   DWORD size) {
  if (!name || !value) return E_POINTER;
  if (!IsAudioCodec(type, codec)) return E_INVALIDARG;
  if (std::u16string(name) != g_wszVBREnabled) return E_INVALIDARG;  // the one setting known
  if (data_type != WMT_TYPE_BOOL || size != sizeof(BOOL)) return E_INVALIDARG;
  BOOL on = 0;
  std::copy(value, value + sizeof on, reinterpret_cast<BYTE*>(&on));
  vbr_ = on != 0;
  return S_OK;
}

HRESULT ProfileManager::GetCodecEnumerationSetting(REFGUID type, DWORD codec, const WCHAR* name,
                                                   WMT_ATTR_DATATYPE* data_type, BYTE* value,
                                                   DWORD* size) {
  if (!name || !data_type || !size) return E_POINTER;
  if (!IsAudioCodec(type, codec) || std::u16string(name) != g_wszVBREnabled) return E_INVALIDARG;
  *data_type = WMT_TYPE_BOOL;
  if (!value) {
    *size = sizeof(BOOL);
    return S_OK;
  }
  if (*size < sizeof(BOOL)) return ASF_E_BUFFERTOOSMALL;
  const BOOL on = vbr_ ? 1 : 0;
  std::copy(reinterpret_cast<const BYTE*>(&on), reinterpret_cast<const BYTE*>(&on) + sizeof on, value);
  *size = sizeof(BOOL);
  return S_OK;
}

}  // namespace wmvcore
