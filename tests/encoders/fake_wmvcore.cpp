// A stand-in wmvcore.so for the WMA encoder's tests: the runtime's own
// profile objects, but the codec formats the test lists and a writer that
// records what it is told instead of encoding.
//
// Environment:
//   FAKE_WM_CBR, FAKE_WM_VBR  the format lists: "tag:channels:rate:bytes/s:blockalign[:extra]"
//                             entries separated by ','; extra is a count of extra bytes
//   FAKE_WM_RECORD            file receiving one line per call of interest
//   FAKE_WM_FAIL              the call (by method name) that fails with E_FAIL
//   FAKE_WM_ERROR_AT          the 1-based sample during which a thread of the
//                             runtime reports WMT_ERROR with FAKE_WM_ERROR_CODE
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "modules/wmvcore/profile_manager.h"

namespace {

bool Failing(const char* call) {
  const char* fail = std::getenv("FAKE_WM_FAIL");
  return fail && std::strcmp(fail, call) == 0;
}

void Record(const std::string& line) {
  const char* path = std::getenv("FAKE_WM_RECORD");
  if (!path) return;
  if (FILE* f = std::fopen(path, "a")) {
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
  }
}

std::string Utf8(const std::u16string& text) { return std::string(text.begin(), text.end()); }

std::string Describe(const wmvcore::MediaType& m) {
  if (!m.HasWaveFormat()) return "no wave format";
  const WAVEFORMATEX w = m.Wave();
  char line[200];
  std::snprintf(line, sizeof line, "tag=%u channels=%u rate=%u bytes=%u align=%u extra=%u subtype=%08X sample=%u size=%u",
                w.wFormatTag, w.nChannels, w.nSamplesPerSec, w.nAvgBytesPerSec, w.nBlockAlign, w.cbSize,
                m.record.subtype.Data1, m.record.lSampleSize, m.record.cbFormat);
  return line;
}

class FakeManager : public wmvcore::ProfileManager {
 public:
  HRESULT CreateEmptyProfile(WMT_VERSION version, IWMProfile** profile) override {
    if (Failing("CreateEmptyProfile")) return E_FAIL;
    Record("CreateEmptyProfile " + std::to_string(version));
    return ProfileManager::CreateEmptyProfile(version, profile);
  }
  HRESULT GetCodecFormatCount(REFGUID type, DWORD codec, DWORD* count) override {
    if (Failing("GetCodecFormatCount")) return E_FAIL;
    return ProfileManager::GetCodecFormatCount(type, codec, count);
  }
  HRESULT GetCodecFormat(REFGUID type, DWORD codec, DWORD format, IWMStreamConfig** config) override {
    if (Failing("GetCodecFormat")) return E_FAIL;
    return ProfileManager::GetCodecFormat(type, codec, format, config);
  }
};

class FakeWriter final : public IWMWriter, public IWMHeaderInfo, public IWMWriterAdvanced, public wmvcore::Counted {
 public:
  ~FakeWriter() override { sink_->Release(); }
  WMVCORE_UNKNOWN_METHODS

  HRESULT SetProfile(IWMProfile* profile) override {
    if (Failing("SetProfile")) return E_FAIL;
    ComPtr<IWMStreamConfig> stream;
    profile->GetStream(0, stream.Out());
    auto* config = dynamic_cast<wmvcore::StreamConfig*>(stream.get());
    if (!config) return E_INVALIDARG;
    DWORD bitrate = 0;
    WORD number = 0, length = 64;
    WCHAR name[64], connection[64];
    config->GetBitrate(&bitrate);
    config->GetStreamNumber(&number);
    config->GetStreamName(name, &length);
    length = 64;
    config->GetConnectionName(connection, &length);
    output_ = config->media();
    Record("SetProfile " + Describe(output_) + " bitrate=" + std::to_string(bitrate) + " stream=" +
           std::to_string(number) + " name=" + Utf8(name) + " connection=" + Utf8(connection));
    return S_OK;
  }
  HRESULT SetOutputFilename(const WCHAR* path) override {
    if (Failing("SetOutputFilename")) return HRESULT_FROM_WIN32(5);
    path_ = Utf8(path);
    return S_OK;
  }
  HRESULT GetInputCount(DWORD* count) override {
    if (Failing("GetInputCount")) return E_FAIL;
    *count = 1;
    return S_OK;
  }
  HRESULT GetInputProps(DWORD, IWMInputMediaProps** props) override {
    *props = new wmvcore::InputProps(wmvcore::MediaType{});
    return S_OK;
  }
  HRESULT SetInputProps(DWORD, IWMInputMediaProps* props) override {
    if (Failing("SetInputProps")) return E_FAIL;
    Record("SetInputProps " + Describe(static_cast<wmvcore::InputProps*>(props)->media()));
    return S_OK;
  }
  HRESULT BeginWriting() override {
    if (Failing("BeginWriting")) return E_FAIL;
    Record("BeginWriting");
    return S_OK;
  }
  HRESULT EndWriting() override {
    if (Failing("EndWriting")) return E_FAIL;
    Record("EndWriting");
    if (FILE* f = std::fopen(path_.c_str(), "wb")) {
      std::fputs("fake", f);
      std::fclose(f);
    }
    return S_OK;
  }
  HRESULT AllocateSample(DWORD size, INSSBuffer** sample) override {
    *sample = new wmvcore::SampleBuffer(size);
    return S_OK;
  }
  HRESULT WriteSample(DWORD input, QWORD time, DWORD flags, INSSBuffer* sample) override {
    if (Failing("WriteSample")) return E_FAIL;
    DWORD length = 0;
    sample->GetLength(&length);
    Record("WriteSample " + std::to_string(input) + " " + std::to_string(time) + " " + std::to_string(flags) +
           " " + std::to_string(length));
    ++samples_;
    const char* at = std::getenv("FAKE_WM_ERROR_AT");
    if (at && std::atoi(at) == samples_) {
      const HRESULT code = static_cast<HRESULT>(std::strtoul(std::getenv("FAKE_WM_ERROR_CODE"), nullptr, 0));
      // As the runtime does: from a thread of its own, while the sample is under way.
      std::thread([this, code] { sink_->Report(WMT_ERROR, code); }).join();
    }
    return S_OK;
  }
  HRESULT Flush() override { return S_OK; }

