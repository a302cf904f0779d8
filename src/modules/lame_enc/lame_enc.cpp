// lame_enc.so: the classic lame_enc interface over libmp3lame.
#include "modules/lame_enc/lame_enc.h"

#include <lame/lame.h>

#include <cstdio>
#include <mutex>
#include <cstring>
#include <vector>

#include "platform/text.h"

namespace {

// 1152 samples a frame (MPEG-1 layer III), per channel.
constexpr uint32_t kFrameSamples = 1152;
// lame's worst case for one chunk is 1.25 × samples + 7200; the flush needs 7200.
constexpr uint32_t kOutputBytes = 16384;

struct Stream {
  lame_global_flags* flags = nullptr;
  int channels = 2;
  bool info_frame = false;
};

Stream* FromHandle(HBE_STREAM h) { return reinterpret_cast<Stream*>(h); }

bool Configure(const BE_CONFIG& c, lame_global_flags* gf) {
  const int channels = c.nMode == BE_MP3_MODE_MONO ? 1 : 2;
  lame_set_in_samplerate(gf, static_cast<int>(c.dwSampleRate));
  lame_set_num_channels(gf, channels);
  if (c.dwReSampleRate) lame_set_out_samplerate(gf, static_cast<int>(c.dwReSampleRate));
  lame_set_mode(gf, channels == 1 ? MONO : JOINT_STEREO);
  lame_set_bWriteVbrTag(gf, c.bWriteVBRHeader ? 1 : 0);
  lame_set_error_protection(gf, c.bCRC ? 1 : 0);
  lame_set_copyright(gf, c.bCopyright ? 1 : 0);
  lame_set_original(gf, c.bOriginal ? 1 : 0);
  lame_set_extension(gf, c.bPrivate ? 1 : 0);
  lame_set_strict_ISO(gf, c.bStrictIso ? 1 : 0);
  lame_set_disable_reservoir(gf, c.bNoRes ? 1 : 0);
  switch (c.nPreset) {
    case LQP_EXTREME:  // lame --preset extreme, -V 0
      lame_set_preset(gf, EXTREME);
      break;
    case LQP_MEDIUM:  // lame --preset medium, -V 4
      lame_set_preset(gf, MEDIUM);
      break;
    case LQP_ABR: {  // lame --abr <kbit/s>
      const int kbps = static_cast<int>(c.dwVbrAbr_bps / 1000);
      if (kbps < 8 || kbps > 320) return false;
      lame_set_VBR(gf, vbr_abr);
      lame_set_VBR_mean_bitrate_kbps(gf, kbps);
      if (c.dwBitrate) lame_set_VBR_min_bitrate_kbps(gf, static_cast<int>(c.dwBitrate));
      if (c.dwMaxBitrate) lame_set_VBR_max_bitrate_kbps(gf, static_cast<int>(c.dwMaxBitrate));
      break;
    }
    case LQP_CBR:  // lame -b <kbit/s>
      if (c.dwBitrate == 0) return false;
      lame_set_VBR(gf, vbr_off);
      lame_set_brate(gf, static_cast<int>(c.dwBitrate));
      break;
    default:
      // No preset: the record's own fields.
      if (c.bEnableVBR) {
        lame_set_VBR(gf, vbr_default);
        lame_set_VBR_q(gf, c.nVBRQuality);
      } else if (c.dwBitrate) {
        lame_set_brate(gf, static_cast<int>(c.dwBitrate));
      }
  }
  return lame_init_params(gf) >= 0;
}

// Skips an ID3v2 tag at the start of the file; returns the first frame's offset.
long FirstFrameOffset(FILE* f) {
  unsigned char h[10];
  if (std::fseek(f, 0, SEEK_SET) != 0 || std::fread(h, 1, 10, f) != 10) return 0;
  if (std::memcmp(h, "ID3", 3) != 0) return 0;
  const long size = (h[6] & 0x7F) << 21 | (h[7] & 0x7F) << 14 | (h[8] & 0x7F) << 7 | (h[9] & 0x7F);
  return 10 + size + ((h[5] & 0x10) ? 10 : 0);
}

BE_ERR WriteInfo(Stream* s, const char* path) {
  if (!s || !s->flags) return BE_ERR_INVALID_HANDLE;
  if (!s->info_frame) return BE_ERR_SUCCESSFUL;  // nothing to rewrite
  std::vector<unsigned char> frame(2880);
  const size_t n = lame_get_lametag_frame(s->flags, frame.data(), frame.size());
  if (n == 0 || n > frame.size()) return BE_ERR_BUFFER_TOO_SMALL;
  FILE* f = std::fopen(path, "r+b");
  if (!f) return BE_ERR_INVALID_HANDLE;
  const long at = FirstFrameOffset(f);
  bool ok = std::fseek(f, at, SEEK_SET) == 0 && std::fwrite(frame.data(), 1, n, f) == n;
  ok = std::fclose(f) == 0 && ok;
  return ok ? BE_ERR_SUCCESSFUL : BE_ERR_INVALID_HANDLE;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) BE_ERR beInitStream(BE_CONFIG* config, uint32_t* samples,
                                                           uint32_t* buffer_size,
                                                           HBE_STREAM* stream) {
  if (!config || !samples || !buffer_size || !stream) return BE_ERR_INVALID_FORMAT_PARAMETERS;
  if (config->dwConfig != BE_CONFIG_LAME || config->dwStructVersion != 1) {
    return BE_ERR_INVALID_FORMAT;
  }
  // lame_init_params fills tables that every LAME stream of the process
  // shares (pow43 and its kin, the log table); two streams started at once
  // on two threads would fill them together. Streams start one at a time;
  // once started they only read them.
  static std::mutex start_one_at_a_time;
  lame_global_flags* gf = nullptr;
  {
    std::lock_guard<std::mutex> lock(start_one_at_a_time);
    gf = lame_init();
    if (!gf) return BE_ERR_NO_MORE_HANDLES;
    if (!Configure(*config, gf)) {
      lame_close(gf);
      return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
  }
  auto* s = new Stream;
  s->flags = gf;
  s->channels = lame_get_num_channels(gf);
  s->info_frame = lame_get_bWriteVbrTag(gf) != 0;
  *samples = kFrameSamples * static_cast<uint32_t>(s->channels);
  *buffer_size = kOutputBytes;
  *stream = reinterpret_cast<HBE_STREAM>(s);
  return BE_ERR_SUCCESSFUL;
}

__attribute__((visibility("default"))) BE_ERR beEncodeChunk(HBE_STREAM stream, uint32_t samples,
                                                            const int16_t* pcm, uint8_t* output,
                                                            uint32_t* output_bytes) {
  Stream* s = FromHandle(stream);
  if (!s || !s->flags || !output_bytes) return BE_ERR_INVALID_HANDLE;
  if (samples > kFrameSamples * static_cast<uint32_t>(s->channels)) {
    return BE_ERR_INVALID_FORMAT_PARAMETERS;
  }
  int n;
  if (s->channels == 1) {
    n = lame_encode_buffer(s->flags, pcm, pcm, static_cast<int>(samples), output, kOutputBytes);
  } else {
    n = lame_encode_buffer_interleaved(s->flags, const_cast<short*>(pcm),
                                       static_cast<int>(samples / 2), output, kOutputBytes);
  }
  if (n < 0) {
    *output_bytes = 0;
    return BE_ERR_BUFFER_TOO_SMALL;
  }
  *output_bytes = static_cast<uint32_t>(n);
  return BE_ERR_SUCCESSFUL;
}

__attribute__((visibility("default"))) BE_ERR beDeinitStream(HBE_STREAM stream, uint8_t* output,
                                                             uint32_t* output_bytes) {
  Stream* s = FromHandle(stream);
  if (!s || !s->flags || !output_bytes) return BE_ERR_INVALID_HANDLE;
  const int n = lame_encode_flush(s->flags, output, kOutputBytes);
  if (n < 0) {
    *output_bytes = 0;
    return BE_ERR_BUFFER_TOO_SMALL;
  }
  *output_bytes = static_cast<uint32_t>(n);
  return BE_ERR_SUCCESSFUL;
}

__attribute__((visibility("default"))) BE_ERR beCloseStream(HBE_STREAM stream) {
  Stream* s = FromHandle(stream);
  if (!s) return BE_ERR_INVALID_HANDLE;
  if (s->flags) lame_close(s->flags);
  delete s;
  return BE_ERR_SUCCESSFUL;
}

__attribute__((visibility("default"))) BE_ERR beWriteInfoTag(HBE_STREAM stream, const char* path) {
  return path ? WriteInfo(FromHandle(stream), path) : BE_ERR_INVALID_FORMAT_PARAMETERS;
}

__attribute__((visibility("default"))) BE_ERR beWriteInfoTagW(HBE_STREAM stream,
                                                              const char16_t* path) {
  if (!path) return BE_ERR_INVALID_FORMAT_PARAMETERS;
  const std::string utf8 = tonvik::ToUtf8(std::u16string_view(path));
  return WriteInfo(FromHandle(stream), utf8.c_str());
}

}  // extern "C"
