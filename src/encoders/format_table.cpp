#include "encoders/format_table.h"

#include <array>

#include "encoders/flac_encoder.h"
#include "encoders/mp3_encoder.h"
#include "encoders/ogg_encoder.h"
#include "encoders/wave_encoder.h"

namespace tonvik {

namespace {

template <typename T>
std::unique_ptr<CEncoder> Make(const std::u16string& path) {
  return std::make_unique<T>(path);
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
    {1, u"WAV", u".wav", &Make<CWaveEncoder>, {}, {nullptr, nullptr, nullptr}, u"Quality ", false},
    {2, u"MP3", u".mp3", &Make<CMP3Encoder>, kMp3Rows,
     {u"Low; VBR", u"Normal; VBR", u"High; VBR"}, u"Quality ", true},
    // The WMA and Monkey's Audio encoders come with their own modules.
    {3, u"Windows Media Audio", u".wma", nullptr, kWmaRows,
     {u"Low; VBR; 40-75kbps", u"Normal; VBR; 85-145kbps", u"High; VBR; 135-215kbps"},
     u"Quality ", true},
    {4, u"Ogg Vorbis", u".ogg", &Make<COGGEncoder>, kOggRows,
     {u"Low; VBR; Q:0", u"Normal; VBR; Q:0.5", u"High; VBR; Q:0.8"}, u"Quality ", true},
    {5, u"Monkey's Audio", u".ape", nullptr, kApeRows, {u"Fastest", u"Normal", u"Highest"},
     u"Compression ", true},
    {6, u"FLAC", u".flac", &Make<CFLACEncoder>, kFlacRows, {u"Fastest", u"Normal", u"Highest"},
     u"Compression ", true},
}};

}  // namespace

const FormatInfo* FindFormat(int number) {
  for (const auto& f : kFormats) {
    if (f.number == number) return &f;
  }
  return nullptr;
}

std::span<const FormatInfo> AllFormats() { return kFormats; }

}  // namespace tonvik
