#include "encoders/wma_encoder.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "core/app_exception.h"
#include "encoders/format_table.h"
#include "encoders/selection.h"
#include "encoders/wma_profile.h"
#include "platform/text.h"

namespace tonvik {

namespace {

// The rounded quotient of a × b ÷ c, as the system's MulDiv gives it (-1 for
// a zero divisor or a result beyond 32 bits).
int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return -1;
  int64_t n = static_cast<int64_t>(a) * b;
  int64_t d = c;
  if (d < 0) {
    n = -n;
    d = -d;
  }
  const int64_t q = n >= 0 ? (n + d / 2) / d : -((-n + d / 2) / d);
  if (q > INT32_MAX || q < INT32_MIN) return -1;
  return static_cast<int32_t>(q);
}

void Check(HRESULT hr, const char* message) {
  if (FAILED(hr)) throw EncoderException(message);
}

}  // namespace

CWmaEncoder::CWmaEncoder(const EncoderTarget& target) : wm_(&BindWma()), selection_(target.format) {
  // The runtime creates and writes the temporary file by its name, and says
  // itself when it cannot; the file is renamed over the target only when it
  // is finished.
  file_ = std::make_unique<TargetFile>(target.path, target.overwrite, TargetFile::Creation::kByLibrary);
  Check(wm_->create_writer(nullptr, writer_.Out()), "cannot create WMA encoder");
  const HRESULT named = writer_->SetOutputFilename(FromUtf8(file_->temp_path()).c_str());
  if (FAILED(named)) {
    char message[64];
    std::snprintf(message, sizeof message, "cannot create file (0x%08X)", static_cast<uint32_t>(named));
    throw EncoderException(message);
  }
}

CWmaEncoder::~CWmaEncoder() {
  // Nothing to uninitialise for the runtime on this platform. A writer given
  // up without Finish must not call back into a destroyed encoder.
  if (registration_) registration_->Unadvise(this, nullptr);
  registration_.Reset();
  writer_.Reset();
}

void CWmaEncoder::Start() {
  // The runtime needs no per-thread initialisation on this platform.
  WAVEFORMATEX pcm{};
  pcm.wFormatTag = WAVE_FORMAT_PCM;
  pcm.nChannels = static_cast<WORD>(channels);
  pcm.nSamplesPerSec = static_cast<DWORD>(sample_rate);
  pcm.nAvgBytesPerSec = static_cast<DWORD>(bits_per_sample * channels * sample_rate / 8);
  pcm.nBlockAlign = static_cast<WORD>(bits_per_sample * channels / 8);
  pcm.wBitsPerSample = static_cast<WORD>(bits_per_sample);
  pcm.cbSize = 0;
  bytes_per_second_ = pcm.nAvgBytesPerSec;

  // The presets are quality formats and apply to 44100 Hz stereo only; any
  // other stream takes the constant rate of the custom value.
  const EncoderSelection& selection = selection_;
  const int value = SelectedValue(GetFormat(Format::Wma), selection);
  ComPtr<IWMProfile> profile;
  if (sample_rate == 44100 && channels == 2 && selection.preset_index >= 0 && selection.preset_index < 3) {
    // The target in single precision: 0.1f, 0.5f or 0.74f.
    profile = BuildVbrProfile(*wm_, pcm, static_cast<float>(value) / 100.0f);
  } else {
    profile = BuildCbrProfile(*wm_, pcm, selection.custom_value);
  }
  Check(writer_->SetProfile(profile.get()), "internal error #1592");
  DWORD inputs = 0;
  Check(writer_->GetInputCount(&inputs), "internal error #1593");

  ComPtr<IWMInputMediaProps> input;
  writer_->GetInputProps(0, input.Out());
  WM_MEDIA_TYPE type{};
  type.majortype = WMMEDIATYPE_Audio;
  type.subtype = WMMEDIASUBTYPE_PCM;
  type.bFixedSizeSamples = 1;
  type.bTemporalCompression = 0;
  type.lSampleSize = 0;
  type.formattype = WMFORMAT_WaveFormatEx;
  type.pUnk = nullptr;
  type.cbFormat = sizeof pcm;
  type.pbFormat = reinterpret_cast<BYTE*>(&pcm);
  if (input) input->SetMediaType(&type);
  Check(writer_->SetInputProps(0, input.get()), "internal error #1594");

  ComPtr<IWMHeaderInfo> header;
  writer_.As(IID_IWMHeaderInfo, &header);
  if (tags && header) tags->SetWMAttributes(header.get());

  Check(writer_->BeginWriting(), "internal error #1595");

  sample_time_ms_ = 0;
  ComPtr<IWMWriterAdvanced> advanced;
  writer_.As(IID_IWMWriterAdvanced, &advanced);
  ComPtr<IWMWriterSink> sink;
  Check(advanced ? advanced->GetSink(0, sink.Out()) : E_NOINTERFACE, "internal error #1596");
  ComPtr<IWMRegisterCallback> registration;
  sink.As(IID_IWMRegisterCallback, &registration);
  Check(registration ? registration->Advise(this, nullptr) : E_NOINTERFACE, "internal error #1597");
  registration_ = std::move(registration);

  error_ = false;
  not_started_ = false;
}

void CWmaEncoder::Write(const void* data, uint32_t bytes, uint32_t* taken) {
  if (not_started_) Start();
  ComPtr<INSSBuffer> sample;
  if (FAILED(writer_->AllocateSample(bytes, sample.Out())) || !sample) throw std::bad_alloc();
  BYTE* buffer = nullptr;
  sample->GetBuffer(&buffer);
  if (bytes) std::memcpy(buffer, data, bytes);
  sample->SetLength(bytes);
  // In 100-ns units.
  Check(writer_->WriteSample(0, sample_time_ms_ * 10000, 0, sample.get()), "write error");
  sample_time_ms_ += static_cast<uint64_t>(
      MulDiv(static_cast<int32_t>(bytes), 1000, static_cast<int32_t>(bytes_per_second_)));
  if (error_) {
    std::lock_guard guard(error_lock_);
    throw EncoderException(error_message_.c_str());
  }
  if (taken) *taken = bytes;
}

void CWmaEncoder::Finish() {
  if (not_started_) return;
  Check(writer_->EndWriting(), "write error");
  registration_->Unadvise(this, nullptr);
  registration_.Reset();
  writer_.Reset();
  file_->Commit();
}

HRESULT CWmaEncoder::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (iid == IID_IWMStatusCallback) {
    *object = static_cast<IWMStatusCallback*>(this);
    return S_OK;
  }
  *object = nullptr;
  return E_FAIL;
}

HRESULT CWmaEncoder::OnStatus(WMT_STATUS status, HRESULT result, WMT_ATTR_DATATYPE, BYTE*, void*) {
  if (status != WMT_ERROR) return S_OK;
  char message[128];
  std::snprintf(message, sizeof message, "WMA engine error 0x%08X", static_cast<uint32_t>(result));
  std::lock_guard guard(error_lock_);
  error_message_ = message;
  error_ = true;
  return S_OK;
}

}  // namespace tonvik
