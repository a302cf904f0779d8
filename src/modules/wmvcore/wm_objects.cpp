#include "modules/wmvcore/wm_objects.h"

#include <algorithm>
#include <cstring>

namespace wmvcore {

namespace {

std::u16string FromWide(const WCHAR* text) { return text ? std::u16string(text) : std::u16string(); }

}  // namespace

HRESULT CopyName(const std::u16string& text, WCHAR* out, WORD* length) {
  if (!length) return E_POINTER;
  const size_t needed = text.size() + 1;
  if (!out) {
    *length = static_cast<WORD>(needed);
    return S_OK;
  }
  if (*length < needed) {
    *length = static_cast<WORD>(needed);
    return ASF_E_BUFFERTOOSMALL;
  }
  std::copy(text.begin(), text.end(), out);
  out[text.size()] = 0;
  *length = static_cast<WORD>(needed);
  return S_OK;
}

// ---- MediaType

HRESULT MediaType::Set(const WM_MEDIA_TYPE* type) {
  if (!type || (type->cbFormat > 0 && !type->pbFormat)) return E_POINTER;
  record = *type;
  record.pUnk = nullptr;
  record.pbFormat = nullptr;
  format.assign(type->pbFormat, type->pbFormat + type->cbFormat);
  return S_OK;
}

HRESULT MediaType::Get(WM_MEDIA_TYPE* type, DWORD* size) const {
  if (!size) return E_POINTER;
  const DWORD needed = static_cast<DWORD>(sizeof(WM_MEDIA_TYPE) + format.size());
  if (!type) {
    *size = needed;
    return S_OK;
  }
  if (*size < needed) {
    *size = needed;
    return ASF_E_BUFFERTOOSMALL;
  }
  *type = record;
  type->cbFormat = static_cast<ULONG>(format.size());
  BYTE* bytes = reinterpret_cast<BYTE*>(type) + sizeof(WM_MEDIA_TYPE);
  if (!format.empty()) std::memcpy(bytes, format.data(), format.size());
  type->pbFormat = format.empty() ? nullptr : bytes;
  *size = needed;
  return S_OK;
}

bool MediaType::HasWaveFormat() const {
  return record.formattype == WMFORMAT_WaveFormatEx && format.size() >= sizeof(WAVEFORMATEX);
}

WAVEFORMATEX MediaType::Wave() const {
  WAVEFORMATEX wave;
  std::memcpy(&wave, format.data(), sizeof wave);
  return wave;
}

MediaType AudioMediaType(const WAVEFORMATEX& wave, const std::vector<BYTE>& extra) {
  MediaType m;
  m.record.majortype = WMMEDIATYPE_Audio;
  m.record.subtype = AudioSubtype(wave.wFormatTag);
  m.record.bFixedSizeSamples = 1;
  m.record.bTemporalCompression = 0;
  m.record.lSampleSize = wave.nBlockAlign;
  m.record.formattype = WMFORMAT_WaveFormatEx;
  WAVEFORMATEX w = wave;
  w.cbSize = static_cast<WORD>(extra.size());
  m.format.resize(sizeof w + extra.size());
  std::memcpy(m.format.data(), &w, sizeof w);
  if (!extra.empty()) std::memcpy(m.format.data() + sizeof w, extra.data(), extra.size());
  m.record.cbFormat = static_cast<ULONG>(m.format.size());
  return m;
}

// ---- SampleBuffer

void* SampleBuffer::Find(REFIID iid) {
  if (iid == IID_IUnknown || iid == IID_INSSBuffer) return static_cast<INSSBuffer*>(this);
  return nullptr;
}

HRESULT SampleBuffer::GetLength(DWORD* length) {
  if (!length) return E_POINTER;
  *length = length_;
  return S_OK;
}

HRESULT SampleBuffer::SetLength(DWORD length) {
  if (length > data_.size()) return E_INVALIDARG;
  length_ = length;
  return S_OK;
}

HRESULT SampleBuffer::GetMaxLength(DWORD* length) {
  if (!length) return E_POINTER;
  *length = static_cast<DWORD>(data_.size());
  return S_OK;
}

HRESULT SampleBuffer::GetBuffer(BYTE** buffer) {
  if (!buffer) return E_POINTER;
  *buffer = data_.data();
  return S_OK;
}

HRESULT SampleBuffer::GetBufferAndLength(BYTE** buffer, DWORD* length) {
  if (!buffer || !length) return E_POINTER;
  *buffer = data_.data();
  *length = length_;
  return S_OK;
}

// ---- StreamConfig

void* StreamConfig::Find(REFIID iid) {
  if (iid == IID_IUnknown || iid == IID_IWMStreamConfig) return static_cast<IWMStreamConfig*>(this);
  if (iid == IID_IWMMediaProps) return static_cast<IWMMediaProps*>(this);
  return nullptr;
}

HRESULT StreamConfig::GetStreamType(GUID* type) {
  if (!type) return E_POINTER;
  *type = type_;
  return S_OK;
}

HRESULT StreamConfig::GetStreamNumber(WORD* number) {
  if (!number) return E_POINTER;
  *number = number_;
  return S_OK;
}

HRESULT StreamConfig::SetStreamNumber(WORD number) {
  // Stream numbers of an ASF file are 1 to 63.
  if (number < 1 || number > 63) return E_INVALIDARG;
  number_ = number;
  return S_OK;
}

HRESULT StreamConfig::GetStreamName(WCHAR* name, WORD* length) { return CopyName(name_, name, length); }

HRESULT StreamConfig::SetStreamName(const WCHAR* name) {
  if (!name) return E_POINTER;
  name_ = FromWide(name);
  return S_OK;
}

HRESULT StreamConfig::GetConnectionName(WCHAR* name, WORD* length) {
  return CopyName(connection_, name, length);
}

HRESULT StreamConfig::SetConnectionName(const WCHAR* name) {
  if (!name) return E_POINTER;
  connection_ = FromWide(name);
  return S_OK;
}

HRESULT StreamConfig::GetBitrate(DWORD* bits_per_second) {
  if (!bits_per_second) return E_POINTER;
  *bits_per_second = bitrate_;
  return S_OK;
}

HRESULT StreamConfig::SetBitrate(DWORD bits_per_second) {
  bitrate_ = bits_per_second;
  return S_OK;
}

HRESULT StreamConfig::GetType(GUID* type) { return GetStreamType(type); }

HRESULT StreamConfig::GetMediaType(WM_MEDIA_TYPE* type, DWORD* size) { return media_.Get(type, size); }

HRESULT StreamConfig::SetMediaType(WM_MEDIA_TYPE* type) {
  if (type && !(type->majortype == type_)) return NS_E_INVALID_OUTPUT_FORMAT;
  return media_.Set(type);
}

StreamConfig* StreamConfig::Clone() const {
  auto* copy = new StreamConfig(type_);
  copy->number_ = number_;
  copy->name_ = name_;
  copy->connection_ = connection_;
  copy->bitrate_ = bitrate_;
  copy->media_ = media_;
  return copy;
}

// ---- Profile

Profile::~Profile() {
  for (StreamConfig* s : streams_) s->Release();
}

void* Profile::Find(REFIID iid) {
  if (iid == IID_IUnknown || iid == IID_IWMProfile) return static_cast<IWMProfile*>(this);
  return nullptr;
}

HRESULT Profile::GetVersion(WMT_VERSION* version) {
  if (!version) return E_POINTER;
  *version = version_;
  return S_OK;
}

HRESULT Profile::GetName(WCHAR* name, DWORD* length) {
  if (!length) return E_POINTER;
  WORD n = static_cast<WORD>(std::min<DWORD>(*length, 0xFFFF));
  const HRESULT hr = CopyName(name_, name, &n);
  *length = n;
  return hr;
}

HRESULT Profile::SetName(const WCHAR* name) {
  if (!name) return E_POINTER;
  name_ = FromWide(name);
  return S_OK;
}

HRESULT Profile::GetStreamCount(DWORD* count) {
  if (!count) return E_POINTER;
  *count = static_cast<DWORD>(streams_.size());
  return S_OK;
}

HRESULT Profile::GetStream(DWORD index, IWMStreamConfig** config) {
  if (!config) return E_POINTER;
  if (index >= streams_.size()) return E_INVALIDARG;
  streams_[index]->AddRef();
  *config = streams_[index];
  return S_OK;
}

HRESULT Profile::AddStream(IWMStreamConfig* config) {
  // Only configurations of this runtime: the profile copies their state.
  auto* ours = dynamic_cast<StreamConfig*>(config);
  if (!ours) return E_INVALIDARG;
  WORD number = 0;
  ours->GetStreamNumber(&number);
  if (number == 0) return NS_E_INVALID_REQUEST;
  for (StreamConfig* s : streams_) {
    WORD other = 0;
    s->GetStreamNumber(&other);
    if (other == number) return NS_E_INVALID_REQUEST;
  }
  if (ours->media().format.empty()) return NS_E_INVALID_OUTPUT_FORMAT;
  streams_.push_back(ours->Clone());
  return S_OK;
}

HRESULT Profile::CreateNewStream(REFGUID stream_type, IWMStreamConfig** config) {
  if (!config) return E_POINTER;
  if (!(stream_type == WMMEDIATYPE_Audio)) return E_INVALIDARG;  // audio only in this runtime
  *config = new StreamConfig(stream_type);
  return S_OK;
}

// ---- InputProps

void* InputProps::Find(REFIID iid) {
  if (iid == IID_IUnknown || iid == IID_IWMMediaProps || iid == IID_IWMInputMediaProps)
    return static_cast<IWMInputMediaProps*>(this);
  return nullptr;
}

HRESULT InputProps::GetType(GUID* type) {
  if (!type) return E_POINTER;
  *type = WMMEDIATYPE_Audio;
  return S_OK;
}

HRESULT InputProps::GetMediaType(WM_MEDIA_TYPE* type, DWORD* size) { return media_.Get(type, size); }

HRESULT InputProps::SetMediaType(WM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  // The writer takes 8- or 16-bit PCM in a wave format record.
  if (!(type->majortype == WMMEDIATYPE_Audio) || !(type->subtype == WMMEDIASUBTYPE_PCM) ||
      !(type->formattype == WMFORMAT_WaveFormatEx) || type->cbFormat < sizeof(WAVEFORMATEX)) {
    return NS_E_INVALID_INPUT_FORMAT;
  }
  return media_.Set(type);
}

HRESULT InputProps::GetConnectionName(WCHAR* name, WORD* length) {
  return CopyName(u"Audio", name, length);
}

HRESULT InputProps::GetGroupName(WCHAR* name, WORD* length) { return CopyName(u"", name, length); }

// ---- Sink

Sink::~Sink() {
  for (auto& c : callbacks_) c.first->Release();
}

void* Sink::Find(REFIID iid) {
  if (iid == IID_IUnknown || iid == IID_IWMWriterSink) return static_cast<IWMWriterSink*>(this);
  if (iid == IID_IWMRegisterCallback) return static_cast<IWMRegisterCallback*>(this);
  return nullptr;
}

HRESULT Sink::IsRealTime(BOOL* real_time) {
  if (!real_time) return E_POINTER;
  *real_time = 0;  // a file
  return S_OK;
}

HRESULT Sink::Advise(IWMStatusCallback* callback, void* context) {
  if (!callback) return E_POINTER;
  std::lock_guard guard(lock_);
  callback->AddRef();
  callbacks_.emplace_back(callback, context);
  return S_OK;
}

HRESULT Sink::Unadvise(IWMStatusCallback* callback, void* context) {
  std::lock_guard guard(lock_);
  for (auto it = callbacks_.begin(); it != callbacks_.end(); ++it) {
    if (it->first == callback && it->second == context) {
      it->first->Release();
      callbacks_.erase(it);
      return S_OK;
    }
  }
  return E_INVALIDARG;
}

void Sink::Report(WMT_STATUS status, HRESULT result) {
  // Under the lock, so an Unadvise returns only when no call is under way.
  std::lock_guard guard(lock_);
  for (auto& c : callbacks_) c.first->OnStatus(status, result, WMT_TYPE_DWORD, nullptr, c.second);
}

}  // namespace wmvcore
