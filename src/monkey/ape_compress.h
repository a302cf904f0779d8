// Monkey's Audio (.ape, file version 3990) encoder in the shape of the SDK's
// IAPECompress: Start on an open file, AddData in any chunk sizes, Finish.
#pragma once
#include <cstdint>
#include <memory>

#include "monkey/io.h"

namespace tonvik::monkey {

// The PCM format record (WAVEFORMATEX without extra bytes).
struct WaveFormat {
  uint16_t format_tag = 1;  // PCM
  uint16_t channels = 2;
  uint32_t samples_per_sec = 44100;
  uint32_t avg_bytes_per_sec = 176400;
  uint16_t block_align = 4;
  uint16_t bits_per_sample = 16;
  uint16_t extra_size = 0;
};

WaveFormat MakeWaveFormat(uint32_t samples_per_sec, uint16_t bits_per_sample, uint16_t channels);

inline constexpr int COMPRESSION_LEVEL_FAST = 1000;
inline constexpr int COMPRESSION_LEVEL_NORMAL = 2000;
inline constexpr int COMPRESSION_LEVEL_HIGH = 3000;
inline constexpr int COMPRESSION_LEVEL_EXTRA_HIGH = 4000;

inline constexpr int64_t MAX_AUDIO_BYTES_UNKNOWN = -1;
inline constexpr int64_t CREATE_WAV_HEADER_ON_DECOMPRESSION = -1;

// Supported input: 8-bit (unsigned) or 16-bit PCM, mono or stereo, levels
// 1000-4000. Every method returns 0 or an error code from io.h; after an
// error the encoder stays failed and returns that error again.
//
// The output is written from the CIO's position at Start onwards; seek
// offsets in the file count from there. Finish seeks back to fill in the
// descriptor, header and seek table, so the CIO must seek, and with an
// unknown length also read.
class CAPECompress {
 public:
  CAPECompress();
  ~CAPECompress();
  CAPECompress(const CAPECompress&) = delete;
  CAPECompress& operator=(const CAPECompress&) = delete;

  // max_audio_bytes: the exact PCM byte count if known, which sizes the
  // seek table; MAX_AUDIO_BYTES_UNKNOWN reserves a table for the largest
  // input the format describes and shrinks it to the real frame count at
  // Finish by moving the frame data back. AddData refuses input beyond the
  // limit with ERROR_APE_COMPRESS_TOO_MUCH_DATA.
  // header_data/header_bytes: the original WAV header to store, or
  // CREATE_WAV_HEADER_ON_DECOMPRESSION to let the decoder make one.
  int Start(CIO* output, const WaveFormat* format, int64_t max_audio_bytes, int compression_level,
            const void* header_data = nullptr,
            int64_t header_bytes = CREATE_WAV_HEADER_ON_DECOMPRESSION);

  // PCM as in a WAV file's data chunk, any number of bytes per call.
  int AddData(const unsigned char* data, int bytes);

  // Encodes the rest, appends the terminating data (the first
  // wav_terminating_bytes of it are WAV bytes that followed the data chunk)
  // and completes the file. ERROR_NO_AUDIO when no block was added: the
  // format cannot hold a file without frames.
  int Finish(const unsigned char* terminating_data, int terminating_bytes, int wav_terminating_bytes);

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tonvik::monkey
