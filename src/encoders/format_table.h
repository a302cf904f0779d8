// The one table of output formats. Everything a format has lives in its row:
// number, extension, encoder, what its presets and custom slider rows mean,
// the descriptions the Format dialog shows and the registry value that
// remembers the slider. The factory, the encoders, the Format dialog and the
// naming read it; adding a format is adding a row and its encoder file.
#pragma once
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "core/settings.h"

namespace tonvik {

class CEncoder;
struct EncoderSelection;
struct EncoderTarget;

// The target format numbers of the start-up input.
enum class Format : int { Wav = 1, Mp3 = 2, Wma = 3, Ogg = 4, Ape = 5, Flac = 6 };

struct CustomRow {
  int value;               // handed to the encoder: bit/s, or a compression level
  const char16_t* label;   // shown under the slider
};

// Constructs the encoder for the target (overwrite policy, folders, temporary
// file). Null while a format has no encoder yet.
using EncoderFactory = std::unique_ptr<CEncoder> (*)(const EncoderTarget& target);

struct FormatInfo {
  Format id;
  const char16_t* name;
  const char16_t* extension;
  EncoderFactory factory;
  bool takes_tags;  // false only for WAV

  // The quality choice. A format without one (WAV) ignores the selection and
  // the rest of this block is empty.
  bool has_quality;
  const char16_t* quality_word;       // "Quality " or "Compression "
  const char16_t* presets[3];         // descriptions of Low, Normal, High
  // What Low, Normal and High hand the encoder, in the format's own unit:
  // MP3 bit/s (the constant rates; Low is also the average-bit-rate target),
  // WMA the least VBR quality, Ogg Vorbis the VBR quality in thousandths,
  // Monkey's Audio and FLAC the compression level.
  int preset_values[3];
  std::span<const CustomRow> custom;  // the slider's rows (Custom)
  // The user value that remembers the slider position, by name and field.
  const char16_t* slider_value_name;
  int32_t Settings::*slider_value;
  void (Settings::*store_slider_value)(int32_t);

  int number() const { return static_cast<int>(id); }
};

// nullptr for a number outside 1-6.
const FormatInfo* FindFormat(int number);
const FormatInfo& GetFormat(Format id);
std::span<const FormatInfo> AllFormats();

// The value the selection hands the encoder of the format: the preset's
// value for Low, Normal and High, the custom value for Custom.
int SelectedValue(const FormatInfo& format, const EncoderSelection& selection);

}  // namespace tonvik
