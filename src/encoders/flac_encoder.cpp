#include "encoders/flac_encoder.h"

#include <FLAC/metadata.h>

#include <new>

#include "core/app_exception.h"
#include "encoders/format_table.h"
#include "encoders/selection.h"

namespace tonvik {

CFLACEncoder::CFLACEncoder(const EncoderTarget& target) : file_(target.path, target.overwrite), selection_(target.format) {
  encoder_ = FLAC__stream_encoder_new();
  if (!encoder_) throw std::bad_alloc();
}

CFLACEncoder::~CFLACEncoder() {
  if (encoder_) FLAC__stream_encoder_delete(encoder_);
  if (comments_) FLAC__metadata_object_delete(comments_);
}

void CFLACEncoder::Start() {
  const unsigned level = static_cast<unsigned>(SelectedValue(GetFormat(Format::Flac), selection_));
  FLAC__stream_encoder_set_sample_rate(encoder_, static_cast<uint32_t>(sample_rate));
  FLAC__stream_encoder_set_bits_per_sample(encoder_, static_cast<uint32_t>(bits_per_sample));
  FLAC__stream_encoder_set_channels(encoder_, static_cast<uint32_t>(channels));
  FLAC__stream_encoder_set_compression_level(encoder_, level);

  comments_ = FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT);
  if (!comments_) throw std::bad_alloc();
  if (tags) tags->AddFLACComments(comments_);
  FLAC__stream_encoder_set_metadata(encoder_, &comments_, 1);

  if (FLAC__stream_encoder_init_stream(encoder_, &WriteCallback, &SeekCallback, &TellCallback,
                                       nullptr, this) != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
    FLAC__stream_encoder_delete(encoder_);
    encoder_ = nullptr;
    throw EncoderException("flac encoder initialization failed");
  }
  not_started_ = false;
}

void CFLACEncoder::Write(const void* data, uint32_t bytes, uint32_t* taken) {
  if (not_started_) Start();
  if (!encoder_) throw EncoderException("encoding error");
  const uint32_t bytes_per_sample = static_cast<uint32_t>(bits_per_sample) / 8;
  const uint32_t samples = bytes / bytes_per_sample;
  if (buffer_.size() < samples) buffer_.resize(samples);
  const auto* in = static_cast<const uint8_t*>(data);
  if (bytes_per_sample == 2) {
    for (uint32_t i = 0; i < samples; ++i) {
      buffer_[i] = static_cast<int16_t>(in[2 * i] | (in[2 * i + 1] << 8));
    }
  } else {
    for (uint32_t i = 0; i < samples; ++i) buffer_[i] = static_cast<int>(in[i]) - 128;
  }
  if (!FLAC__stream_encoder_process_interleaved(encoder_, buffer_.data(),
                                                samples / static_cast<uint32_t>(channels))) {
    // Our own write callback failing is a write error, not a refusal.
    if (FLAC__stream_encoder_get_state(encoder_) == FLAC__STREAM_ENCODER_CLIENT_ERROR) {
      throw EncoderException("write error");
    }
    throw EncoderException("encoding error");
  }
  if (taken) *taken = bytes;
}

void CFLACEncoder::Finish() {
  if (not_started_) Start();  // an empty track still gives a valid stream
  if (!encoder_) throw EncoderException("write error");
  // The finish flushes the last frame and rewrites the stream information
  // through the seek callback; a failure there leaves a broken file.
  const bool ok = FLAC__stream_encoder_finish(encoder_);
  if (!ok) throw EncoderException("write error");
  file_.Commit();
}

FLAC__StreamEncoderWriteStatus CFLACEncoder::WriteCallback(const FLAC__StreamEncoder*,
                                                           const FLAC__byte buffer[],
                                                           size_t bytes, uint32_t, uint32_t,
                                                           void* client) {
  auto* self = static_cast<CFLACEncoder*>(client);
  return self->file_.Write(buffer, bytes) ? FLAC__STREAM_ENCODER_WRITE_STATUS_OK
                                          : FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
}

FLAC__StreamEncoderSeekStatus CFLACEncoder::SeekCallback(const FLAC__StreamEncoder*,
                                                         FLAC__uint64 offset, void* client) {
  auto* self = static_cast<CFLACEncoder*>(client);
  return self->file_.Seek(offset) ? FLAC__STREAM_ENCODER_SEEK_STATUS_OK
                                  : FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
}

FLAC__StreamEncoderTellStatus CFLACEncoder::TellCallback(const FLAC__StreamEncoder*,
                                                         FLAC__uint64* offset, void* client) {
  *offset = static_cast<CFLACEncoder*>(client)->file_.Tell();
  return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
}

}  // namespace tonvik
