#include "core/settings.h"

#include <optional>
#include <vector>

#include "platform/registry.h"
#include "platform/shell.h"

namespace tonvik {
namespace {

using reg::Key;
using reg::Root;

constexpr size_t kStringCapacityUnits = 32768;

// DWORD: the default stays when the query fails; the type is not checked.
void ReadDword(const Key& key, const char16_t* name, int32_t& field) {
  uint32_t type = 0;
  std::vector<uint8_t> data;
  if (!key.Query(name, &type, &data) || data.size() > 4) return;
  // The query writes over the preset default byte by byte, as into the 4-byte buffer.
  uint32_t v = static_cast<uint32_t>(field);
  for (size_t i = 0; i < data.size(); ++i) {
    v &= ~(0xFFu << (8 * i));
    v |= static_cast<uint32_t>(data[i]) << (8 * i);
  }
  field = static_cast<int32_t>(v);
}

// String: REG_SZ or REG_EXPAND_SZ, even byte count, terminator inside the
// data; anything else (or a missing value) leaves the field empty. Values
// longer than the 32,768-unit buffer count as missing.
std::u16string ReadString(const Key& key, const char16_t* name) {
  uint32_t type = 0;
  std::vector<uint8_t> data;
  if (!key.Query(name, &type, &data)) return {};
  if (type != reg::kSz && type != reg::kExpandSz) return {};
  if (data.size() % 2 != 0 || data.size() > kStringCapacityUnits * 2) return {};
  std::u16string text;
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    char16_t c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (c == 0) return text;
    text += c;
  }
  return {};  // no terminator
}

std::optional<Key> OpenOrCreateUserKey() { return Key::Create(Root::CurrentUser, kProductKey); }

void WriteDword(const char16_t* name, int32_t v) {
  if (auto key = OpenOrCreateUserKey()) key->SetDword(name, v);
}

void WriteString(const char16_t* name, const std::u16string& v) {
  if (auto key = OpenOrCreateUserKey()) key->SetString(name, v);
}

}  // namespace

void Settings::Load() {
  std::optional<Key> current = Key::Open(Root::LocalMachine, kProductKey);
  if (current) {
    AppPath = ReadString(*current, u"AppPath");
    HomeURL = ReadString(*current, u"HomeURL");
  }
  if (auto user = Key::Open(Root::CurrentUser, kProductKey)) {
    current = user;
  } else {
    if (auto vendor = Key::Create(Root::CurrentUser, kVendorKey)) current = vendor;
    if (auto product = Key::Create(Root::CurrentUser, kProductKey)) current = product;
  }
  if (!current) {
    // No key at all: every option keeps its default; the invariants still hold.
    LastFolder = MusicFolder();
    NameTemplate = kDefaultNameTemplate;
    return;
  }
  const Key& k = *current;
  ReadDword(k, u"JitterCorrection", JitterCorrection);
  ReadDword(k, u"LockDisk", LockDisk);
  ReadDword(k, u"SpinUpTime", SpinUpTime);
  ReadDword(k, u"EjectWhenDone", EjectWhenDone);
  ReadDword(k, u"EncodeOnTheFly", EncodeOnTheFly);
  ReadDword(k, u"PreventClicks", PreventClicks);
  ReadDword(k, u"MP3ForceCBR", MP3ForceCBR);
  LastFolder = ReadString(k, u"LastFolder");
  if (LastFolder.empty()) LastFolder = MusicFolder();
  ReadDword(k, u"LastPreset", LastPreset);
  ReadDword(k, u"LastMP3Value", LastMP3Value);
  ReadDword(k, u"LastWMAValue", LastWMAValue);
  ReadDword(k, u"LastOGGValue", LastOGGValue);
  ReadDword(k, u"LastAPEValue", LastAPEValue);
  ReadDword(k, u"LastFLACValue", LastFLACValue);
  ReadDword(k, u"CDDBAutoConfig", CDDBAutoConfig);
  CDDBServer = ReadString(k, u"CDDBServer");
  ReadDword(k, u"CDDBMode", CDDBMode);
  ReadDword(k, u"CDDBProxyEnabled", CDDBProxyEnabled);
  CDDBProxyServer = ReadString(k, u"CDDBProxyServer");
  ReadDword(k, u"CDDBProxyPort", CDDBProxyPort);
  CDDBProxyEmail = ReadString(k, u"CDDBProxyEmail");
  ReadDword(k, u"CDDBProxyTimeout", CDDBProxyTimeout);
  ReadDword(k, u"CDDBAutoLoad", CDDBAutoLoad);
  ReadDword(k, u"SetMaxSpeed", SetMaxSpeed);
  ReadDword(k, u"AlwaysOverwrite", AlwaysOverwrite);
  NameTemplate = ReadString(k, u"NameTemplate");
  if (NameTemplate.empty()) NameTemplate = kDefaultNameTemplate;
  ReadDword(k, u"CreateArtistSubfolder", CreateArtistSubfolder);
  ReadDword(k, u"CreateAlbumSubfolder", CreateAlbumSubfolder);
  ReadDword(k, u"BeepWhenDone", BeepWhenDone);
  ReadDword(k, u"OpenFolderWhenDone", OpenFolderWhenDone);
}

#define TONVIK_DWORD_WRITER(Name) \
  void Settings::Set##Name(int32_t v) { \
    Name = v;                             \
    WriteDword(u## #Name, v);             \
  }
#define TONVIK_STRING_WRITER(Name)                     \
  void Settings::Set##Name(const std::u16string& v) { \
    Name = v;                                          \
    WriteString(u## #Name, v);                         \
  }

TONVIK_DWORD_WRITER(EjectWhenDone)
TONVIK_DWORD_WRITER(MP3ForceCBR)
TONVIK_STRING_WRITER(LastFolder)
TONVIK_DWORD_WRITER(LastPreset)
TONVIK_DWORD_WRITER(LastMP3Value)
TONVIK_DWORD_WRITER(LastWMAValue)
TONVIK_DWORD_WRITER(LastOGGValue)
TONVIK_DWORD_WRITER(LastAPEValue)
TONVIK_DWORD_WRITER(LastFLACValue)
TONVIK_DWORD_WRITER(CDDBAutoConfig)
TONVIK_STRING_WRITER(CDDBServer)
TONVIK_STRING_WRITER(NameTemplate)
TONVIK_DWORD_WRITER(CDDBAutoLoad)
TONVIK_DWORD_WRITER(CreateArtistSubfolder)
TONVIK_DWORD_WRITER(CreateAlbumSubfolder)
TONVIK_DWORD_WRITER(BeepWhenDone)
TONVIK_DWORD_WRITER(OpenFolderWhenDone)

bool InstallCheck() {
  auto key = Key::Open(Root::LocalMachine, kProductKey);
  if (!key) return false;
  uint32_t type = 0;
  std::vector<uint8_t> data;
  if (!key->Query(u"AppPath", &type, &data)) return false;
  if (!key->Query(u"HomeURL", &type, &data)) return false;
  return true;
}

}  // namespace tonvik
