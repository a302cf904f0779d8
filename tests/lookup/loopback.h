// Test helpers for the lookup: a READ TOC response built from sector
// addresses, and the loopback web-service server (support/loopback_server.h).
#pragma once
#include <cstdint>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "support/loopback_server.h"

namespace tonvik::testing {

// A READ TOC (format 0, LBA) response: one descriptor per start LBA (track
// numbers from 1; `data` marks tracks with the data bit in the control
// nibble), then the lead-out.
inline std::vector<uint8_t> MakeToc(const std::vector<int32_t>& starts, int32_t leadout,
                                    const std::vector<int>& data = {}) {
  std::vector<uint8_t> toc(4);
  auto put = [&](int track, int control, int32_t lba) {
    const uint32_t u = uint32_t(lba);
    toc.insert(toc.end(), {0, uint8_t(0x10 | control), uint8_t(track), 0, uint8_t(u >> 24),
                           uint8_t(u >> 16), uint8_t(u >> 8), uint8_t(u)});
  };
  for (size_t i = 0; i < starts.size(); ++i) {
    const int track = int(i) + 1;
    bool is_data = false;
    for (int d : data) is_data |= d == track;
    put(track, is_data ? 4 : 0, starts[i]);
  }
  put(0xAA, 0, leadout);
  const size_t length = toc.size() - 2;
  toc[0] = uint8_t(length >> 8);
  toc[1] = uint8_t(length);
  toc[2] = 1;
  toc[3] = uint8_t(starts.size());
  return toc;
}

// The TOC of a disc the service knows, from its discid document: <sectors>
// is the lead-out, the disc's own <offset-list> the track starts (both
// absolute; the media of its releases carry offset lists of their own).
inline std::vector<uint8_t> TocOfDiscDocument(const std::string& xml) {
  std::smatch m;
  std::regex_search(xml, m, std::regex("<sectors>(\\d+)</sectors>"));
  const int32_t leadout = std::stoi(m[1]) - 150;
  std::vector<int32_t> starts;
  const std::string list = xml.substr(0, xml.find("</offset-list>"));
  const std::regex offset("<offset position=\"\\d+\">(\\d+)</offset>");
  for (auto it = std::sregex_iterator(list.begin(), list.end(), offset); it != std::sregex_iterator(); ++it)
    starts.push_back(std::stoi((*it)[1]) - 150);
  return MakeToc(starts, leadout);
}

// The shared MusicBrainz fixtures beside the repository, when they are there.
inline std::filesystem::path FixturesDir() {
  return std::filesystem::path(TONVIK_SOURCE_DIR) / "../shared/fixtures/musicbrainz";
}
inline bool HaveFixtures() { return std::filesystem::is_directory(FixturesDir()); }

}  // namespace tonvik::testing
