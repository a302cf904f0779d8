// The encoding under the writer: interleaved 16-bit PCM in, one Windows Media
// Audio stream (libavcodec's wmav2) in an ASF file (libavformat's muxer) out.
// Results are the runtime's codes; a failure is either the codec's or the
// file's, told apart by *codec_failed. One thread at a time.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "modules/wmvcore/wmsdk.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;

namespace wmvcore {

struct AsfStream {
  int sample_rate = 44100;
  int channels = 2;        // of the stream: 1 or 2
  int64_t bit_rate = 0;    // bit/s
  int input_channels = 2;  // of the PCM: 1 or 2, never fewer than the stream's
  // The header's content descriptions, in order, UTF-8.
  std::vector<std::pair<std::string, std::string>> attributes;
};

class AsfEncoder {
 public:
  AsfEncoder() = default;
  ~AsfEncoder() { Close(); }
  AsfEncoder(const AsfEncoder&) = delete;
  AsfEncoder& operator=(const AsfEncoder&) = delete;

  // Whether Open could create (or replace) the file at path (UTF-8): the
  // file writable, or its folder when there is no file yet.
  static HRESULT CheckWritable(const std::string& path);

  // Opens the codec, creates the file and writes its header. A failure
  // leaves nothing open (a file already created stays).
  HRESULT Open(const std::string& path, const AsfStream& stream);
  // Encodes and writes every whole frame of the PCM; a sample frame split
  // between two calls is completed by the next.
  HRESULT Consume(const BYTE* data, size_t bytes, bool* codec_failed);
  // Encodes the short last frame (the codec pads it with silence) and what
  // the codec still holds, writes the trailer (the header rewritten with the
  // final sizes and duration) and closes the file.
  HRESULT Finish(bool* codec_failed);
  // Frees the codec and the muxer. A file still open is closed as it is;
  // removing it is the caller's business.
  void Close();

 private:
  // Sends the frame (or the end of the stream with null) and writes what
  // the codec gives back.
  HRESULT Encode(AVFrame* frame, bool* codec_failed);
  // Hands the filled part of frame_ to the codec.
  HRESULT EncodeFilled(bool* codec_failed);

  AVCodecContext* codec_ = nullptr;
  AVFormatContext* format_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  int in_channels_ = 2;
  int filled_ = 0;            // samples in frame_
  int64_t next_pts_ = 0;      // samples sent to the codec
  std::vector<BYTE> carry_;   // the bytes of an incomplete sample frame
};

}  // namespace wmvcore
