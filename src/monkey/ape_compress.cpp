#include "monkey/ape_compress.h"

#include <algorithm>
#include <cstring>
#include <vector>

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/md5.h>
}

#include "monkey/frame_encoder.h"
#include "monkey/range_coder.h"

namespace tonvik::monkey {
namespace {

constexpr uint16_t kFileVersion = 3990;
constexpr uint32_t kDescriptorBytes = 52;
constexpr uint32_t kHeaderBytes = 24;
constexpr uint16_t kFlagCreateWavHeader = 32;
// A decoder rebuilds a 44-byte WAV header; the whole WAV must stay below 4 GiB.
constexpr uint64_t kMaxAudioBytes = 0xFFFFFFFFull - 44;

uint32_t BlocksPerFrame(int level) { return level == 4000 ? 73728 * 4 : 73728; }

void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v);
  Put16(p + 2, v >> 16);
}

}  // namespace

WaveFormat MakeWaveFormat(uint32_t samples_per_sec, uint16_t bits_per_sample, uint16_t channels) {
  WaveFormat f;
  f.format_tag = 1;
  f.channels = channels;
  f.samples_per_sec = samples_per_sec;
  f.bits_per_sample = bits_per_sample;
  f.block_align = static_cast<uint16_t>(channels * (bits_per_sample / 8));
  f.avg_bytes_per_sec = samples_per_sec * f.block_align;
  f.extra_size = 0;
  return f;
}

class CAPECompress::Impl {
 public:
  ~Impl() { av_free(md5_); }

  int Start(CIO* io, const WaveFormat* format, int64_t max_audio_bytes, int level,
            const void* header_data, int64_t header_bytes);
  int AddData(const unsigned char* data, int bytes);
  int Finish(const unsigned char* terminating, int terminating_bytes, int wav_terminating_bytes);

 private:
  enum class State { kIdle, kStarted, kDone };

  int Fail(int error) {
    error_ = error;
    return error;
  }
  int WriteAll(const void* data, uint64_t bytes);
  int WriteZeros(uint64_t bytes);
  int Seek(uint64_t offset) { return io_->Seek(base_ + static_cast<int64_t>(offset), FILE_BEGIN); }
  int EncodeFrame(const uint8_t* pcm, uint32_t blocks);
  int FlushWords(size_t bytes);
  int MoveBack(uint64_t from, uint64_t to, uint64_t bytes);
  uint64_t FirstFrame(uint32_t slots) const {
    return kDescriptorBytes + kHeaderBytes + 4ull * slots + header_bytes_;
  }
  void BuildHeader(uint8_t* out, uint32_t frames, uint32_t final_blocks) const;
  void BuildDescriptor(uint8_t* out, uint32_t slots, uint64_t frame_bytes, uint32_t wav_terminating,
                       const uint8_t* md5) const;

  State state_ = State::kIdle;
  int error_ = ERROR_SUCCESS;
  CIO* io_ = nullptr;
  int64_t base_ = 0;
  WaveFormat format_;
  int level_ = 0;
  uint32_t blocks_per_frame_ = 0;
  uint32_t frame_bytes_ = 0;       // PCM bytes of a whole frame
  uint32_t header_bytes_ = 0;      // stored WAV header
  bool create_header_ = true;
  uint32_t table_slots_ = 0;       // seek table entries reserved at Start
  bool shrink_table_ = false;      // length unknown: compact at Finish
  uint64_t limit_bytes_ = 0;
  uint64_t added_bytes_ = 0;

  std::unique_ptr<FrameEncoder> encoder_;
  std::vector<uint8_t> pending_;   // PCM of the frame being filled
  size_t pending_size_ = 0;
  std::vector<uint32_t> frame_starts_;  // offsets in the frame stream
  uint32_t last_frame_blocks_ = 0;
  ByteSink stream_;                // frame stream bytes not yet written
  uint64_t stream_bytes_ = 0;      // frame stream length so far
  uint64_t written_bytes_ = 0;     // frame data bytes in the file
  std::vector<uint8_t> swapped_;
  AVMD5* md5_ = nullptr;
};

CAPECompress::CAPECompress() : impl_(std::make_unique<Impl>()) {}
CAPECompress::~CAPECompress() = default;

