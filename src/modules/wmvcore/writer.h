// The writer: PCM samples in, an ASF file of one Windows Media Audio stream
// out. The file is opened at BeginWriting at the name SetOutputFilename gave
// and finished (header rewritten with the final sizes and duration) at
// EndWriting. The encoding is AsfEncoder's, on the writer's own thread.
//
// WriteSample queues the sample (waiting while a few are still pending) and
// returns. A failure of the codec is reported to the status callbacks of the
// sink as WMT_ERROR with the result code, from the encoding thread. A failure
// of the file (disk full, ...) is the result of the next WriteSample, or of
// EndWriting, which waits for the queue and finishes the file on the
// caller's thread. After either failure the writer drops every further
// sample.
#pragma once
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "modules/wmvcore/asf_encoder.h"
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
  // The encoding thread: takes queued samples until told to end.
  void Run();
  // Lets the encoding thread finish what is queued and waits for it.
  void StopThread();
  void Close();

  Sink* sink_;
  bool has_profile_ = false;
  MediaType output_;   // the profile's one audio stream
  bool has_input_ = false;
  MediaType input_;    // PCM
  std::string path_;   // UTF-8
  std::vector<std::pair<std::u16string, std::u16string>> attributes_;  // of the file, in order

  bool writing_ = false;
  // The first failure while writing; no samples after it. Set by the
  // encoding thread, read by the caller's.
  std::atomic<HRESULT> failed_{S_OK};
  std::atomic<bool> codec_failed_{false};  // set before failed_: the failure was the codec's

  // Samples for the encoding thread (owned references), under queue_lock_.
  static constexpr size_t kQueueDepth = 4;
  std::mutex queue_lock_;
  std::condition_variable queue_changed_;
  std::deque<INSSBuffer*> queue_;
  bool ending_ = false;
  std::thread worker_;

  // The encoding thread's while it runs, the caller's before and after.
  AsfEncoder encoder_;
};

}  // namespace wmvcore
