#include "encoders/mp3_encoder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/app_exception.h"
#include "core/settings.h"
#include "encoders/format_table.h"
#include "encoders/selection.h"
#include "platform/text.h"

namespace tonvik {

namespace {

void FillConfig(BE_CONFIG& c, int32_t sample_rate, int32_t channels, const EncoderSelection& sel,
                bool force_cbr) {
  std::memset(&c, 0, sizeof c);
  c.dwConfig = BE_CONFIG_LAME;
  c.dwStructVersion = 1;
  c.dwStructSize = sizeof(BE_CONFIG);
  c.dwSampleRate = static_cast<uint32_t>(sample_rate);
  c.nMode = channels == 1 ? BE_MP3_MODE_MONO : BE_MP3_MODE_STEREO;
  c.dwMpegVersion = 1;
  c.bWriteVBRHeader = force_cbr ? 0 : 1;
  const int value = SelectedValue(GetFormat(Format::Mp3), sel);
  if (force_cbr) {
    c.nPreset = LQP_CBR;
    c.dwBitrate = static_cast<uint32_t>(value) / 1000;
    c.dwVbrAbr_bps = static_cast<uint32_t>(value);
  } else {
    switch (sel.preset_index) {
      case 1: c.nPreset = LQP_MEDIUM; break;
      case 2: c.nPreset = LQP_EXTREME; break;
      default: c.nPreset = LQP_ABR; c.dwVbrAbr_bps = static_cast<uint32_t>(value);  // Low: 80000
    }
  }
}

}  // namespace

CMP3Encoder::CMP3Encoder(const EncoderTarget& target) : lame_(&BindLame()), selection_(target.format), force_cbr_(target.force_cbr), fifo_(kFifoBytes) {
  file_ = std::make_unique<TargetFile>(target.path, target.overwrite);
}

CMP3Encoder::~CMP3Encoder() {
  if (stream_) lame_->close(stream_);
}

void CMP3Encoder::Start() {
  std::vector<uint8_t> id3v2;
  if (tags) tags->GetID3v2(id3v2);
  if (!id3v2.empty()) file_->WriteOrThrow(id3v2.data(), id3v2.size());

  BE_CONFIG config;
  FillConfig(config, sample_rate, channels, selection_, force_cbr_);
  uint32_t buffer_size = 0;
  HBE_STREAM stream = 0;
  if (lame_->init(&config, &samples_per_chunk_, &buffer_size, &stream) != BE_ERR_SUCCESSFUL) {
    throw EncoderException("unable to encode");
  }
  stream_ = stream;
  // A library asking for more than the staging area holds would overflow it.
  if (samples_per_chunk_ == 0 || samples_per_chunk_ * 2 > kStagingBytes) {
    throw EncoderException("unable to encode");
  }
  output_.resize(buffer_size);
  not_started_ = false;
}

size_t CMP3Encoder::Append(const uint8_t* data, size_t bytes) {
  bytes = std::min(bytes, kFifoBytes - fill_);
  const size_t first = std::min(bytes, kFifoBytes - write_);
  std::memcpy(fifo_.data() + write_, data, first);
  std::memcpy(fifo_.data(), data + first, bytes - first);
  write_ = (write_ + bytes) % kFifoBytes;
  fill_ += bytes;
  return bytes;
}

void CMP3Encoder::Take(uint8_t* out, size_t bytes) {
  const size_t first = std::min(bytes, kFifoBytes - read_);
  std::memcpy(out, fifo_.data() + read_, first);
  std::memcpy(out + first, fifo_.data(), bytes - first);
  read_ = (read_ + bytes) % kFifoBytes;
  fill_ -= bytes;
}

void CMP3Encoder::EncodeChunk(size_t bytes) {
  alignas(int16_t) uint8_t staging[kStagingBytes];
  Take(staging, bytes);
  uint32_t produced = 0;
  // A refused chunk would leave a stream with a hole, reported as ripped.
  if (lame_->encode(stream_, static_cast<uint32_t>(bytes / 2), reinterpret_cast<int16_t*>(staging),
                    output_.data(), &produced) != BE_ERR_SUCCESSFUL) {
    throw EncoderException("write error");
  }
  if (produced > output_.size()) throw EncoderException("unable to encode");
  if (produced) file_->WriteOrThrow(output_.data(), produced);
}

void CMP3Encoder::Write(const void* data, uint32_t bytes, uint32_t* taken) {
  if (not_started_) Start();
  const auto* p = static_cast<const uint8_t*>(data);
  const size_t chunk = samples_per_chunk_ * 2;
  size_t left = bytes;
  // Chunks larger than the FIFO's free space go in pieces.
  while (left > 0) {
    const size_t n = Append(p, left);
    p += n;
    left -= n;
    while (fill_ >= chunk) EncodeChunk(chunk);
  }
  if (taken) *taken = bytes;
}

void CMP3Encoder::Finish() {
  if (not_started_) Start();
  const size_t chunk = samples_per_chunk_ * 2;
  // The last chunk may be short.
  while (fill_ > 0) EncodeChunk(std::min(chunk, fill_));
  uint32_t produced = 0;
  if (lame_->deinit(stream_, output_.data(), &produced) != BE_ERR_SUCCESSFUL) {
    throw EncoderException("unexpected error");
  }
  if (produced > output_.size()) throw EncoderException("unexpected error");
  if (produced) file_->WriteOrThrow(output_.data(), produced);
  file_->Close();

  // The library rewrites its info header inside the closed file, which is
  // still the temporary one.
  const std::string& path = file_->temp_path();
  const BE_ERR tagged = lame_->info_tag_w ? lame_->info_tag_w(stream_, FromUtf8(path).c_str())
                                          : lame_->info_tag(stream_, path.c_str());
  if (tagged != BE_ERR_SUCCESSFUL) throw EncoderException("write error");

  std::vector<uint8_t> id3v1;
  if (tags) tags->GetID3v1(id3v1);
  if (!id3v1.empty()) {
    FILE* f = std::fopen(path.c_str(), "ab");
    bool ok = f && std::fwrite(id3v1.data(), 1, id3v1.size(), f) == id3v1.size();
    if (f) ok = std::fclose(f) == 0 && ok;
    if (!ok) throw EncoderException("write error");
  }
  file_->Commit();
}

}  // namespace tonvik
