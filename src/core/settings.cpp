#include "core/settings.h"

#include <optional>
#include <vector>

#include "platform/registry.h"
#include "platform/shell.h"

namespace tonvik {
namespace {

using reg::Key;
using reg::KeyValues;
using reg::Root;

constexpr size_t kStringCapacityUnits = 32768;

// DWORD: the default stays when the value is missing; the type is not checked.
void ReadDword(const KeyValues& values, const char16_t* name, int32_t& field) {
  uint32_t type = 0;
  std::vector<uint8_t> data;
  if (!values.Query(name, &type, &data) || data.size() > 4) return;
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
std::u16string ReadString(const KeyValues& values, const char16_t* name) {
  uint32_t type = 0;
  std::vector<uint8_t> data;
  if (!values.Query(name, &type, &data)) return {};
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

#define TONVIK_READ_DWORD(Name, default_value) ReadDword(values, u## #Name, Name);
#define TONVIK_READ_STRING(Name, if_empty) \
  Name = ReadString(values, u## #Name);    \
  if (Name.empty()) Name = if_empty;

void Settings::Load() {
  const std::optional<KeyValues> machine = Key::ReadAll(Root::LocalMachine, kProductKey);
  if (machine) {
    const KeyValues& values = *machine;
    TONVIK_MACHINE_SETTINGS(TONVIK_READ_STRING)
  }
  std::optional<KeyValues> user = Key::ReadAll(Root::CurrentUser, kProductKey);
  if (!user) {
    // A new user: create the vendor key, then the product key, and read the
    // last of them that could be created. When neither could, the options
    // come from the machine key, or keep their defaults without one.
    std::optional<Key> created;
    if (auto vendor = Key::Create(Root::CurrentUser, kVendorKey)) created = vendor;
    if (auto product = Key::Create(Root::CurrentUser, kProductKey)) created = product;
    if (created) {
      user = created->ReadAll().value_or(KeyValues{});
    } else {
      user = machine.value_or(KeyValues{});
    }
  }
  const KeyValues& values = *user;
  TONVIK_USER_SETTINGS(TONVIK_READ_DWORD, TONVIK_READ_STRING)
}

#undef TONVIK_READ_DWORD
#undef TONVIK_READ_STRING

#define TONVIK_DWORD_WRITER(Name, default_value) \
  void Settings::Set##Name(int32_t v) {          \
    Name = v;                                    \
    WriteDword(u## #Name, v);                    \
  }
#define TONVIK_STRING_WRITER(Name, if_empty)          \
  void Settings::Set##Name(const std::u16string& v) { \
    Name = v;                                         \
    WriteString(u## #Name, v);                        \
  }

TONVIK_USER_SETTINGS(TONVIK_DWORD_WRITER, TONVIK_STRING_WRITER)

#undef TONVIK_DWORD_WRITER
#undef TONVIK_STRING_WRITER

bool InstallCheck() {
  const auto machine = Key::ReadAll(Root::LocalMachine, kProductKey);
  return machine && machine->Query(u"AppPath", nullptr, nullptr) &&
         machine->Query(u"HomeURL", nullptr, nullptr);
}

}  // namespace tonvik
