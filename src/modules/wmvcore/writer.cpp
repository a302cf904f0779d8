#include "modules/wmvcore/writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "modules/wmvcore/codec_formats.h"
#include "platform/text.h"

namespace wmvcore {

namespace {

// The Windows error numbers of the system failures a file can meet.
HRESULT FromErrno(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR: return HRESULT_FROM_WIN32(3);    // ERROR_PATH_NOT_FOUND
    case EACCES:
    case EPERM:
    case EISDIR: return HRESULT_FROM_WIN32(5);     // ERROR_ACCESS_DENIED
    case EROFS: return HRESULT_FROM_WIN32(19);     // ERROR_WRITE_PROTECT
    case ENOSPC: return HRESULT_FROM_WIN32(112);   // ERROR_DISK_FULL
    case EFBIG: return HRESULT_FROM_WIN32(223);    // ERROR_FILE_TOO_LARGE
    case ENAMETOOLONG: return HRESULT_FROM_WIN32(206);  // ERROR_FILENAME_EXCED_RANGE
    case ENOMEM: return E_OUTOFMEMORY;
    default: return HRESULT_FROM_WIN32(29);        // ERROR_WRITE_FAULT
  }
}

// libav's result of a file operation as a result code.
HRESULT FromAv(int av) { return av < 0 && av > -4096 ? FromErrno(-av) : HRESULT_FROM_WIN32(29); }

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
  if (::access(utf8.c_str(), F_OK) == 0) {
    if (::access(utf8.c_str(), W_OK) != 0) return FromErrno(errno);
  } else {
    const size_t slash = utf8.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : utf8.substr(0, slash + 1);
    if (::access(folder.c_str(), W_OK | X_OK) != 0) return FromErrno(errno);
  }
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

HRESULT Writer::Open() {
  const WAVEFORMATEX out = output_.Wave();
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
  if (!codec) return NS_E_AUDIO_CODEC_ERROR;
  codec_ = avcodec_alloc_context3(codec);
  if (!codec_) return E_OUTOFMEMORY;
  codec_->sample_rate = static_cast<int>(out.nSamplesPerSec);
  av_channel_layout_default(&codec_->ch_layout, out.nChannels);
  codec_->sample_fmt = AV_SAMPLE_FMT_FLTP;
  codec_->bit_rate = EncodingBitrate(out);
  codec_->time_base = AVRational{1, codec_->sample_rate};
  codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (avcodec_open2(codec_, codec, nullptr) < 0) return NS_E_INVALID_OUTPUT_FORMAT;

  frame_ = av_frame_alloc();
  packet_ = av_packet_alloc();
  if (!frame_ || !packet_) return E_OUTOFMEMORY;
  frame_->nb_samples = codec_->frame_size;
  frame_->format = codec_->sample_fmt;
  av_channel_layout_copy(&frame_->ch_layout, &codec_->ch_layout);
  if (av_frame_get_buffer(frame_, 0) < 0) return E_OUTOFMEMORY;

  if (avformat_alloc_output_context2(&format_, nullptr, "asf", path_.c_str()) < 0 || !format_) {
    return E_OUTOFMEMORY;
  }
  // No "encoder" attribute of libavformat's own: the header holds what the
  // caller set, nothing else.
  format_->flags |= AVFMT_FLAG_BITEXACT;
  AVStream* stream = avformat_new_stream(format_, nullptr);
  if (!stream) return E_OUTOFMEMORY;
  if (avcodec_parameters_from_context(stream->codecpar, codec_) < 0) return E_OUTOFMEMORY;
  stream->time_base = codec_->time_base;
  // The attributes become the content description and the extended content
  // description of the header, under their own names.
  for (const auto& [name, value] : attributes_) {
    av_dict_set(&format_->metadata, tonvik::ToUtf8(name).c_str(), tonvik::ToUtf8(value).c_str(), 0);
  }
  const int opened = avio_open(&format_->pb, path_.c_str(), AVIO_FLAG_WRITE);
  if (opened < 0) return FromAv(opened);
  const int header = avformat_write_header(format_, nullptr);
  if (header < 0 || format_->pb->error) return FromAv(header < 0 ? header : format_->pb->error);
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
  in_channels_ = input_.Wave().nChannels;
  filled_ = 0;
  next_pts_ = 0;
  carry_.clear();
  failed_ = S_OK;
  codec_failed_ = false;
  const HRESULT hr = Open();
  if (FAILED(hr)) {
    Close();
    return hr;
  }
  writing_ = true;
  ending_ = false;
  worker_ = std::thread(&Writer::Run, this);
  return S_OK;
}

void Writer::Run() {
  for (;;) {
    INSSBuffer* sample = nullptr;
    {
      std::unique_lock lock(queue_lock_);
      queue_changed_.wait(lock, [&] { return !queue_.empty() || ending_; });
      if (queue_.empty()) return;  // ending, and all taken
      sample = queue_.front();
      queue_.pop_front();
    }
    queue_changed_.notify_all();
    if (SUCCEEDED(failed_.load())) {
      BYTE* data = nullptr;
      DWORD length = 0;
      bool codec_failed = false;
      HRESULT hr = sample->GetBufferAndLength(&data, &length);
      if (SUCCEEDED(hr)) hr = Consume(data, length, &codec_failed);
      if (FAILED(hr)) {
        codec_failed_ = codec_failed;
        failed_ = hr;
        if (codec_failed) sink_->Report(WMT_ERROR, hr);
      }
    }
    sample->Release();
  }
}

void Writer::StopThread() {
  if (!worker_.joinable()) return;
  {
    std::lock_guard guard(queue_lock_);
    ending_ = true;
  }
  queue_changed_.notify_all();
  worker_.join();
}

HRESULT Writer::Encode(AVFrame* frame, bool* codec_failed) {
  *codec_failed = true;
  if (avcodec_send_frame(codec_, frame) < 0) return NS_E_AUDIO_CODEC_ERROR;
  for (;;) {
    const int got = avcodec_receive_packet(codec_, packet_);
    if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) break;
    if (got < 0) return NS_E_AUDIO_CODEC_ERROR;
    packet_->stream_index = 0;
    av_packet_rescale_ts(packet_, codec_->time_base, format_->streams[0]->time_base);
    const int written = av_write_frame(format_, packet_);
    av_packet_unref(packet_);
    if (written < 0 || format_->pb->error) {
      *codec_failed = false;
      return FromAv(written < 0 ? written : format_->pb->error);
    }
  }
  *codec_failed = false;
  return S_OK;
}

