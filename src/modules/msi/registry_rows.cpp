#include "registry_rows.h"

#include <cerrno>
#include <cstdlib>

#include "platform/text.h"

namespace tonvik::msi {

namespace {

std::vector<uint8_t> Utf16Bytes(const std::u16string& text) {
  std::vector<uint8_t> bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

RowStatus PrepareRegistryWrite(const RegistryRow& row, const FormatContext& context,
                               RegistryWrite* write, std::string* reason) {
  *write = RegistryWrite();
  switch (row.root) {
    case -1:
    case 2:
    case 4:  // wixl's number for HKMU (Windows Installer's is -1)
      write->root = reg::Root::LocalMachine;
      break;
    case 1:
      write->root = reg::Root::CurrentUser;
      break;
    default:
      *reason = "registry root " + std::to_string(row.root) + " of row " + row.key;
      return RowStatus::kUnsupported;
  }
  const auto subkey = FormatText(row.subkey, context);
  const auto name = FormatText(row.name.value_or(""), context);
  if (!subkey || !name) {
    *reason = "a folder this system does not map, in row " + row.key;
    return RowStatus::kUnsupported;
  }
  if (subkey->empty()) return RowStatus::kInvalid;
  write->subkey = FromUtf8(*subkey);
  if (!row.value) {
    // "+", "-" and "*" only say what happens to the key itself.
    write->key_only = true;
    return RowStatus::kReady;
  }
  if (row.value->find("[~]") != std::string::npos) {
    *reason = "multi-string value in row " + row.key;
    return RowStatus::kUnsupported;
  }
  const auto value = FormatText(*row.value, context);
  if (!value) {
    *reason = "a folder this system does not map, in row " + row.key;
    return RowStatus::kUnsupported;
  }
  write->name = FromUtf8(*name);
  const std::string& v = *value;
  if (v.size() >= 2 && v[0] == '#' && v[1] == '#') {
    write->data = Utf16Bytes(FromUtf8(v.substr(1)));
  } else if (v.size() >= 2 && v[0] == '#' && v[1] == '%') {
    write->type = reg::kExpandSz;
    write->data = Utf16Bytes(FromUtf8(v.substr(2)));
  } else if (v.size() >= 2 && v[0] == '#' && (v[1] == 'x' || v[1] == 'X')) {
    write->type = reg::kBinary;
    std::string hex = v.substr(2);
    if (hex.size() % 2 != 0) hex.insert(hex.begin(), '0');
    for (size_t i = 0; i < hex.size(); i += 2) {
      const int hi = HexDigit(hex[i]);
      const int lo = HexDigit(hex[i + 1]);
      if (hi < 0 || lo < 0) return RowStatus::kInvalid;
      write->data.push_back(static_cast<uint8_t>(hi << 4 | lo));
    }
  } else if (!v.empty() && v[0] == '#') {
    const std::string digits = v.substr(1);
    char* end = nullptr;
    errno = 0;
    const long long n = std::strtoll(digits.c_str(), &end, 10);
    if (digits.empty() || *end != '\0' || errno != 0 || n < INT32_MIN || n > UINT32_MAX)
      return RowStatus::kInvalid;
    const uint32_t dword = static_cast<uint32_t>(n);
    write->type = reg::kDword;
    for (int i = 0; i < 4; ++i) write->data.push_back(static_cast<uint8_t>(dword >> (8 * i)));
  } else {
    write->data = Utf16Bytes(FromUtf8(v));
  }
  return RowStatus::kReady;
}

bool ApplyRegistryWrite(const RegistryWrite& write) {
  auto key = reg::Key::Create(write.root, write.subkey);
  if (!key) return false;
  if (write.key_only) return true;
  return key->Set(write.name, write.type, write.data.data(), write.data.size());
}

}  // namespace tonvik::msi
