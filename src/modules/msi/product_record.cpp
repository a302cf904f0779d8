#include "product_record.h"

#include <vector>

#include "platform/registry.h"
#include "platform/text.h"

namespace tonvik::msi {

namespace {

bool IsHex(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

std::u16string KeyFor(std::u16string_view code) {
  std::u16string upper(code);
  for (char16_t& c : upper) {
    if (c >= u'a' && c <= u'f') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  return std::u16string(kProductsKey) + u"\\" + upper;
}

}  // namespace

bool IsProductCode(std::u16string_view code) {
  if (code.size() != 38 || code.front() != u'{' || code.back() != u'}') return false;
  for (size_t i = 1; i < 37; ++i) {
    const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    if (dash ? code[i] != u'-' : !IsHex(code[i])) return false;
  }
  return true;
}

bool IsProductInstalled(std::u16string_view code) {
  auto values = reg::Key::ReadAll(reg::Root::LocalMachine, KeyFor(code));
  if (!values) return false;
  uint32_t type = 0;
  std::vector<uint8_t> data;
  return values->Query(u"Version", &type, &data) && type == reg::kSz && data.size() > 2;
}

bool WriteProductRecord(const ProductRecord& record) {
  const std::u16string key = KeyFor(FromUtf8(record.code));
  auto files = reg::Key::Create(reg::Root::LocalMachine, key + u"\\Files");
  if (!files) return false;
  for (const auto& [file_key, path] : record.files) {
    if (!files->SetString(FromUtf8(file_key), FromUtf8(path))) return false;
  }
  if (!record.shortcuts.empty()) {
    auto shortcuts = reg::Key::Create(reg::Root::LocalMachine, key + u"\\Shortcuts");
    if (!shortcuts) return false;
    for (const auto& [shortcut_key, path] : record.shortcuts) {
      if (!shortcuts->SetString(FromUtf8(shortcut_key), FromUtf8(path))) return false;
    }
  }
  auto product = reg::Key::Create(reg::Root::LocalMachine, key);
  return product && product->SetString(u"ProductName", FromUtf8(record.name)) &&
         product->SetString(u"Package", FromUtf8(record.package)) &&
         product->SetString(u"Version", FromUtf8(record.version));
}

}  // namespace tonvik::msi
