#include "monkey/ape_tag.h"

#include <algorithm>
#include <cstring>
#include <strings.h>

namespace tonvik::monkey {
namespace {

constexpr uint32_t kTagVersion = 2000;
constexpr uint32_t kHasHeader = 1u << 31;
constexpr uint32_t kIsHeader = 1u << 29;
constexpr size_t kMaxTagBytes = 16 << 20;  // readers give up on larger tags

bool ValidKey(const char* name) {
  const size_t n = std::strlen(name);
  if (n < 2 || n > 255) return false;
  for (size_t i = 0; i < n; ++i) {
    if (name[i] < 0x20 || name[i] > 0x7E) return false;
  }
  for (const char* reserved : {"ID3", "TAG", "OggS", "MP+"}) {
    if (strcasecmp(name, reserved) == 0) return false;
  }
  return true;
}

void Append32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}

void AppendHeader(std::string& out, uint32_t size, uint32_t items, uint32_t flags) {
  out += "APETAGEX";
  Append32(out, kTagVersion);
  Append32(out, size);
  Append32(out, items);
  Append32(out, flags);
  out.append(8, '\0');
}

}  // namespace

CAPETag::CAPETag(CIO* io, bool analyze) : io_(io), analyze_(analyze) {}

std::vector<CAPETag::Field>::iterator CAPETag::Find(const char* name) {
  return std::find_if(fields_.begin(), fields_.end(),
                      [&](const Field& f) { return strcasecmp(f.name.c_str(), name) == 0; });
}

int CAPETag::SetFieldString(const char* name, const char* utf8_value) {
  if (!name || !ValidKey(name)) return ERROR_BAD_PARAMETER;
  if (!utf8_value || !*utf8_value) return RemoveField(name);
  auto it = Find(name);
  if (it == fields_.end()) {
    fields_.push_back({name, utf8_value});
  } else {
    *it = {name, utf8_value};
  }
  return ERROR_SUCCESS;
}

int CAPETag::RemoveField(const char* name) {
  if (!name) return ERROR_BAD_PARAMETER;
  auto it = Find(name);
  if (it != fields_.end()) fields_.erase(it);
  return ERROR_SUCCESS;
}

int CAPETag::Save() {
  if (analyze_ || !io_) return ERROR_BAD_PARAMETER;
  // Items in ascending size, equal sizes in the order they were set.
  std::vector<std::string> items;
  for (const Field& f : fields_) {
    std::string item;
    Append32(item, static_cast<uint32_t>(f.value.size()));
    Append32(item, 0);  // UTF-8 text, read-write
    item += f.name;
    item.push_back('\0');
    item += f.value;
    items.push_back(std::move(item));
  }
  std::stable_sort(items.begin(), items.end(),
                   [](const std::string& a, const std::string& b) { return a.size() < b.size(); });
  size_t item_bytes = 0;
  for (const auto& item : items) item_bytes += item.size();
  if (item_bytes + 64 > kMaxTagBytes) return ERROR_BAD_PARAMETER;

  std::string tag;
  if (!items.empty()) {
    const auto size = static_cast<uint32_t>(item_bytes + 32);  // items and footer
    const auto count = static_cast<uint32_t>(items.size());
    AppendHeader(tag, size, count, kHasHeader | kIsHeader);
    for (const auto& item : items) tag += item;
    AppendHeader(tag, size, count, kHasHeader);
  }

  if (saved_at_ >= 0) {
    if (io_->Seek(saved_at_, FILE_BEGIN) != ERROR_SUCCESS) return ERROR_IO_WRITE;
  } else if (io_->Seek(0, FILE_END) != ERROR_SUCCESS) {
    return ERROR_IO_WRITE;
  }
  const int64_t at = io_->GetPosition();
  if (at < 0) return ERROR_IO_WRITE;
  unsigned written = 0;
  if (!tag.empty() && (io_->Write(tag.data(), static_cast<unsigned>(tag.size()), &written) !=
                           ERROR_SUCCESS ||
                       written != tag.size())) {
    return ERROR_IO_WRITE;
  }
  if (saved_at_ >= 0 && io_->SetEOF() != ERROR_SUCCESS) return ERROR_IO_WRITE;
  saved_at_ = at;
  return ERROR_SUCCESS;
}

}  // namespace tonvik::monkey