int CAPECompress::Start(CIO* output, const WaveFormat* format, int64_t max_audio_bytes,
                        int compression_level, const void* header_data, int64_t header_bytes) {
  return impl_->Start(output, format, max_audio_bytes, compression_level, header_data, header_bytes);
}
int CAPECompress::AddData(const unsigned char* data, int bytes) { return impl_->AddData(data, bytes); }
int CAPECompress::Finish(const unsigned char* terminating_data, int terminating_bytes,
                         int wav_terminating_bytes) {
  return impl_->Finish(terminating_data, terminating_bytes, wav_terminating_bytes);
}

int CAPECompress::Impl::Start(CIO* io, const WaveFormat* format, int64_t max_audio_bytes, int level,
                              const void* header_data, int64_t header_bytes) {
  if (state_ != State::kIdle || !io || !format) return ERROR_BAD_PARAMETER;
  if (format->format_tag != 1 || format->samples_per_sec == 0) return ERROR_INVALID_INPUT_FILE;
  if (format->bits_per_sample != 8 && format->bits_per_sample != 16) {
    return ERROR_INPUT_FILE_UNSUPPORTED_BIT_DEPTH;
  }
  if (format->channels != 1 && format->channels != 2) {
    return ERROR_INPUT_FILE_UNSUPPORTED_CHANNEL_COUNT;
  }
  if (format->block_align != format->channels * format->bits_per_sample / 8) {
    return ERROR_INVALID_INPUT_FILE;
  }
  if (level != 1000 && level != 2000 && level != 3000 && level != 4000) return ERROR_BAD_PARAMETER;
  if (header_bytes < CREATE_WAV_HEADER_ON_DECOMPRESSION || header_bytes > 0xFFFFFF ||
      (header_bytes > 0 && !header_data)) {
    return ERROR_BAD_PARAMETER;
  }
  if (max_audio_bytes < MAX_AUDIO_BYTES_UNKNOWN) return ERROR_BAD_PARAMETER;
  if (max_audio_bytes > static_cast<int64_t>(kMaxAudioBytes)) return ERROR_INPUT_FILE_TOO_LARGE;

  io_ = io;
  format_ = *format;
  level_ = level;
  blocks_per_frame_ = BlocksPerFrame(level);
  frame_bytes_ = blocks_per_frame_ * format_.block_align;
  create_header_ = header_bytes == CREATE_WAV_HEADER_ON_DECOMPRESSION;
  header_bytes_ = create_header_ ? 0 : static_cast<uint32_t>(header_bytes);
  shrink_table_ = max_audio_bytes == MAX_AUDIO_BYTES_UNKNOWN;
  const uint64_t max_bytes = shrink_table_ ? kMaxAudioBytes : static_cast<uint64_t>(max_audio_bytes);
  const uint64_t max_blocks = max_bytes / format_.block_align;
  limit_bytes_ = shrink_table_ ? max_blocks * format_.block_align : max_bytes;
  table_slots_ = static_cast<uint32_t>((max_blocks + blocks_per_frame_ - 1) / blocks_per_frame_);
  encoder_ = std::make_unique<FrameEncoder>(format_.channels, format_.bits_per_sample, level);
  pending_.resize(frame_bytes_);
  md5_ = av_md5_alloc();
  if (!md5_) return Fail(ERROR_INSUFFICIENT_MEMORY);
  av_md5_init(md5_);
  state_ = State::kStarted;

  base_ = io_->GetPosition();
  if (base_ < 0) return Fail(ERROR_IO_READ);
  // Provisional descriptor and header, an empty seek table, the WAV header;
  // Finish rewrites the first three.
  uint8_t head[kDescriptorBytes + kHeaderBytes];
  BuildDescriptor(head, table_slots_, 0, 0, nullptr);
  BuildHeader(head + kDescriptorBytes, 0, 0);
  if (int rc = WriteAll(head, sizeof head)) return Fail(rc);
  if (int rc = WriteZeros(4ull * table_slots_)) return Fail(rc);
  if (header_bytes_) {
    av_md5_update(md5_, static_cast<const uint8_t*>(header_data), header_bytes_);
    if (int rc = WriteAll(header_data, header_bytes_)) return Fail(rc);
  }
  return ERROR_SUCCESS;
}

