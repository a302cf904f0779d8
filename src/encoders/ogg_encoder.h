// Ogg Vorbis over libvorbis/libvorbisenc and libogg.
#pragma once
#include <ogg/ogg.h>
#include <vorbis/codec.h>

#include "encoders/encoder.h"
#include "encoders/target_file.h"

namespace tonvik {

class COGGEncoder : public CEncoder {
 public:
  explicit COGGEncoder(const EncoderTarget& target);
  ~COGGEncoder() override;
  void Write(const void* data, uint32_t bytes, uint32_t* taken = nullptr) override;
  void Finish() override;

 private:
  void Start();
  // Takes every block the analysis yields through to written pages.
  void Drain();
  void WritePage(const ogg_page& page);
  void Clear();

  TargetFile file_;
  const EncoderSelection selection_;
  bool not_started_ = true;
  bool library_live_ = false;  // the structs below need clearing
  ogg_stream_state stream_{};
  ogg_page page_{};
  ogg_packet packet_{};
  vorbis_dsp_state dsp_{};
  vorbis_block block_{};
  vorbis_info info_{};
  vorbis_comment comments_{};
};

}  // namespace tonvik
