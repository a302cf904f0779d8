// The writer: PCM samples in, an ASF file of one Windows Media Audio stream
// out. The file is opened at BeginWriting at the name SetOutputFilename gave
// and finished (header rewritten with the final sizes and duration) at
// EndWriting. The encoding is AsfEncoder's, on the thread of a SampleQueue;
// this class holds the settings and answers the runtime's interfaces.
//
// WriteSample queues the sample (waiting while a few are still pending) and
// returns. A failure of the codec is reported to the status callbacks of the
// sink as WMT_ERROR with the result code, from the encoding thread. A failure
// of the file (disk full, ...) is the result of the next WriteSample, or of
// EndWriting, which waits for the queue and finishes the file on the
// caller's thread. After either failure the writer drops every further
// sample.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "modules/wmvcore/asf_encoder.h"
#include "modules/wmvcore/sample_queue.h"
#include "modules/wmvcore/wm_objects.h"

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
  void Close();

  Sink* sink_;
  bool has_profile_ = false;
  MediaType output_;   // the profile's one audio stream
  bool has_input_ = false;
  MediaType input_;    // PCM
  std::string path_;   // UTF-8
  std::vector<std::pair<std::u16string, std::u16string>> attributes_;  // of the file, in order

  bool writing_ = false;
  AsfEncoder encoder_;
  SampleQueue queue_;  // after encoder_: its thread is joined first
};

}  // namespace wmvcore
