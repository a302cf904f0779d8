// FLAC over libFLAC's stream encoder with our own write, seek and tell.
#pragma once
#include <FLAC/stream_encoder.h>

#include <vector>

#include "encoders/encoder.h"
#include "encoders/target_file.h"

namespace tonvik {

class CFLACEncoder : public CEncoder {
 public:
  explicit CFLACEncoder(const EncoderTarget& target);
  ~CFLACEncoder() override;
  void Write(const void* data, uint32_t bytes, uint32_t* taken = nullptr) override;
  // Throws "write error" when the library's finish fails.
  void Finish() override;

 private:
  void Start();
  static FLAC__StreamEncoderWriteStatus WriteCallback(const FLAC__StreamEncoder*,
                                                      const FLAC__byte buffer[], size_t bytes,
                                                      uint32_t samples, uint32_t frame,
                                                      void* client);
  static FLAC__StreamEncoderSeekStatus SeekCallback(const FLAC__StreamEncoder*,
                                                    FLAC__uint64 offset, void* client);
  static FLAC__StreamEncoderTellStatus TellCallback(const FLAC__StreamEncoder*,
                                                    FLAC__uint64* offset, void* client);

  TargetFile file_;
  const EncoderSelection selection_;
  bool not_started_ = true;
  FLAC__StreamEncoder* encoder_ = nullptr;
  FLAC__StreamMetadata* comments_ = nullptr;  // owned; the encoder only refers to it
  std::vector<FLAC__int32> buffer_;           // conversion buffer; only grows
};

}  // namespace tonvik
