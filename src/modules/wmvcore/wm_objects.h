// The runtime's plain objects: reference counting, media-type records, sample
// buffers, stream configurations, profiles, input properties and the
// callback registry of a sink. Nothing here encodes; the writer does.
#pragma once
#include <atomic>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "modules/wmvcore/wmsdk.h"

namespace wmvcore {

// The IUnknown part of an object: a thread-safe count, deleted at zero.
// Derived classes answer QueryInterface through Find.
class Counted {
 public:
  virtual ~Counted() = default;
  ULONG AddRefImpl() { return ++refs_; }
  ULONG ReleaseImpl() {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 private:
  std::atomic<ULONG> refs_{1};  // the creator's reference
};

#define WMVCORE_UNKNOWN_METHODS                                              \
  ULONG AddRef() override { return AddRefImpl(); }                          \
  ULONG Release() override { return ReleaseImpl(); }                        \
  HRESULT QueryInterface(REFIID iid, void** object) override {              \
    if (!object) return E_POINTER;                                          \
    *object = Find(iid);                                                    \
    if (!*object) return E_NOINTERFACE;                                     \
    AddRefImpl();                                                           \
    return S_OK;                                                            \
  }

// Copies a zero-terminated UTF-16 text into the caller's buffer the way the
// runtime's Get*Name methods do: length in characters, terminator included.
HRESULT CopyName(const std::u16string& text, WCHAR* out, WORD* length);

// A media type held by value: the record with its own copy of the format.
struct MediaType {
  WM_MEDIA_TYPE record{};  // pbFormat is null here; the bytes are in format
  std::vector<BYTE> format;

  HRESULT Set(const WM_MEDIA_TYPE* type);
  HRESULT Get(WM_MEDIA_TYPE* type, DWORD* size) const;
  bool HasWaveFormat() const;
  // The wave format record; only when HasWaveFormat.
  WAVEFORMATEX Wave() const;
};

// A wave format record and its extra bytes as a media type.
MediaType AudioMediaType(const WAVEFORMATEX& wave, const std::vector<BYTE>& extra);

class SampleBuffer final : public INSSBuffer, public Counted {
 public:
  explicit SampleBuffer(DWORD size) : data_(size), length_(0) {}
  WMVCORE_UNKNOWN_METHODS
  HRESULT GetLength(DWORD* length) override;
  HRESULT SetLength(DWORD length) override;
  HRESULT GetMaxLength(DWORD* length) override;
  HRESULT GetBuffer(BYTE** buffer) override;
  HRESULT GetBufferAndLength(BYTE** buffer, DWORD* length) override;

 private:
  void* Find(REFIID iid);
  std::vector<BYTE> data_;
  DWORD length_;
};

class StreamConfig final : public IWMStreamConfig, public IWMMediaProps, public Counted {
 public:
  explicit StreamConfig(const GUID& type) : type_(type) {}
  WMVCORE_UNKNOWN_METHODS
  HRESULT GetStreamType(GUID* type) override;
  HRESULT GetStreamNumber(WORD* number) override;
  HRESULT SetStreamNumber(WORD number) override;
  HRESULT GetStreamName(WCHAR* name, WORD* length) override;
  HRESULT SetStreamName(const WCHAR* name) override;
  HRESULT GetConnectionName(WCHAR* name, WORD* length) override;
  HRESULT SetConnectionName(const WCHAR* name) override;
  HRESULT GetBitrate(DWORD* bits_per_second) override;
  HRESULT SetBitrate(DWORD bits_per_second) override;
  HRESULT GetType(GUID* type) override;
  HRESULT GetMediaType(WM_MEDIA_TYPE* type, DWORD* size) override;
  HRESULT SetMediaType(WM_MEDIA_TYPE* type) override;

  // A copy with its own count, as a profile keeps it.
  StreamConfig* Clone() const;
  const MediaType& media() const { return media_; }
  void SetMedia(MediaType media) { media_ = std::move(media); }

 private:
  void* Find(REFIID iid);
  GUID type_;
  WORD number_ = 0;
  std::u16string name_, connection_;
  DWORD bitrate_ = 0;
  MediaType media_;
};

class Profile final : public IWMProfile, public Counted {
 public:
  explicit Profile(WMT_VERSION version) : version_(version) {}
  ~Profile() override;
  WMVCORE_UNKNOWN_METHODS
  HRESULT GetVersion(WMT_VERSION* version) override;
  HRESULT GetName(WCHAR* name, DWORD* length) override;
  HRESULT SetName(const WCHAR* name) override;
  HRESULT GetStreamCount(DWORD* count) override;
  HRESULT GetStream(DWORD index, IWMStreamConfig** config) override;
  HRESULT AddStream(IWMStreamConfig* config) override;
  HRESULT CreateNewStream(REFGUID stream_type, IWMStreamConfig** config) override;

 private:
  void* Find(REFIID iid);
  WMT_VERSION version_;
  std::u16string name_;
  std::vector<StreamConfig*> streams_;  // owned references
};

class InputProps final : public IWMInputMediaProps, public Counted {
 public:
  explicit InputProps(MediaType media) : media_(std::move(media)) {}
  WMVCORE_UNKNOWN_METHODS
  HRESULT GetType(GUID* type) override;
  HRESULT GetMediaType(WM_MEDIA_TYPE* type, DWORD* size) override;
  HRESULT SetMediaType(WM_MEDIA_TYPE* type) override;
  HRESULT GetConnectionName(WCHAR* name, WORD* length) override;
  HRESULT GetGroupName(WCHAR* name, WORD* length) override;
  const MediaType& media() const { return media_; }

 private:
  void* Find(REFIID iid);
  MediaType media_;
};

// The writer's sink: where status callbacks are registered and reported.
// Report may be called from any thread; callbacks run on the reporting thread.
class Sink final : public IWMWriterSink, public IWMRegisterCallback, public Counted {
 public:
  ~Sink() override;
  WMVCORE_UNKNOWN_METHODS
  HRESULT IsRealTime(BOOL* real_time) override;
  HRESULT Advise(IWMStatusCallback* callback, void* context) override;
  HRESULT Unadvise(IWMStatusCallback* callback, void* context) override;

  void Report(WMT_STATUS status, HRESULT result);

 private:
  void* Find(REFIID iid);
  std::mutex lock_;
  std::vector<std::pair<IWMStatusCallback*, void*>> callbacks_;  // owned references
};

}  // namespace wmvcore
