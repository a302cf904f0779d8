// MP3 through lame_enc.so: ID3v2 in front, the library's frames with its info
// header rewritten in place, ID3v1 at the end.
#pragma once
#include <memory>
#include <vector>

#include "encoders/encoder.h"
#include "encoders/lame_binding.h"
#include "encoders/target_file.h"

namespace tonvik {

class CMP3Encoder : public CEncoder {
 public:
  static constexpr size_t kFifoBytes = 0x40000;
  // The staging area of one library chunk: at most 4096 samples.
  static constexpr size_t kStagingBytes = 8192;

  explicit CMP3Encoder(const EncoderTarget& target);
  ~CMP3Encoder() override;
  void Write(const void* data, uint32_t bytes, uint32_t* taken = nullptr) override;
  void Finish() override;

 private:
  void Start();
  size_t Append(const uint8_t* data, size_t bytes);  // returns bytes taken
  void Take(uint8_t* out, size_t bytes);
  void EncodeChunk(size_t bytes);

  const LameFunctions* lame_;
  const EncoderSelection selection_;
  const bool force_cbr_;
  std::unique_ptr<TargetFile> file_;
  HBE_STREAM stream_ = 0;
  bool not_started_ = true;
  uint32_t samples_per_chunk_ = 0;  // 16-bit values
  std::vector<uint8_t> output_;
  std::vector<uint8_t> fifo_;
  size_t read_ = 0, write_ = 0, fill_ = 0;
};

}  // namespace tonvik