int CAPECompress::Impl::AddData(const unsigned char* data, int bytes) {
  if (error_) return error_;
  if (state_ != State::kStarted || bytes < 0 || (bytes > 0 && !data)) return ERROR_BAD_PARAMETER;
  if (added_bytes_ + static_cast<uint64_t>(bytes) > limit_bytes_) {
    return ERROR_APE_COMPRESS_TOO_MUCH_DATA;
  }
  added_bytes_ += static_cast<uint64_t>(bytes);
  size_t left = static_cast<size_t>(bytes);
  while (left > 0) {
    if (pending_size_ == 0 && left >= frame_bytes_) {
      // A whole frame straight from the caller's buffer.
      if (int rc = EncodeFrame(data, blocks_per_frame_)) return rc;
      data += frame_bytes_;
      left -= frame_bytes_;
      continue;
    }
    const size_t n = std::min(left, frame_bytes_ - pending_size_);
    std::memcpy(pending_.data() + pending_size_, data, n);
    pending_size_ += n;
    data += n;
    left -= n;
    if (pending_size_ == frame_bytes_) {
      pending_size_ = 0;
      if (int rc = EncodeFrame(pending_.data(), blocks_per_frame_)) return rc;
    }
  }
  return ERROR_SUCCESS;
}

int CAPECompress::Impl::EncodeFrame(const uint8_t* pcm, uint32_t blocks) {
  // Seek offsets are 32 bits wide.
  if (FirstFrame(table_slots_) + stream_bytes_ > 0xFFFFFFFFull) {
    return Fail(ERROR_APE_COMPRESS_TOO_MUCH_DATA);
  }
  frame_starts_.push_back(static_cast<uint32_t>(stream_bytes_));
  last_frame_blocks_ = blocks;
  const size_t before = stream_.size();
  encoder_->Encode(pcm, blocks, &stream_);
  stream_bytes_ += stream_.size() - before;
  return FlushWords(stream_.size() & ~size_t{3});
}

// The stream goes to the file in 32-bit words, each byte-reversed, counted
// from the first frame.
int CAPECompress::Impl::FlushWords(size_t bytes) {
  if (bytes == 0) return ERROR_SUCCESS;
  swapped_.resize(bytes);
  const uint8_t* in = stream_.data();
  for (size_t i = 0; i < bytes; i += 4) {
    swapped_[i] = in[i + 3];
    swapped_[i + 1] = in[i + 2];
    swapped_[i + 2] = in[i + 1];
    swapped_[i + 3] = in[i];
  }
  stream_.Consume(bytes);
  av_md5_update(md5_, swapped_.data(), bytes);
  written_bytes_ += bytes;
  if (int rc = WriteAll(swapped_.data(), bytes)) return Fail(rc);
  return ERROR_SUCCESS;
}

int CAPECompress::Impl::Finish(const unsigned char* terminating, int terminating_bytes,
                               int wav_terminating_bytes) {
  if (error_) return error_;
  if (state_ != State::kStarted || terminating_bytes < 0 || (terminating_bytes > 0 && !terminating) ||
      wav_terminating_bytes < 0 || wav_terminating_bytes > terminating_bytes ||
      added_bytes_ % format_.block_align != 0) {
    return ERROR_BAD_PARAMETER;
  }
  state_ = State::kDone;
  if (pending_size_ > 0) {
    if (int rc = EncodeFrame(pending_.data(), static_cast<uint32_t>(pending_size_ / format_.block_align))) {
      return rc;
    }
    pending_size_ = 0;
  }
  if (frame_starts_.empty()) return Fail(ERROR_NO_AUDIO);

  // The last word, zero-filled; a whole zero word when the stream ends on
  // a word boundary.
  for (size_t pad = 4 - stream_.size(); pad > 0; --pad) stream_.Put(0);
  if (int rc = FlushWords(4)) return rc;
  if (terminating_bytes > 0) {
    av_md5_update(md5_, terminating, static_cast<size_t>(terminating_bytes));
    if (int rc = WriteAll(terminating, static_cast<uint64_t>(terminating_bytes))) return Fail(rc);
  }

  const auto frames = static_cast<uint32_t>(frame_starts_.size());
  const uint32_t slots = shrink_table_ ? frames : table_slots_;
  const uint64_t first = FirstFrame(slots);
  const uint64_t tail = written_bytes_ + static_cast<uint64_t>(terminating_bytes);
  if (slots != table_slots_) {
    // Everything behind the reserved table (WAV header, frames, terminating
    // data) moves back over the unused slots.
    if (int rc = MoveBack(FirstFrame(table_slots_) - header_bytes_, first - header_bytes_,
                          header_bytes_ + tail)) {
      return Fail(rc);
    }
  }
  if (int rc = Seek(first + tail)) return Fail(rc);
  if (io_->SetEOF() != ERROR_SUCCESS) return Fail(ERROR_IO_WRITE);

  std::vector<uint8_t> table(4ull * slots, 0);
  for (uint32_t i = 0; i < frames; ++i) {
    Put32(table.data() + 4 * i, static_cast<uint32_t>(first + frame_starts_[i]));
  }
  uint8_t head[kDescriptorBytes + kHeaderBytes];
  BuildHeader(head + kDescriptorBytes, frames, last_frame_blocks_);
  av_md5_update(md5_, head + kDescriptorBytes, kHeaderBytes);
  av_md5_update(md5_, table.data(), table.size());
  uint8_t digest[16];
  av_md5_final(md5_, digest);
  BuildDescriptor(head, slots, written_bytes_, static_cast<uint32_t>(wav_terminating_bytes), digest);

  if (int rc = Seek(0)) return Fail(rc);
  if (int rc = WriteAll(head, sizeof head)) return Fail(rc);
  if (int rc = WriteAll(table.data(), table.size())) return Fail(rc);
  if (int rc = Seek(first + tail)) return Fail(rc);
  return ERROR_SUCCESS;
}

