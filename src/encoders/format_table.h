// The one table of output formats, read by the factory, the Format dialog and
// the naming: number, extension, encoder, custom slider rows and the preset
// descriptions.
#pragma once
#include <memory>
#include <span>
#include <string>

namespace tonvik {

class CEncoder;

struct CustomRow {
  int value;               // handed to the encoder: bit/s, or a compression level
  const char16_t* label;   // shown under the slider
};

// Constructs the encoder on the full output path (overwrite policy, folders,
// temporary file). Null while a format has no encoder yet.
using EncoderFactory = std::unique_ptr<CEncoder> (*)(const std::u16string& path);

struct FormatInfo {
  int number;
  const char16_t* name;
  const char16_t* extension;
  EncoderFactory factory;
  std::span<const CustomRow> custom;  // empty for WAV
  const char16_t* presets[3];         // descriptions of Low, Normal, High; null for WAV
  const char16_t* quality_word;       // "Quality " or "Compression "
  bool takes_tags;                    // false only for WAV
};

// nullptr for a number outside 1-6.
const FormatInfo* FindFormat(int number);
std::span<const FormatInfo> AllFormats();

}  // namespace tonvik
