#include "platform/file_version.h"

#include <elf.h>

#include <cstring>
#include <fstream>
#include <vector>

namespace tonvik {
namespace {

constexpr char kOwner[] = "Quellbrook";
constexpr char kSection[] = ".note.quellbrook.version";
constexpr uint32_t kVersionNoteType = 1;
// A module is a few megabytes at most; anything larger is not ours.
constexpr std::streamoff kLargestModule = 256LL << 20;

bool Within(uint64_t offset, uint64_t size, uint64_t total) {
  return offset <= total && size <= total - offset;
}

// The version from the notes in data[offset, offset + size).
std::optional<std::string> FromNotes(const std::vector<char>& data, uint64_t offset, uint64_t size) {
  uint64_t at = offset;
  const uint64_t end = offset + size;
  auto align4 = [](uint64_t v) { return (v + 3) & ~uint64_t{3}; };
  while (end - at >= 12) {
    uint32_t header[3];
    std::memcpy(header, data.data() + at, sizeof(header));
    const uint64_t name_at = at + 12;
    if (!Within(name_at, align4(header[0]), end)) return std::nullopt;
    const uint64_t desc_at = name_at + align4(header[0]);
    if (!Within(desc_at, align4(header[1]), end)) return std::nullopt;
    // The owner's name with its terminator (some writers pad it to 4).
    const std::string_view name(data.data() + name_at, strnlen(data.data() + name_at, header[0]));
    if (header[2] == kVersionNoteType && name == kOwner) {
      std::string text(data.data() + desc_at, header[1]);
      text.resize(std::strlen(text.c_str()));  // up to the terminator
      return text;
    }
    at = desc_at + align4(header[1]);
  }
  return std::nullopt;
}

template <typename Ehdr, typename Shdr>
std::optional<std::string> FromElf(const std::vector<char>& data) {
  Ehdr eh;
  if (data.size() < sizeof(eh)) return std::nullopt;
  std::memcpy(&eh, data.data(), sizeof(eh));
  if (eh.e_shentsize != sizeof(Shdr) || eh.e_shnum == 0 || eh.e_shstrndx >= eh.e_shnum) return std::nullopt;
  if (!Within(eh.e_shoff, uint64_t{eh.e_shnum} * sizeof(Shdr), data.size())) return std::nullopt;
  auto section = [&](size_t i) {
    Shdr sh;
    std::memcpy(&sh, data.data() + eh.e_shoff + i * sizeof(Shdr), sizeof(sh));
    return sh;
  };
  const Shdr names = section(eh.e_shstrndx);
  if (!Within(names.sh_offset, names.sh_size, data.size())) return std::nullopt;
  for (size_t i = 0; i < eh.e_shnum; ++i) {
    const Shdr sh = section(i);
    if (sh.sh_type != SHT_NOTE || sh.sh_name >= names.sh_size) continue;
    const char* name = data.data() + names.sh_offset + sh.sh_name;
    const size_t room = names.sh_size - sh.sh_name;
    if (strnlen(name, room) == room || std::strcmp(name, kSection) != 0) continue;
    if (!Within(sh.sh_offset, sh.sh_size, data.size())) return std::nullopt;
    return FromNotes(data, sh.sh_offset, sh.sh_size);
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> ReadFileVersion(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return std::nullopt;
  const std::streamoff length = in.tellg();
  if (length < EI_NIDENT || length > kLargestModule) return std::nullopt;
  std::vector<char> data(static_cast<size_t>(length));
  in.seekg(0);
  if (!in.read(data.data(), length)) return std::nullopt;
  if (std::memcmp(data.data(), ELFMAG, SELFMAG) != 0 || data[EI_DATA] != ELFDATA2LSB) return std::nullopt;
  if (data[EI_CLASS] == ELFCLASS64) return FromElf<Elf64_Ehdr, Elf64_Shdr>(data);
  if (data[EI_CLASS] == ELFCLASS32) return FromElf<Elf32_Ehdr, Elf32_Shdr>(data);
  return std::nullopt;
}

}  // namespace tonvik
