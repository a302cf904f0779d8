// The writer: PCM samples in, an ASF file of one Windows Media Audio stream
// out, through libavcodec's wmav2 encoder and libavformat's ASF muxer. The
// file is opened at BeginWriting at the name SetOutputFilename gave and
// finished (header rewritten with the final sizes and duration) at EndWriting.
//
// Failures of the file come back as the result of the call that met them
// (WriteSample, EndWriting). Failures of the codec are reported to the status
// callbacks of the sink as WMT_ERROR with the result code, on the thread that
// fed the sample; the sample call itself succeeds, and the writer takes no
// more samples.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "modules/wmvcore/wm_objects.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;

namespace wmvcore {

class Writer final : public IWMWriter, public IWMHeaderInfo, public IWMWriterAdvanced, public Counted {
 public:
  Writer();
  ~Writer() override;
  WMVCORE_UNKNOWN_METHODS

  HRESULT SetProfile(IWMProfile* profile) override;
  HRESULT SetOutputFilename(const WCHAR* path) override;
  HRESULT GetInputCount(DWORD* count) override;
  HRESULT GetInputProps(DWORD input, IWMInputMediaProps** props) override;
  HRESULT SetInputProps(DWORD input, IWMInputMediaProps* props) override;
  HRESULT BeginWriting() override;
  HRESULT EndWriting() override;
  HRESULT AllocateSample(DWORD size, INSSBuffer** sample) override;
  HRESULT WriteSample(DWORD input, QWORD time, DWORD flags, INSSBuffer* sample) override;
  HRESULT Flush() override;

  HRESULT GetAttributeCount(WORD stream, WORD* count) override;
  HRESULT GetAttributeByName(WORD* stream, const WCHAR* name, WMT_ATTR_DATATYPE* type, BYTE* value,
                             WORD* length) override;
  HRESULT SetAttribute(WORD stream, const WCHAR* name, WMT_ATTR_DATATYPE type, const BYTE* value,
                       WORD length) override;

  HRESULT GetSinkCount(DWORD* count) override;
  HRESULT GetSink(DWORD index, IWMWriterSink** sink) override;

 private:
  void* Find(REFIID iid);
  HRESULT Open();
  // Takes interleaved 16-bit PCM; encodes every whole frame.
  HRESULT Consume(const BYTE* data, size_t bytes);
  // Sends the frame (or the end of the stream with null) and writes what
  // the codec gives back. A failure is either the file's or the codec's.
  HRESULT Encode(AVFrame* frame, bool* codec_failed);
  void Close();

  Sink* sink_;
  bool has_profile_ = false;
  MediaType output_;   // the profile's one audio stream
  bool has_input_ = false;
  MediaType input_;    // PCM
  std::string path_;   // UTF-8
  std::vector<std::pair<std::u16string, std::u16string>> attributes_;  // of the file, in order

  bool writing_ = false;
  HRESULT failed_ = S_OK;  // the first failure while writing; no samples after it
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
