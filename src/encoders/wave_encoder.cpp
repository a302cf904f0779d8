#include "encoders/wave_encoder.h"

#include <cstring>

#include "core/app_exception.h"

namespace tonvik {

namespace {

void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v & 0xFFFF);
  Put16(p + 2, v >> 16);
}

}  // namespace

CWaveEncoder::CWaveEncoder(const EncoderTarget& target) : file_(target.path, target.overwrite) {}

void CWaveEncoder::Write(const void* data, uint32_t bytes, uint32_t* taken) {
  if (header_pending_) {
    uint8_t h[kHeaderSize] = {};
    const uint32_t bytes_per_sample = static_cast<uint32_t>(bits_per_sample) / 8;
    std::memcpy(h, "RIFF", 4);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    Put32(h + 16, 18);
    Put16(h + 20, 1);
    Put16(h + 22, static_cast<uint32_t>(channels));
    Put32(h + 24, static_cast<uint32_t>(sample_rate));
    Put32(h + 28, static_cast<uint32_t>(sample_rate) * bytes_per_sample *
                      static_cast<uint32_t>(channels));
    Put16(h + 32, static_cast<uint32_t>(channels) * bytes_per_sample);
    Put16(h + 34, static_cast<uint32_t>(bits_per_sample));
    Put16(h + 36, 0);
    std::memcpy(h + 38, "data", 4);
    // Both sizes are patched by Finish.
    file_.WriteOrThrow(h, sizeof h);
    header_pending_ = false;
  }
  file_.WriteOrThrow(data, bytes);
  data_bytes_ += bytes;
  if (taken) *taken = bytes;
}

void CWaveEncoder::Finish() {
  if (!header_pending_) {
    // RIFF chunks are padded to an even length.
    const uint32_t data_size = static_cast<uint32_t>(data_bytes_);
    if (data_bytes_ & 1) file_.WriteOrThrow("", 1);
    const uint32_t padded = data_size + (data_size & 1);
    uint8_t size[4];
    Put32(size, padded + kHeaderSize - 8);
    if (!file_.Seek(4) || !file_.Write(size, 4)) throw EncoderException("write error");
    Put32(size, data_size);
    if (!file_.Seek(42) || !file_.Write(size, 4)) throw EncoderException("write error");
  }
  // A writer that never received data gives an empty file.
  file_.Commit();
}

}  // namespace tonvik
