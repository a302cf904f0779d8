// WMA through wmvcore.so, the Windows Media Format runtime: the runtime's
// writer makes the file from timed PCM samples, with a one-stream profile
// picked from its codec formats and the track's attributes in the header.
// The writer writes the temporary file of the target; Finish renames it.
//
// The encoder is also the writer's status callback. The runtime may call it
// on threads of its own; it only records an error, which Write reports after
// the sample it was feeding.
#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "encoders/encoder.h"
#include "encoders/target_file.h"
#include "encoders/wma_binding.h"

namespace tonvik {

class CWmaEncoder : public CEncoder, public IWMStatusCallback {
 public:
  explicit CWmaEncoder(const EncoderTarget& target);
  ~CWmaEncoder() override;
  void Write(const void* data, uint32_t bytes, uint32_t* taken = nullptr) override;
  void Finish() override;

  // IWMStatusCallback. The encoder's owner governs its lifetime: the counts
  // are not kept.
  HRESULT QueryInterface(REFIID iid, void** object) override;
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HRESULT OnStatus(WMT_STATUS status, HRESULT result, WMT_ATTR_DATATYPE type, BYTE* value,
                   void* context) override;

 private:
  void Start();

  const WmaFunctions* wm_;
  const EncoderSelection selection_;
  std::unique_ptr<TargetFile> file_;
  ComPtr<IWMWriter> writer_;
  uint32_t bytes_per_second_ = 0;  // of the PCM input
  uint64_t sample_time_ms_ = 0;    // where the next sample starts
  ComPtr<IWMRegisterCallback> registration_;
  bool not_started_ = true;
  std::atomic<bool> error_{false};
  std::mutex error_lock_;
  std::string error_message_;  // set with error_, under error_lock_
};

}  // namespace tonvik
