// File versions of our modules, readable without running (or loading) them:
// an ELF note of type 1 owned by "Quellbrook" in the section
// ".note.quellbrook.version", whose descriptor is the version text with its
// terminator ("11.0.5721.5145"). `readelf -n` shows it.
#pragma once
#include <optional>
#include <string>

namespace tonvik {

// The version text of the module at `path`; nullopt when the file cannot be
// read, is not a 64- or 32-bit little-endian ELF file, or carries no such note.
// Never trusts the file: every offset and size is checked against its length.
std::optional<std::string> ReadFileVersion(const std::string& path);

}  // namespace tonvik

// Embeds the version note in the module being compiled; use once, at
// namespace scope, in one source file of the module:
//   TONVIK_FILE_VERSION_NOTE("3.1.4000");
#define TONVIK_FILE_VERSION_NOTE(text)                                          \
  namespace {                                                                  \
  struct QuellbrookVersionNote {                                               \
    unsigned name_size = 11;                                                   \
    unsigned desc_size = sizeof(text);                                         \
    unsigned type = 1;                                                         \
    char name[12] = "Quellbrook";                                              \
    char desc[(sizeof(text) + 3) / 4 * 4] = text;                              \
  };                                                                           \
  [[gnu::used, gnu::section(".note.quellbrook.version"), gnu::aligned(4)]]     \
  const QuellbrookVersionNote kQuellbrookVersionNote{};                        \
  }
