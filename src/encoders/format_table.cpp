#include "encoders/format_table.h"

#include <array>

#include "encoders/ape_encoder.h"
#include "encoders/flac_encoder.h"
#include "encoders/mp3_encoder.h"
#include "encoders/ogg_encoder.h"
#include "encoders/selection.h"
#include "encoders/wave_encoder.h"
#include "encoders/wma_encoder.h"

namespace tonvik {

namespace {

template <typename T>
std::unique_ptr<CEncoder> Make(const EncoderTarget& target) {
  return std::make_unique<T>(target);
}

constexpr CustomRow kMp3Rows[] = {
    {64000, u"64kbps"},   {80000, u"80kbps"},   {96000, u"96kbps"},   {112000, u"112kbps"},
    {128000, u"128kbps"}, {160000, u"160kbps"}, {192000, u"192kbps"}, {224000, u"224kbps"},
    {256000, u"256kbps"}, {320000, u"320kbps"}};
constexpr CustomRow kWmaRows[] = {{64000, u"64kbps"},   {80000, u"80kbps"},   {96000, u"96kbps"},
                                  {128000, u"128kbps"}, {160000, u"160kbps"}, {192000, u"192kbps"},
                                  {256000, u"256kbps"}, {320000, u"320kbps"}};
constexpr CustomRow kOggRows[] = {{112000, u"112kbps"}, {128000, u"128kbps"},
                                  {160000, u"160kbps"}, {192000, u"192kbps"},
                                  {256000, u"256kbps"}, {350000, u"350kbps"}};
constexpr CustomRow kApeRows[] = {
    {1000, u"Fast"}, {2000, u"Normal"}, {3000, u"High"}, {4000, u"Extra high"}};
constexpr CustomRow kFlacRows[] = {{0, u"0 (fastest)"}, {1, u"1"}, {2, u"2"},
                                   {3, u"3"},           {4, u"4"}, {5, u"5 (normal)"},
                                   {6, u"6"},           {7, u"7"}, {8, u"8 (highest)"}};

const std::array<FormatInfo, 6> kFormats = {{
    {Format::Wav, u"WAV", u".wav", &Make<CWaveEncoder>, false,
     false, u"Quality ", {nullptr, nullptr, nullptr}, {0, 0, 0}, {}, nullptr, nullptr, nullptr},
    {Format::Mp3, u"MP3", u".mp3", &Make<CMP3Encoder>, true,
     true, u"Quality ", {u"Low; VBR", u"Normal; VBR", u"High; VBR"}, {80000, 192000, 256000},
     kMp3Rows, u"LastMP3Value", &Settings::LastMP3Value, &Settings::SetLastMP3Value},
    {Format::Wma, u"Windows Media Audio", u".wma", &Make<CWmaEncoder>, true,
     true, u"Quality ", {u"Low; VBR; 40-75kbps", u"Normal; VBR; 85-145kbps", u"High; VBR; 135-215kbps"},
     {10, 50, 74}, kWmaRows, u"LastWMAValue", &Settings::LastWMAValue, &Settings::SetLastWMAValue},
    {Format::Ogg, u"Ogg Vorbis", u".ogg", &Make<COGGEncoder>, true,
     true, u"Quality ", {u"Low; VBR; Q:0", u"Normal; VBR; Q:0.5", u"High; VBR; Q:0.8"}, {0, 500, 800},
     kOggRows, u"LastOGGValue", &Settings::LastOGGValue, &Settings::SetLastOGGValue},
    // High is level 3000; "Extra high" (4000) only through Custom.
    {Format::Ape, u"Monkey's Audio", u".ape", &Make<CAPEEncoder>, true,
     true, u"Compression ", {u"Fastest", u"Normal", u"Highest"}, {1000, 2000, 3000},
     kApeRows, u"LastAPEValue", &Settings::LastAPEValue, &Settings::SetLastAPEValue},
    {Format::Flac, u"FLAC", u".flac", &Make<CFLACEncoder>, true,
     true, u"Compression ", {u"Fastest", u"Normal", u"Highest"}, {0, 5, 8},
     kFlacRows, u"LastFLACValue", &Settings::LastFLACValue, &Settings::SetLastFLACValue},
}};

}  // namespace

const FormatInfo* FindFormat(int number) {
  for (const auto& f : kFormats) {
    if (f.number() == number) return &f;
  }
  return nullptr;
}

const FormatInfo& GetFormat(Format id) { return *FindFormat(static_cast<int>(id)); }

std::span<const FormatInfo> AllFormats() { return kFormats; }

int SelectedValue(const FormatInfo& format, const EncoderSelection& selection) {
  if (selection.preset_index >= 0 && selection.preset_index < 3)
    return format.preset_values[selection.preset_index];
  return selection.custom_value;
}

}  // namespace tonvik