int CAPECompress::Impl::MoveBack(uint64_t from, uint64_t to, uint64_t bytes) {
  std::vector<uint8_t> buffer(std::min<uint64_t>(bytes, 1 << 20));
  for (uint64_t done = 0; done < bytes;) {
    const auto n = static_cast<unsigned>(std::min<uint64_t>(buffer.size(), bytes - done));
    unsigned got = 0;
    if (int rc = Seek(from + done)) return rc;
    if (io_->Read(buffer.data(), n, &got) != ERROR_SUCCESS || got != n) return ERROR_IO_READ;
    if (int rc = Seek(to + done)) return rc;
    if (int rc = WriteAll(buffer.data(), n)) return rc;
    done += n;
  }
  return ERROR_SUCCESS;
}

int CAPECompress::Impl::WriteAll(const void* data, uint64_t bytes) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (bytes > 0) {
    const auto n = static_cast<unsigned>(std::min<uint64_t>(bytes, 1u << 30));
    unsigned written = 0;
    if (io_->Write(p, n, &written) != ERROR_SUCCESS || written != n) return ERROR_IO_WRITE;
    p += n;
    bytes -= n;
  }
  return ERROR_SUCCESS;
}

int CAPECompress::Impl::WriteZeros(uint64_t bytes) {
  static const uint8_t zeros[4096] = {};
  while (bytes > 0) {
    const uint64_t n = std::min<uint64_t>(bytes, sizeof zeros);
    if (int rc = WriteAll(zeros, n)) return rc;
    bytes -= n;
  }
  return ERROR_SUCCESS;
}

void CAPECompress::Impl::BuildHeader(uint8_t* out, uint32_t frames, uint32_t final_blocks) const {
  Put16(out, static_cast<uint32_t>(level_));
  Put16(out + 2, create_header_ ? kFlagCreateWavHeader : 0);
  Put32(out + 4, blocks_per_frame_);
  Put32(out + 8, final_blocks);
  Put32(out + 12, frames);
  Put16(out + 16, format_.bits_per_sample);
  Put16(out + 18, format_.channels);
  Put32(out + 20, format_.samples_per_sec);
}

void CAPECompress::Impl::BuildDescriptor(uint8_t* out, uint32_t slots, uint64_t frame_bytes,
                                         uint32_t wav_terminating, const uint8_t* md5) const {
  std::memcpy(out, "MAC ", 4);
  Put16(out + 4, kFileVersion);
  Put16(out + 6, 0);
  Put32(out + 8, kDescriptorBytes);
  Put32(out + 12, kHeaderBytes);
  Put32(out + 16, 4 * slots);
  Put32(out + 20, header_bytes_);
  Put32(out + 24, static_cast<uint32_t>(frame_bytes));
  Put32(out + 28, static_cast<uint32_t>(frame_bytes >> 32));
  Put32(out + 32, wav_terminating);
  if (md5) {
    std::memcpy(out + 36, md5, 16);
  } else {
    std::memset(out + 36, 0, 16);
  }
}

}  // namespace tonvik::monkey
