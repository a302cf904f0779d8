// The interface of wmvcore.so, the Windows Media Format runtime of this
// platform: the two entry points, the records and the abstract interfaces the
// WMA encoder uses, with the runtime's names. Shared by the module and by the
// encoder that loads it at run time.
//
// Interfaces are C++ abstract classes in the shape of COM: every one derives
// from IUnknown, results are HRESULT codes (negative = failure), objects are
// reference counted and released by their last user. Text is UTF-16
// (char16_t), zero-terminated. Both sides must be built by the same compiler,
// as the vtable layout is the contract.
#pragma once
#include <cstddef>
#include <cstdint>

using HRESULT = int32_t;
using ULONG = uint32_t;
using DWORD = uint32_t;
using WORD = uint16_t;
using BYTE = uint8_t;
using BOOL = int32_t;
using QWORD = uint64_t;
using WCHAR = char16_t;

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFF);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
// The runtime's own codes.
constexpr HRESULT ASF_E_BUFFERTOOSMALL = static_cast<HRESULT>(0xC00D07D1);
constexpr HRESULT NS_E_INVALID_REQUEST = static_cast<HRESULT>(0xC00D002B);
constexpr HRESULT NS_E_INVALID_INPUT_FORMAT = static_cast<HRESULT>(0xC00D0BB8);
constexpr HRESULT NS_E_INVALID_OUTPUT_FORMAT = static_cast<HRESULT>(0xC00D0BB9);
constexpr HRESULT NS_E_AUDIO_CODEC_ERROR = static_cast<HRESULT>(0xC00D0BC1);
constexpr HRESULT NS_E_NOT_CONFIGURED = static_cast<HRESULT>(0xC00D0BCE);
// A system error as a result code: 0x8007xxxx with the Windows error number.
constexpr HRESULT HRESULT_FROM_WIN32(uint32_t error) {
  return error == 0 ? S_OK : static_cast<HRESULT>((error & 0xFFFF) | 0x80070000u);
}

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
constexpr bool operator==(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i) {
    if (a.Data4[i] != b.Data4[i]) return false;
  }
  return true;
}
using REFGUID = const GUID&;
using REFIID = const GUID&;

