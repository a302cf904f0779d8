#include "modules/wmvcore/writer.h"

#include <cstring>

#include "modules/wmvcore/codec_formats.h"
#include "platform/text.h"

namespace wmvcore {

namespace {

std::u16string Text(const BYTE* value, WORD length) {
  std::u16string text(length / 2, u'\0');
  if (length >= 2) std::memcpy(text.data(), value, text.size() * 2);
  const size_t end = text.find(u'\0');
  if (end != std::u16string::npos) text.resize(end);
  return text;
}

// The props' media type, read in the interface's two steps (its size, then
// its bytes). A type whose format bytes are missing comes back empty, which
// no format check accepts.
HRESULT ReadMediaType(IWMMediaProps* props, MediaType* media) {
  DWORD size = 0;
  HRESULT hr = props->GetMediaType(nullptr, &size);
  if (FAILED(hr)) return hr;
  std::vector<uint64_t> buffer((size + 7) / 8);
  auto* type = reinterpret_cast<WM_MEDIA_TYPE*>(buffer.data());
  hr = props->GetMediaType(type, &size);
  if (FAILED(hr)) return hr;
  if (FAILED(media->Set(type))) *media = MediaType{};
  return S_OK;
}

}  // namespace

Writer::Writer() : sink_(new Sink) {}

Writer::~Writer() {
  Close();
  sink_->Release();
}

void* Writer::Find(REFIID iid) {
  if (iid == IID_IUnknown || iid == IID_IWMWriter) return static_cast<IWMWriter*>(this);
  if (iid == IID_IWMHeaderInfo) return static_cast<IWMHeaderInfo*>(this);
  if (iid == IID_IWMWriterAdvanced) return static_cast<IWMWriterAdvanced*>(this);
  return nullptr;
}

HRESULT Writer::SetProfile(IWMProfile* profile) {
  if (!profile) return E_POINTER;
  if (writing_) return NS_E_INVALID_REQUEST;
  DWORD count = 0;
  if (FAILED(profile->GetStreamCount(&count)) || count != 1) return NS_E_INVALID_OUTPUT_FORMAT;
  ComPtr<IWMStreamConfig> stream;
  HRESULT hr = profile->GetStream(0, stream.Out());
  if (FAILED(hr)) return hr;
  ComPtr<IWMMediaProps> props;
  hr = stream.As(IID_IWMMediaProps, &props);
  if (FAILED(hr)) return hr;
  MediaType media;
  hr = ReadMediaType(props.get(), &media);
  if (FAILED(hr)) return hr;
  if (!(media.record.majortype == WMMEDIATYPE_Audio) || !media.HasWaveFormat()) {
    return NS_E_INVALID_OUTPUT_FORMAT;
  }
  const WAVEFORMATEX w = media.Wave();
  if (w.wFormatTag != WAVE_FORMAT_WMAUDIO2 || (w.nChannels != 1 && w.nChannels != 2) ||
      w.nSamplesPerSec == 0 || w.nSamplesPerSec > 48000 || w.nAvgBytesPerSec == 0) {
    return NS_E_INVALID_OUTPUT_FORMAT;
  }
  output_ = std::move(media);
  has_profile_ = true;
  has_input_ = false;
  return S_OK;
}

HRESULT Writer::SetOutputFilename(const WCHAR* path) {
  if (!path || !*path) return E_INVALIDARG;
  if (writing_) return NS_E_INVALID_REQUEST;
  const std::string utf8 = tonvik::ToUtf8(path);
  // The file is created at BeginWriting; refuse now what could not be.
  const HRESULT hr = AsfEncoder::CheckWritable(utf8);
  if (FAILED(hr)) return hr;
  path_ = utf8;
  return S_OK;
}

HRESULT Writer::GetInputCount(DWORD* count) {
  if (!count) return E_POINTER;
  if (!has_profile_) return NS_E_NOT_CONFIGURED;
  *count = 1;
  return S_OK;
}

HRESULT Writer::GetInputProps(DWORD input, IWMInputMediaProps** props) {
  if (!props) return E_POINTER;
  if (!has_profile_) return NS_E_NOT_CONFIGURED;
  if (input != 0) return E_INVALIDARG;
  if (has_input_) {
    *props = new InputProps(input_);
    return S_OK;
  }
  // By default the stream's own rate and channels in 16 bits.
  const WAVEFORMATEX out = output_.Wave();
  WAVEFORMATEX pcm{};
  pcm.wFormatTag = WAVE_FORMAT_PCM;
  pcm.nChannels = out.nChannels;
  pcm.nSamplesPerSec = out.nSamplesPerSec;
  pcm.wBitsPerSample = 16;
  pcm.nBlockAlign = static_cast<WORD>(2 * out.nChannels);
  pcm.nAvgBytesPerSec = pcm.nBlockAlign * pcm.nSamplesPerSec;
  MediaType m = AudioMediaType(pcm, {});
  m.record.subtype = WMMEDIASUBTYPE_PCM;
  m.record.lSampleSize = 0;
  *props = new InputProps(std::move(m));
  return S_OK;
}

HRESULT Writer::SetInputProps(DWORD input, IWMInputMediaProps* props) {
  if (!props) return E_POINTER;
  if (!has_profile_) return NS_E_NOT_CONFIGURED;
  if (input != 0) return E_INVALIDARG;
  if (writing_) return NS_E_INVALID_REQUEST;
  MediaType media;
  const HRESULT hr = ReadMediaType(props, &media);
  if (FAILED(hr)) return hr;
  if (!(media.record.subtype == WMMEDIASUBTYPE_PCM) || !media.HasWaveFormat()) {
    return NS_E_INVALID_INPUT_FORMAT;
  }
  // 16-bit PCM at the stream's rate; stereo input may feed a mono stream.
  const WAVEFORMATEX in = media.Wave();
  const WAVEFORMATEX out = output_.Wave();
  if (in.wFormatTag != WAVE_FORMAT_PCM || in.wBitsPerSample != 16 ||
      in.nSamplesPerSec != out.nSamplesPerSec || (in.nChannels != 1 && in.nChannels != 2) ||
      in.nChannels < out.nChannels || in.nBlockAlign != 2 * in.nChannels) {
    return NS_E_INVALID_INPUT_FORMAT;
  }
  input_ = std::move(media);
  has_input_ = true;
  return S_OK;
}

HRESULT Writer::BeginWriting() {
  if (writing_ || !has_profile_ || path_.empty()) return NS_E_INVALID_REQUEST;
  if (!has_input_) {
    ComPtr<IWMInputMediaProps> props;
    GetInputProps(0, props.Out());
    input_ = static_cast<InputProps*>(props.get())->media();
    has_input_ = true;
  }
  const WAVEFORMATEX out = output_.Wave();
  AsfStream stream;
  stream.sample_rate = static_cast<int>(out.nSamplesPerSec);
  stream.channels = out.nChannels;
  stream.bit_rate = EncodingBitrate(out);
  stream.input_channels = input_.Wave().nChannels;
  for (const auto& [name, value] : attributes_) {
    stream.attributes.emplace_back(tonvik::ToUtf8(name), tonvik::ToUtf8(value));
  }
  const HRESULT hr = encoder_.Open(path_, stream);
  if (FAILED(hr)) {
    Close();
    return hr;
  }
  writing_ = true;
  queue_.Start(&encoder_, [this](HRESULT failure) { sink_->Report(WMT_ERROR, failure); });
  return S_OK;
}

HRESULT Writer::AllocateSample(DWORD size, INSSBuffer** sample) {
  if (!sample) return E_POINTER;
  *sample = new SampleBuffer(size);
  return S_OK;
}

HRESULT Writer::WriteSample(DWORD input, QWORD, DWORD, INSSBuffer* sample) {
  if (!sample) return E_POINTER;
  if (!writing_) return NS_E_INVALID_REQUEST;
  if (input != 0) return E_INVALIDARG;
  // A failure of the file is the caller's to hear; one of the codec went to
  // the status callbacks, and the sample is taken (and dropped).
  const HRESULT failed = queue_.failure();
  if (FAILED(failed)) return queue_.codec_failure() ? S_OK : failed;
  // Samples follow each other without gaps; the stream's clock is the count
  // of samples taken, so the sample's time stamp is not needed. The buffer is
  // the caller's to drop after the call; the queue keeps its own reference.
  queue_.Push(sample);
  return S_OK;
}

HRESULT Writer::Flush() { return writing_ ? S_OK : NS_E_INVALID_REQUEST; }

HRESULT Writer::EndWriting() {
  if (!writing_) return NS_E_INVALID_REQUEST;
  queue_.Stop();
  HRESULT hr = queue_.failure();
  if (SUCCEEDED(hr)) {
    bool codec_failed = false;
    hr = encoder_.Finish(&codec_failed);
    if (FAILED(hr) && codec_failed) sink_->Report(WMT_ERROR, hr);
  }
  Close();
  if (SUCCEEDED(hr)) sink_->Report(WMT_CLOSED, S_OK);
  return hr;
}

void Writer::Close() {
  // Given up (or finished): what is still queued is not encoded.
  queue_.Discard();
  encoder_.Close();
  writing_ = false;
}

HRESULT Writer::GetAttributeCount(WORD stream, WORD* count) {
  if (!count) return E_POINTER;
  *count = stream == 0 ? static_cast<WORD>(attributes_.size()) : 0;
  return S_OK;
}

HRESULT Writer::GetAttributeByName(WORD* stream, const WCHAR* name, WMT_ATTR_DATATYPE* type, BYTE* value,
                                   WORD* length) {
  if (!stream || !name || !type || !length) return E_POINTER;
  if (*stream != 0) return NS_E_INVALID_REQUEST;
  for (const auto& [n, v] : attributes_) {
    if (n != name) continue;
    *type = WMT_TYPE_STRING;
    const size_t needed = (v.size() + 1) * 2;
    if (!value) {
      *length = static_cast<WORD>(needed);
      return S_OK;
    }
    if (*length < needed) {
      *length = static_cast<WORD>(needed);
      return ASF_E_BUFFERTOOSMALL;
    }
    std::memcpy(value, v.c_str(), needed);
    *length = static_cast<WORD>(needed);
    return S_OK;
  }
  return E_INVALIDARG;  // no such attribute
}

HRESULT Writer::SetAttribute(WORD stream, const WCHAR* name, WMT_ATTR_DATATYPE type, const BYTE* value,
                             WORD length) {
  if (!name || (!value && length)) return E_POINTER;
  // File attributes only, and only while the header is still to be written.
  if (stream != 0 || writing_) return NS_E_INVALID_REQUEST;
  std::u16string text;
  switch (type) {
    case WMT_TYPE_STRING: text = Text(value, length); break;
    case WMT_TYPE_DWORD: {
      if (length != 4) return E_INVALIDARG;
      DWORD d;
      std::memcpy(&d, value, 4);
      const std::string s = std::to_string(d);
      text.assign(s.begin(), s.end());
      break;
    }
    default: return E_INVALIDARG;
  }
  for (auto& [n, v] : attributes_) {
    if (n == name) {
      v = std::move(text);
      return S_OK;
    }
  }
  attributes_.emplace_back(name, std::move(text));
  return S_OK;
}

HRESULT Writer::GetSinkCount(DWORD* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT Writer::GetSink(DWORD index, IWMWriterSink** sink) {
  if (!sink) return E_POINTER;
  if (index != 0) return E_INVALIDARG;
  sink_->AddRef();
  *sink = sink_;
  return S_OK;
}

}  // namespace wmvcore