HRESULT Writer::Consume(const BYTE* data, size_t bytes, bool* codec_failed) {
  const size_t frame_bytes = static_cast<size_t>(2 * in_channels_);
  const int out_channels = codec_->ch_layout.nb_channels;
  auto take = [&](const BYTE* p, size_t samples) -> HRESULT {
    while (samples > 0) {
      if (filled_ == 0 && av_frame_make_writable(frame_) < 0) {
        *codec_failed = true;
        return E_OUTOFMEMORY;
      }
      const size_t n = std::min<size_t>(samples, static_cast<size_t>(codec_->frame_size - filled_));
      auto* left = reinterpret_cast<float*>(frame_->data[0]) + filled_;
      const auto* pcm = reinterpret_cast<const int16_t*>(p);
      constexpr float kScale = 1.0f / 32768.0f;
      if (in_channels_ == 1) {
        for (size_t i = 0; i < n; ++i) left[i] = pcm[i] * kScale;
      } else if (out_channels == 1) {
        for (size_t i = 0; i < n; ++i) left[i] = (pcm[2 * i] + pcm[2 * i + 1]) * (kScale / 2);
      } else {
        auto* right = reinterpret_cast<float*>(frame_->data[1]) + filled_;
        for (size_t i = 0; i < n; ++i) {
          left[i] = pcm[2 * i] * kScale;
          right[i] = pcm[2 * i + 1] * kScale;
        }
      }
      filled_ += static_cast<int>(n);
      p += n * frame_bytes;
      samples -= n;
      if (filled_ == codec_->frame_size) {
        frame_->nb_samples = filled_;
        frame_->pts = next_pts_;
        next_pts_ += filled_;
        filled_ = 0;
        const HRESULT hr = Encode(frame_, codec_failed);
        if (FAILED(hr)) return hr;
      }
    }
    return S_OK;
  };
  // A sample frame split between two calls.
  if (!carry_.empty()) {
    const size_t more = std::min(bytes, frame_bytes - carry_.size());
    carry_.insert(carry_.end(), data, data + more);
    data += more;
    bytes -= more;
    if (carry_.size() < frame_bytes) return S_OK;
    const HRESULT hr = take(carry_.data(), 1);
    carry_.clear();
    if (FAILED(hr)) return hr;
  }
  const size_t whole = bytes / frame_bytes;
  const HRESULT hr = take(data, whole);
  if (FAILED(hr)) return hr;
  carry_.assign(data + whole * frame_bytes, data + bytes);
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
  const HRESULT failed = failed_;
  if (FAILED(failed)) return codec_failed_ ? S_OK : failed;
  // Samples follow each other without gaps; the stream's clock is the count
  // of samples taken, so the sample's time stamp is not needed. The buffer is
  // the caller's to drop after the call; the queue keeps its own reference.
  sample->AddRef();
  {
    std::unique_lock lock(queue_lock_);
    queue_changed_.wait(lock, [&] { return queue_.size() < kQueueDepth; });
    queue_.push_back(sample);
  }
  queue_changed_.notify_all();
  return S_OK;
}

HRESULT Writer::Flush() { return writing_ ? S_OK : NS_E_INVALID_REQUEST; }

HRESULT Writer::EndWriting() {
  if (!writing_) return NS_E_INVALID_REQUEST;
  StopThread();
  HRESULT hr = failed_;
  if (SUCCEEDED(hr)) {
    bool codec_failed = false;
    // The last frame may be short; the codec pads it with silence.
    if (filled_ > 0) {
      frame_->nb_samples = filled_;
      frame_->pts = next_pts_;
      next_pts_ += filled_;
      filled_ = 0;
      hr = Encode(frame_, &codec_failed);
    }
    if (SUCCEEDED(hr)) hr = Encode(nullptr, &codec_failed);
    if (FAILED(hr) && codec_failed) sink_->Report(WMT_ERROR, hr);
  }
  if (SUCCEEDED(hr)) {
    const int trailer = av_write_trailer(format_);
    if (trailer < 0 || format_->pb->error) hr = FromAv(trailer < 0 ? trailer : format_->pb->error);
  }
  if (SUCCEEDED(hr)) {
    const int closed = avio_closep(&format_->pb);
    if (closed < 0) hr = FromAv(closed);
  }
  Close();
  if (SUCCEEDED(hr)) sink_->Report(WMT_CLOSED, S_OK);
  return hr;
}

void Writer::Close() {
  // Given up (or finished): what is still queued is not encoded.
  {
    std::lock_guard guard(queue_lock_);
    for (INSSBuffer* sample : queue_) sample->Release();
    queue_.clear();
  }
  StopThread();
  if (format_) {
    if (format_->pb) avio_closep(&format_->pb);
    avformat_free_context(format_);
    format_ = nullptr;
  }
  avcodec_free_context(&codec_);
  av_frame_free(&frame_);
  av_packet_free(&packet_);
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
