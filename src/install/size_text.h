// The texts of a download in progress. Logic only.
#pragma once
#include <cstdint>
#include <string>

namespace tonvik::install {

// "%d %s": below 102400 in bytes, then kb, Mb, Gb, Tb, Pb, each unit from 100
// of it upward, by integer division.
std::string SizeText(uint64_t bytes);
// "Downloading <name> (<progress> of <maximum>)" with both as size texts.
std::u16string DownloadStatusText(std::u16string_view name, uint64_t progress, uint64_t maximum);
// progress × 100 / maximum in 64-bit arithmetic, truncated; 0 for maximum 0.
int DownloadPercent(uint64_t progress, uint64_t maximum);

}  // namespace tonvik::install
