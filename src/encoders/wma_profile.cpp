#include "encoders/wma_profile.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/app_exception.h"

namespace tonvik {

namespace {

[[noreturn]] void Fail(int step) {
  throw EncoderException(("wma profile creation error #" + std::to_string(step)).c_str());
}

void Check(HRESULT hr, int step) {
  if (FAILED(hr)) Fail(step);
}

[[noreturn]] void NoFormat() {
  throw EncoderException("wma codec is improperly installed, please reinstall");
}

// A media type as the runtime hands it out: the record followed by its
// format bytes, pbFormat pointing into the same block.
struct MediaTypeBlock {
  std::vector<uint64_t> storage;
  WM_MEDIA_TYPE* get() { return reinterpret_cast<WM_MEDIA_TYPE*>(storage.data()); }
  // The wave format record and its extra bytes, or null when the type has none.
  const WAVEFORMATEX* Wave() {
    WM_MEDIA_TYPE* t = get();
    if (!(t->formattype == WMFORMAT_WaveFormatEx) || !t->pbFormat || t->cbFormat < sizeof(WAVEFORMATEX))
      return nullptr;
    return reinterpret_cast<const WAVEFORMATEX*>(t->pbFormat);
  }
};

// Size first, then the record. Not checked: a format whose type cannot be
// read is passed over.
bool ReadMediaType(IWMStreamConfig* config, MediaTypeBlock* block) {
  ComPtr<IWMMediaProps> props;
  if (FAILED(config->QueryInterface(IID_IWMMediaProps, reinterpret_cast<void**>(props.Out()))))
    return false;
  DWORD size = 0;
  if (FAILED(props->GetMediaType(nullptr, &size)) || size < sizeof(WM_MEDIA_TYPE)) return false;
  block->storage.assign((size + 7) / 8, 0);
  return SUCCEEDED(props->GetMediaType(block->get(), &size));
}

bool Matches(const WAVEFORMATEX& w, const WAVEFORMATEX& stream) {
  return w.nSamplesPerSec == stream.nSamplesPerSec && w.nChannels == stream.nChannels &&
         w.wFormatTag == WAVE_FORMAT_WMAUDIO2;
}

// Steps shared by both profiles, numbered from first: the manager, an empty
// version 9 profile named "Custom profile", the manager's codec enumeration
// and its audio codec count.
struct Enumeration {
  ComPtr<IWMProfileManager> manager;
  ComPtr<IWMProfile> profile;
  ComPtr<IWMCodecInfo3> codecs;
  DWORD codec_count = 0;
};

Enumeration Begin(const WmaFunctions& wm, int first) {
  Enumeration e;
  Check(wm.create_profile_manager(e.manager.Out()), first);
  Check(e.manager->CreateEmptyProfile(WMT_VER_9_0, e.profile.Out()), first + 1);
  Check(e.profile->SetName(u"Custom profile"), first + 2);
  e.manager.As(IID_IWMCodecInfo3, &e.codecs);
  // Without the enumeration interface the count cannot be had either.
  if (!e.codecs) Fail(first + 3);
  Check(e.codecs->GetCodecInfoCount(WMMEDIATYPE_Audio, &e.codec_count), first + 3);
  return e;
}

// Visits every format of every audio codec with "_VBRENABLED" set as given.
void ForEachFormat(Enumeration& e, bool vbr, int count_step, int format_step,
                   const std::function<void(DWORD codec, DWORD format, MediaTypeBlock&)>& visit) {
  for (DWORD codec = 0; codec < e.codec_count; ++codec) {
    const BOOL enabled = vbr ? 1 : 0;
    e.codecs->SetCodecEnumerationSetting(WMMEDIATYPE_Audio, codec, g_wszVBREnabled, WMT_TYPE_BOOL,
                                         reinterpret_cast<const BYTE*>(&enabled), sizeof enabled);
    DWORD formats = 0;
    Check(e.codecs->GetCodecFormatCount(WMMEDIATYPE_Audio, codec, &formats), count_step);
    for (DWORD format = 0; format < formats; ++format) {
      ComPtr<IWMStreamConfig> config;
      Check(e.codecs->GetCodecFormat(WMMEDIATYPE_Audio, codec, format, config.Out()), format_step);
      MediaTypeBlock block;
      if (ReadMediaType(config.get(), &block)) visit(codec, format, block);
    }
  }
}

// The new audio stream: number 1, its names, then what the caller sets.
ComPtr<IWMStreamConfig> NewStream(Enumeration& e, int first) {
  ComPtr<IWMStreamConfig> stream;
  Check(e.profile->CreateNewStream(WMMEDIATYPE_Audio, stream.Out()), first);
  Check(stream->SetStreamNumber(1), first + 1);
  Check(stream->SetStreamName(u"Audio Stream"), first + 2);
  Check(stream->SetConnectionName(u"Audio"), first + 3);
  return stream;
}

void SetMediaType(IWMStreamConfig* stream, WM_MEDIA_TYPE* type, int step) {
  ComPtr<IWMMediaProps> props;
  if (FAILED(stream->QueryInterface(IID_IWMMediaProps, reinterpret_cast<void**>(props.Out())))) Fail(step);
  Check(props->SetMediaType(type), step);
}

}  // namespace

int QualityDistance(uint32_t bytes_per_second, float target) {
  const uint32_t quality = bytes_per_second & 0xFF;
  // In double: 0.1f and 0.74f lie slightly above 0.1 and 0.74, so quality
  // 11 is as near to Low as 10 is, and 75 as near to High as 74.
  int distance = static_cast<int>(static_cast<double>(quality) - static_cast<double>(target) * 100);
  if (distance < 0) distance += 100;
  return distance;
}

ComPtr<IWMProfile> BuildCbrProfile(const WmaFunctions& wm, const WAVEFORMATEX& stream, int32_t bit_rate) {
  Enumeration e = Begin(wm, 1);
  bool found = false;
  WORD best_align = 0;
  std::vector<BYTE> kept;  // the wave format record with its extra bytes
  ForEachFormat(e, false, 5, 6, [&](DWORD, DWORD, MediaTypeBlock& block) {
    const WAVEFORMATEX* w = block.Wave();
    if (!w) return;
    const int64_t off = static_cast<int64_t>(w->nAvgBytesPerSec) * 8 - bit_rate;
    if (std::llabs(off) > 249 || !Matches(*w, stream)) return;
    if (found && w->nBlockAlign < best_align) return;  // an equal one replaces the kept one
    found = true;
    best_align = w->nBlockAlign;
    const size_t size = std::min<size_t>(sizeof(WAVEFORMATEX) + w->cbSize, block.get()->cbFormat);
    const auto* p = reinterpret_cast<const BYTE*>(w);
    kept.assign(p, p + size);
  });
  if (!found) NoFormat();
  WAVEFORMATEX wave;
  std::memcpy(&wave, kept.data(), sizeof wave);

  ComPtr<IWMStreamConfig> config = NewStream(e, 7);
  Check(config->SetBitrate(wave.nAvgBytesPerSec * 8), 11);
  WM_MEDIA_TYPE type{};
  type.majortype = WMMEDIATYPE_Audio;
  type.subtype = AudioSubtype(wave.wFormatTag);
  type.bFixedSizeSamples = 1;
  type.bTemporalCompression = 0;
  type.lSampleSize = wave.nBlockAlign;
  type.formattype = WMFORMAT_WaveFormatEx;
  type.pUnk = nullptr;
  type.cbFormat = static_cast<ULONG>(kept.size());
  type.pbFormat = kept.data();
  SetMediaType(config.get(), &type, 12);
  Check(e.profile->AddStream(config.get()), 13);
  return std::move(e.profile);
}

ComPtr<IWMProfile> BuildVbrProfile(const WmaFunctions& wm, const WAVEFORMATEX& stream, float target) {
  Enumeration e = Begin(wm, 14);
  int best = 200;
  DWORD best_codec = 0, best_format = 0;
  ForEachFormat(e, true, 18, 19, [&](DWORD codec, DWORD format, MediaTypeBlock& block) {
    const WAVEFORMATEX* w = block.Wave();
    if (!w || !Matches(*w, stream)) return;
    const int distance = QualityDistance(w->nAvgBytesPerSec, target);
    if (distance < best) {
      best = distance;
      best_codec = codec;
      best_format = format;
    }
  });
  if (best == 200) NoFormat();

  ComPtr<IWMStreamConfig> winner;
  Check(e.codecs->GetCodecFormat(WMMEDIATYPE_Audio, best_codec, best_format, winner.Out()), 20);
  MediaTypeBlock block;
  ReadMediaType(winner.get(), &block);
  ComPtr<IWMStreamConfig> config = NewStream(e, 21);
  SetMediaType(config.get(), block.storage.empty() ? nullptr : block.get(), 25);
  Check(e.profile->AddStream(config.get()), 26);
  return std::move(e.profile);
}

}  // namespace tonvik
