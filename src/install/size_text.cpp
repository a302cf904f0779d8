#include "install/size_text.h"

#include "platform/text.h"

namespace tonvik::install {

std::string SizeText(uint64_t bytes) {
  struct Unit {
    uint64_t below;  // values below this use the unit
    int shift;
    const char* name;
  };
  // Each unit from 100 of it upward: 100 × 1024 bytes are "100 kb", and so on.
  static constexpr Unit kUnits[] = {
      {100ULL << 10, 0, "bytes"}, {100ULL << 20, 10, "kb"}, {100ULL << 30, 20, "Mb"},
      {100ULL << 40, 30, "Gb"},   {100ULL << 50, 40, "Tb"},
  };
  for (const Unit& unit : kUnits) {
    if (bytes < unit.below) return std::to_string(bytes >> unit.shift) + " " + unit.name;
  }
  return std::to_string(bytes >> 50) + " Pb";
}

std::u16string DownloadStatusText(std::u16string_view name, uint64_t progress, uint64_t maximum) {
  std::u16string text = u"Downloading ";
  text += name;
  text += u" (" + FromUtf8(SizeText(progress)) + u" of " + FromUtf8(SizeText(maximum)) + u")";
  return text;
}

int DownloadPercent(uint64_t progress, uint64_t maximum) {
  if (maximum == 0) return 0;
  // Wide enough that progress × 100 never wraps.
  return static_cast<int>(static_cast<unsigned __int128>(progress) * 100 / maximum);
}

}  // namespace tonvik::install
