// PCM in RIFF with the 18-byte format chunk (a 46-byte header).
#pragma once
#include "encoders/encoder.h"
#include "encoders/target_file.h"

namespace tonvik {

class CWaveEncoder : public CEncoder {
 public:
  explicit CWaveEncoder(const EncoderTarget& target);
  void Write(const void* data, uint32_t bytes, uint32_t* taken = nullptr) override;
  // Patches the RIFF and data sizes, then puts the file in place.
  void Finish() override;

  static constexpr uint32_t kHeaderSize = 46;

 private:
  TargetFile file_;
  bool header_pending_ = true;
  uint64_t data_bytes_ = 0;
};

}  // namespace tonvik