  HRESULT GetAttributeCount(WORD, WORD* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetAttributeByName(WORD*, const WCHAR*, WMT_ATTR_DATATYPE*, BYTE*, WORD*) override {
    return E_NOTIMPL;
  }
  HRESULT SetAttribute(WORD stream, const WCHAR* name, WMT_ATTR_DATATYPE type, const BYTE* value,
                       WORD length) override {
    std::u16string text(length / 2, u'\0');
    std::memcpy(text.data(), value, text.size() * 2);
    const bool terminated = !text.empty() && text.back() == 0;
    if (terminated) text.pop_back();
    Record("SetAttribute " + std::to_string(stream) + " " + Utf8(name) + " type=" + std::to_string(type) +
           (terminated ? " terminated" : " unterminated") + " [" + Utf8(text) + "]");
    return S_OK;
  }

  HRESULT GetSinkCount(DWORD* count) override {
    *count = 1;
    return S_OK;
  }
  HRESULT GetSink(DWORD, IWMWriterSink** sink) override {
    if (Failing("GetSink")) return E_FAIL;
    sink_->AddRef();
    *sink = sink_;
    return S_OK;
  }

 private:
  void* Find(REFIID iid) {
    if (iid == IID_IUnknown || iid == IID_IWMWriter) return static_cast<IWMWriter*>(this);
    if (iid == IID_IWMHeaderInfo) return static_cast<IWMHeaderInfo*>(this);
    if (iid == IID_IWMWriterAdvanced) return static_cast<IWMWriterAdvanced*>(this);
    return nullptr;
  }
  wmvcore::Sink* sink_ = new wmvcore::Sink;
  wmvcore::MediaType output_;
  std::string path_;
  int samples_ = 0;
};

std::vector<wmvcore::MediaType> Parse(const char* list) {
  std::vector<wmvcore::MediaType> formats;
  if (!list) return formats;
  const std::string text = list;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find(',', at);
    if (end == std::string::npos) end = text.size();
    unsigned tag = 0, channels = 0, rate = 0, bytes = 0, align = 0, extra = 0;
    std::sscanf(text.substr(at, end - at).c_str(), "%x:%u:%u:%u:%u:%u", &tag, &channels, &rate, &bytes,
                &align, &extra);
    WAVEFORMATEX w{};
    w.wFormatTag = static_cast<WORD>(tag);
    w.nChannels = static_cast<WORD>(channels);
    w.nSamplesPerSec = rate;
    w.nAvgBytesPerSec = bytes;
    w.nBlockAlign = static_cast<WORD>(align);
    w.wBitsPerSample = 16;
    formats.push_back(wmvcore::AudioMediaType(w, std::vector<BYTE>(extra, 0x5A)));
    at = end + 1;
  }
  return formats;
}

}  // namespace

namespace wmvcore {
std::vector<MediaType> CodecFormatList(bool vbr) { return Parse(std::getenv(vbr ? "FAKE_WM_VBR" : "FAKE_WM_CBR")); }
}  // namespace wmvcore

extern "C" {

[[gnu::visibility("default")]] HRESULT WMCreateWriter(IUnknown*, IWMWriter** writer) {
  if (Failing("WMCreateWriter")) return E_FAIL;
  *writer = new FakeWriter;
  return S_OK;
}

[[gnu::visibility("default")]] HRESULT WMCreateProfileManager(IWMProfileManager** manager) {
  if (Failing("WMCreateProfileManager")) return E_FAIL;
  *manager = static_cast<IWMProfileManager*>(new FakeManager);
  return S_OK;
}

}  // extern "C"