// Media types, subtypes and format types.
inline constexpr GUID WMMEDIATYPE_Audio = {
    0x73647561, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr GUID WMMEDIASUBTYPE_PCM = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr GUID WMFORMAT_WaveFormatEx = {
    0x05589F81, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
// The audio subtype of a wave format tag: the tag in the first field.
constexpr GUID AudioSubtype(uint16_t format_tag) {
  return {format_tag, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}

// Interface identifiers.
inline constexpr GUID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr GUID IID_INSSBuffer = {
    0xE1CD3524, 0x03D7, 0x11D2, {0x9E, 0xED, 0x00, 0x60, 0x97, 0xD2, 0xD7, 0xCF}};
inline constexpr GUID IID_IWMMediaProps = {
    0x96406BCE, 0x2B2B, 0x11D3, {0xB3, 0x6B, 0x00, 0xC0, 0x4F, 0x61, 0x08, 0xFF}};
inline constexpr GUID IID_IWMInputMediaProps = {
    0x96406BD5, 0x2B2B, 0x11D3, {0xB3, 0x6B, 0x00, 0xC0, 0x4F, 0x61, 0x08, 0xFF}};
inline constexpr GUID IID_IWMWriter = {
    0x96406BD4, 0x2B2B, 0x11D3, {0xB3, 0x6B, 0x00, 0xC0, 0x4F, 0x61, 0x08, 0xFF}};
inline constexpr GUID IID_IWMHeaderInfo = {
    0x96406BDA, 0x2B2B, 0x11D3, {0xB3, 0x6B, 0x00, 0xC0, 0x4F, 0x61, 0x08, 0xFF}};
inline constexpr GUID IID_IWMProfile = {
    0x96406BDB, 0x2B2B, 0x11D3, {0xB3, 0x6B, 0x00, 0xC0, 0x4F, 0x61, 0x08, 0xFF}};
inline constexpr GUID IID_IWMStreamConfig = {
    0x96406BDC, 0x2B2B, 0x11D3, {0xB3, 0x6B, 0x00, 0xC0, 0x4F, 0x61, 0x08, 0xFF}};
inline constexpr GUID IID_IWMWriterAdvanced = {
    0x96406BE3, 0x2B2B, 0x11D3, {0xB3, 0x6B, 0x00, 0xC0, 0x4F, 0x61, 0x08, 0xFF}};
inline constexpr GUID IID_IWMWriterSink = {
    0x96406BE4, 0x2B2B, 0x11D3, {0xB3, 0x6B, 0x00, 0xC0, 0x4F, 0x61, 0x08, 0xFF}};
inline constexpr GUID IID_IWMProfileManager = {
    0xD16679F2, 0x6CA0, 0x472D, {0x8D, 0x31, 0x2F, 0x5D, 0x55, 0xAE, 0xE1, 0x55}};
inline constexpr GUID IID_IWMCodecInfo = {
    0xA970F41E, 0x34DE, 0x4A98, {0xB3, 0xBA, 0xE4, 0xB3, 0xCA, 0x75, 0x28, 0xF0}};
inline constexpr GUID IID_IWMCodecInfo2 = {
    0xAA65E273, 0xB686, 0x4056, {0x91, 0xEC, 0xDD, 0x76, 0x8D, 0x4D, 0xF7, 0x10}};
inline constexpr GUID IID_IWMCodecInfo3 = {
    0x7E51F487, 0x4D93, 0x4F98, {0x8A, 0xB4, 0x27, 0xD0, 0x56, 0x5A, 0xDC, 0x51}};
inline constexpr GUID IID_IWMRegisterCallback = {
    0xCF4B1F99, 0x4DE2, 0x4E49, {0xA3, 0x63, 0x25, 0x27, 0x40, 0xD9, 0x9B, 0xC1}};
inline constexpr GUID IID_IWMStatusCallback = {
    0x6D7CDC70, 0x9888, 0x11D3, {0x8E, 0xDC, 0x00, 0xC0, 0x4F, 0x61, 0x09, 0xCF}};

#pragma pack(push, 1)
// The 18-byte wave format record; cbSize extra bytes follow it.
struct WAVEFORMATEX {
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
  WORD wBitsPerSample;
  WORD cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);

constexpr WORD WAVE_FORMAT_PCM = 1;
constexpr WORD WAVE_FORMAT_WMAUDIO2 = 0x161;

struct IUnknown;

// The media-type record (72 bytes where pointers have 4). GetMediaType hands
// it out followed by its format bytes, with pbFormat pointing at them.
struct WM_MEDIA_TYPE {
  GUID majortype;
  GUID subtype;
  BOOL bFixedSizeSamples;
  BOOL bTemporalCompression;
  ULONG lSampleSize;
  GUID formattype;
  IUnknown* pUnk;
  ULONG cbFormat;
  BYTE* pbFormat;
};

enum WMT_VERSION : uint32_t {
  WMT_VER_4_0 = 0x00040000,
  WMT_VER_7_0 = 0x00070000,
  WMT_VER_8_0 = 0x00080000,
  WMT_VER_9_0 = 0x00090000,
};

enum WMT_ATTR_DATATYPE : uint32_t {
  WMT_TYPE_DWORD = 0,
  WMT_TYPE_STRING = 1,
  WMT_TYPE_BINARY = 2,
  WMT_TYPE_BOOL = 3,
  WMT_TYPE_QWORD = 4,
  WMT_TYPE_WORD = 5,
  WMT_TYPE_GUID = 6,
};

enum WMT_STATUS : uint32_t {
  WMT_ERROR = 0,
  WMT_OPENED = 1,
  WMT_BUFFERING_START = 2,
  WMT_BUFFERING_STOP = 3,
  WMT_EOF = 4,
  WMT_END_OF_FILE = 4,
  WMT_END_OF_SEGMENT = 5,
  WMT_END_OF_STREAMING = 6,
  WMT_LOCATING = 7,
  WMT_CONNECTING = 8,
  WMT_NO_RIGHTS = 9,
  WMT_MISSING_CODEC = 10,
  WMT_STARTED = 11,
  WMT_STOPPED = 12,
  WMT_CLOSED = 13,
};

// The codec enumeration setting that switches GetCodecFormat* between the
// constant-bit-rate and the quality (VBR) formats; a BOOL value.
inline constexpr WCHAR g_wszVBREnabled[] = u"_VBRENABLED";

struct IUnknown {
  virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;  // objects go by Release, never by delete
};

struct INSSBuffer : IUnknown {
  virtual HRESULT GetLength(DWORD* length) = 0;
  virtual HRESULT SetLength(DWORD length) = 0;
  virtual HRESULT GetMaxLength(DWORD* length) = 0;
  virtual HRESULT GetBuffer(BYTE** buffer) = 0;
  virtual HRESULT GetBufferAndLength(BYTE** buffer, DWORD* length) = 0;
};

struct IWMMediaProps : IUnknown {
  virtual HRESULT GetType(GUID* type) = 0;
  // With type null, *size receives the bytes needed; with a buffer too small,
  // ASF_E_BUFFERTOOSMALL and the size needed.
  virtual HRESULT GetMediaType(WM_MEDIA_TYPE* type, DWORD* size) = 0;
  virtual HRESULT SetMediaType(WM_MEDIA_TYPE* type) = 0;
};

struct IWMInputMediaProps : IWMMediaProps {
  virtual HRESULT GetConnectionName(WCHAR* name, WORD* length) = 0;
  virtual HRESULT GetGroupName(WCHAR* name, WORD* length) = 0;
};

struct IWMStreamConfig : IUnknown {
  virtual HRESULT GetStreamType(GUID* type) = 0;
  virtual HRESULT GetStreamNumber(WORD* number) = 0;
  virtual HRESULT SetStreamNumber(WORD number) = 0;
  virtual HRESULT GetStreamName(WCHAR* name, WORD* length) = 0;
  virtual HRESULT SetStreamName(const WCHAR* name) = 0;
  virtual HRESULT GetConnectionName(WCHAR* name, WORD* length) = 0;
  virtual HRESULT SetConnectionName(const WCHAR* name) = 0;
  virtual HRESULT GetBitrate(DWORD* bits_per_second) = 0;
  virtual HRESULT SetBitrate(DWORD bits_per_second) = 0;
};

struct IWMProfile : IUnknown {
  virtual HRESULT GetVersion(WMT_VERSION* version) = 0;
  virtual HRESULT GetName(WCHAR* name, DWORD* length) = 0;
  virtual HRESULT SetName(const WCHAR* name) = 0;
  virtual HRESULT GetStreamCount(DWORD* count) = 0;
  virtual HRESULT GetStream(DWORD index, IWMStreamConfig** config) = 0;
  // The profile keeps a copy of the stream as it is at this call.
  virtual HRESULT AddStream(IWMStreamConfig* config) = 0;
  virtual HRESULT CreateNewStream(REFGUID stream_type, IWMStreamConfig** config) = 0;
};

struct IWMProfileManager : IUnknown {
  virtual HRESULT CreateEmptyProfile(WMT_VERSION version, IWMProfile** profile) = 0;
};

struct IWMCodecInfo : IUnknown {
  virtual HRESULT GetCodecInfoCount(REFGUID type, DWORD* count) = 0;
  virtual HRESULT GetCodecFormatCount(REFGUID type, DWORD codec, DWORD* count) = 0;
  virtual HRESULT GetCodecFormat(REFGUID type, DWORD codec, DWORD format,
                                 IWMStreamConfig** config) = 0;
};

struct IWMCodecInfo2 : IWMCodecInfo {
  virtual HRESULT GetCodecName(REFGUID type, DWORD codec, WCHAR* name, DWORD* length) = 0;
  virtual HRESULT GetCodecFormatDesc(REFGUID type, DWORD codec, DWORD format,
                                     IWMStreamConfig** config, WCHAR* desc, DWORD* length) = 0;
};

struct IWMCodecInfo3 : IWMCodecInfo2 {
  virtual HRESULT SetCodecEnumerationSetting(REFGUID type, DWORD codec, const WCHAR* name,
                                             WMT_ATTR_DATATYPE data_type, const BYTE* value,
                                             DWORD size) = 0;
  virtual HRESULT GetCodecEnumerationSetting(REFGUID type, DWORD codec, const WCHAR* name,
                                             WMT_ATTR_DATATYPE* data_type, BYTE* value,
                                             DWORD* size) = 0;
};

// Attributes of the file (stream 0) or of a stream.
struct IWMHeaderInfo : IUnknown {
  virtual HRESULT GetAttributeCount(WORD stream, WORD* count) = 0;
  virtual HRESULT GetAttributeByName(WORD* stream, const WCHAR* name, WMT_ATTR_DATATYPE* type,
                                     BYTE* value, WORD* length) = 0;
  virtual HRESULT SetAttribute(WORD stream, const WCHAR* name, WMT_ATTR_DATATYPE type,
                               const BYTE* value, WORD length) = 0;
};

struct IWMStatusCallback : IUnknown {
  virtual HRESULT OnStatus(WMT_STATUS status, HRESULT result, WMT_ATTR_DATATYPE type,
                           BYTE* value, void* context) = 0;
};

struct IWMRegisterCallback : IUnknown {
  virtual HRESULT Advise(IWMStatusCallback* callback, void* context) = 0;
  virtual HRESULT Unadvise(IWMStatusCallback* callback, void* context) = 0;
};

struct IWMWriterSink : IUnknown {
  virtual HRESULT IsRealTime(BOOL* real_time) = 0;
};

struct IWMWriterAdvanced : IUnknown {
  virtual HRESULT GetSinkCount(DWORD* count) = 0;
  virtual HRESULT GetSink(DWORD index, IWMWriterSink** sink) = 0;
};

struct IWMWriter : IUnknown {
  virtual HRESULT SetProfile(IWMProfile* profile) = 0;
  // The file is written at this path from BeginWriting on.
  virtual HRESULT SetOutputFilename(const WCHAR* path) = 0;
  virtual HRESULT GetInputCount(DWORD* count) = 0;
  virtual HRESULT GetInputProps(DWORD input, IWMInputMediaProps** props) = 0;
  virtual HRESULT SetInputProps(DWORD input, IWMInputMediaProps* props) = 0;
  virtual HRESULT BeginWriting() = 0;
  virtual HRESULT EndWriting() = 0;
  virtual HRESULT AllocateSample(DWORD size, INSSBuffer** sample) = 0;
  // time: the sample's presentation time in 100-ns units.
  virtual HRESULT WriteSample(DWORD input, QWORD time, DWORD flags, INSSBuffer* sample) = 0;
  virtual HRESULT Flush() = 0;
};

// The entry points, by name "WMCreateWriter" and "WMCreateProfileManager".
extern "C" {
using WMCreateWriterFunction = HRESULT (*)(IUnknown* certificate, IWMWriter** writer);
using WMCreateProfileManagerFunction = HRESULT (*)(IWMProfileManager** manager);
}

// A counted reference: releases what it holds.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { Reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      p_ = other.p_;
      other.p_ = nullptr;
    }
    return *this;
  }
  // Takes over a reference the caller already owns.
  static ComPtr Adopt(T* p) {
    ComPtr c;
    c.p_ = p;
    return c;
  }
  void Reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For out-parameters: releases what is held first.
  T** Out() {
    Reset();
    return &p_;
  }
  // QueryInterface into another counted reference; the result's HRESULT.
  template <typename U>
  HRESULT As(REFIID iid, ComPtr<U>* out) const {
    if (!p_) return E_POINTER;
    return p_->QueryInterface(iid, reinterpret_cast<void**>(out->Out()));
  }

 private:
  T* p_ = nullptr;
};
