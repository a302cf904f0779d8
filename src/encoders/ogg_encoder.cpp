#include "encoders/ogg_encoder.h"

#include <vorbis/vorbisenc.h>

#include "core/app_exception.h"
#include "encoders/format_table.h"
#include "encoders/selection.h"

namespace tonvik {

COGGEncoder::COGGEncoder(const EncoderTarget& target) : file_(target.path, target.overwrite), selection_(target.format) {}

COGGEncoder::~COGGEncoder() { Clear(); }

void COGGEncoder::Clear() {
  if (!library_live_) return;
  ogg_stream_clear(&stream_);
  vorbis_block_clear(&block_);
  vorbis_dsp_clear(&dsp_);
  vorbis_info_clear(&info_);
  vorbis_comment_clear(&comments_);
  library_live_ = false;
}

void COGGEncoder::Start() {
  vorbis_info_init(&info_);
  const EncoderSelection& sel = selection_;
  int result;
  const int value = SelectedValue(GetFormat(Format::Ogg), sel);
  if (sel.preset_index >= 0 && sel.preset_index < 3) {
    result = vorbis_encode_init_vbr(&info_, channels, sample_rate, static_cast<float>(value) / 1000.0f);
  } else {
    result = vorbis_encode_init(&info_, channels, sample_rate, -1, value, -1);
  }
  if (result < 0) {
    vorbis_info_clear(&info_);
    throw EncoderException("internal vorbis logic fault");
  }
  vorbis_analysis_init(&dsp_, &info_);
  vorbis_block_init(&dsp_, &block_);
  ogg_stream_init(&stream_, 0);
  vorbis_comment_init(&comments_);
  library_live_ = true;
  if (tags) tags->AddVorbisComments(&comments_);

  ogg_packet ident, comment, codebooks;
  vorbis_analysis_headerout(&dsp_, &comments_, &ident, &comment, &codebooks);
  ogg_stream_packetin(&stream_, &ident);
  ogg_stream_packetin(&stream_, &comment);
  ogg_stream_packetin(&stream_, &codebooks);
  // The headers get pages of their own, so audio starts on a fresh page.
  while (ogg_stream_flush(&stream_, &page_) != 0) WritePage(page_);
  not_started_ = false;
}

void COGGEncoder::WritePage(const ogg_page& page) {
  file_.WriteOrThrow(page.header, static_cast<size_t>(page.header_len));
  file_.WriteOrThrow(page.body, static_cast<size_t>(page.body_len));
}

void COGGEncoder::Write(const void* data, uint32_t bytes, uint32_t* taken) {
  if (not_started_) Start();
  const int bytes_per_sample = bits_per_sample / 8;
  const int frames = static_cast<int>(bytes / static_cast<uint32_t>(bytes_per_sample * channels));
  float** buffer = vorbis_analysis_buffer(&dsp_, frames);
  if (bytes_per_sample == 2) {
    const auto* in = static_cast<const uint8_t*>(data);
    for (int f = 0; f < frames; ++f) {
      for (int c = 0; c < channels; ++c) {
        const int16_t v = static_cast<int16_t>(in[0] | (in[1] << 8));
        buffer[c][f] = v * 0.000030517578125f;
        in += 2;
      }
    }
  } else {
    const auto* in = static_cast<const uint8_t*>(data);
    for (int f = 0; f < frames; ++f) {
      for (int c = 0; c < channels; ++c) buffer[c][f] = (*in++ - 128) * 0.0078125f;
    }
  }
  vorbis_analysis_wrote(&dsp_, frames);
  Drain();
  if (taken) *taken = bytes;
}

void COGGEncoder::Drain() {
  while (vorbis_analysis_blockout(&dsp_, &block_) == 1) {
    vorbis_analysis(&block_, nullptr);
    vorbis_bitrate_addblock(&block_);
    while (vorbis_bitrate_flushpacket(&dsp_, &packet_) == 1) {
      ogg_stream_packetin(&stream_, &packet_);
      while (ogg_stream_pageout(&stream_, &page_) != 0) {
        WritePage(page_);
        if (ogg_page_eos(&page_)) break;
      }
    }
  }
}

void COGGEncoder::Finish() {
  if (not_started_) Start();  // an empty track still gives a valid stream
  vorbis_analysis_wrote(&dsp_, 0);
  Drain();
  // Whatever the end-of-stream packet left in the stream goes out too.
  while (ogg_stream_flush(&stream_, &page_) != 0) WritePage(page_);
  Clear();
  file_.Commit();
}

}  // namespace tonvik
