#include "modules/wmvcore/asf_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

#include <unistd.h>

#include <algorithm>
#include <cerrno>

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

}  // namespace

HRESULT AsfEncoder::CheckWritable(const std::string& path) {
  if (::access(path.c_str(), F_OK) == 0) {
    if (::access(path.c_str(), W_OK) != 0) return FromErrno(errno);
  } else {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    if (::access(folder.c_str(), W_OK | X_OK) != 0) return FromErrno(errno);
  }
  return S_OK;
}

HRESULT AsfEncoder::Open(const std::string& path, const AsfStream& stream) {
  Close();
  in_channels_ = stream.input_channels;
  filled_ = 0;
  next_pts_ = 0;
  carry_.clear();
  auto open = [&]() -> HRESULT {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
    if (!codec) return NS_E_AUDIO_CODEC_ERROR;
    codec_ = avcodec_alloc_context3(codec);
    if (!codec_) return E_OUTOFMEMORY;
    codec_->sample_rate = stream.sample_rate;
    av_channel_layout_default(&codec_->ch_layout, stream.channels);
    codec_->sample_fmt = AV_SAMPLE_FMT_FLTP;
    codec_->bit_rate = stream.bit_rate;
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

    if (avformat_alloc_output_context2(&format_, nullptr, "asf", path.c_str()) < 0 || !format_) {
      return E_OUTOFMEMORY;
    }
    // No "encoder" attribute of libavformat's own: the header holds what the
    // caller set, nothing else.
    format_->flags |= AVFMT_FLAG_BITEXACT;
    AVStream* out = avformat_new_stream(format_, nullptr);
    if (!out) return E_OUTOFMEMORY;
    if (avcodec_parameters_from_context(out->codecpar, codec_) < 0) return E_OUTOFMEMORY;
    out->time_base = codec_->time_base;
    // The muxer writes them as the content description and the extended
    // content description, under their own names.
    for (const auto& [name, value] : stream.attributes) {
      av_dict_set(&format_->metadata, name.c_str(), value.c_str(), 0);
    }
    const int opened = avio_open(&format_->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (opened < 0) return FromAv(opened);
    const int header = avformat_write_header(format_, nullptr);
    if (header < 0 || format_->pb->error) return FromAv(header < 0 ? header : format_->pb->error);
    return S_OK;
  };
  const HRESULT hr = open();
  if (FAILED(hr)) Close();
  return hr;
}

HRESULT AsfEncoder::Encode(AVFrame* frame, bool* codec_failed) {
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

HRESULT AsfEncoder::EncodeFilled(bool* codec_failed) {
  frame_->nb_samples = filled_;
  frame_->pts = next_pts_;
  next_pts_ += filled_;
  filled_ = 0;
  return Encode(frame_, codec_failed);
}

HRESULT AsfEncoder::Consume(const BYTE* data, size_t bytes, bool* codec_failed) {
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
        const HRESULT hr = EncodeFilled(codec_failed);
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

HRESULT AsfEncoder::Finish(bool* codec_failed) {
  *codec_failed = false;
  HRESULT hr = filled_ > 0 ? EncodeFilled(codec_failed) : S_OK;
  if (SUCCEEDED(hr)) hr = Encode(nullptr, codec_failed);
  if (FAILED(hr)) return hr;
  const int trailer = av_write_trailer(format_);
  if (trailer < 0 || format_->pb->error) return FromAv(trailer < 0 ? trailer : format_->pb->error);
  const int closed = avio_closep(&format_->pb);
  return closed < 0 ? FromAv(closed) : S_OK;
}

void AsfEncoder::Close() {
  if (format_) {
    if (format_->pb) avio_closep(&format_->pb);
    avformat_free_context(format_);
    format_ = nullptr;
  }
  avcodec_free_context(&codec_);
  av_frame_free(&frame_);
  av_packet_free(&packet_);
}

}  // namespace wmvcore
