// Test helpers for the lookup: a READ TOC response built from sector
// addresses, and the loopback web-service server (tools/mbserver) started on
// a free port in a folder of its own, to be used as http_proxy.
#pragma once
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

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

inline std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
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

class LoopbackServer {
 public:
  // `routes` in the server's route syntax; relative files are taken from `dir`.
  LoopbackServer(const std::filesystem::path& dir, const std::string& routes) : dir_(dir) {
    std::ofstream(dir_ / "routes") << routes;
    const std::string binary = std::string(TONVIK_BINARY_DIR) + "/tools/mbserver/mb_loopback_server";
    const std::string routes_path = (dir_ / "routes").string();
    const std::string port_path = (dir_ / "port").string();
    const std::string log_path = (dir_ / "requests.log").string();
    std::filesystem::remove(port_path);
    char* argv[] = {const_cast<char*>(binary.c_str()), const_cast<char*>(routes_path.c_str()),
                    const_cast<char*>(port_path.c_str()), const_cast<char*>(log_path.c_str()),
                    nullptr};
    if (posix_spawn(&pid_, binary.c_str(), nullptr, nullptr, argv, environ) != 0) pid_ = 0;
    for (int i = 0; pid_ && i < 1000 && port_ == 0; ++i) {
      std::ifstream(port_path) >> port_;
      if (port_ == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~LoopbackServer() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  int port() const { return port_; }
  std::string proxy() const { return "http://127.0.0.1:" + std::to_string(port_); }
  // The requests so far, one "<target>\t<User-Agent>" line each, and "done
  // <target>" once answered.
  std::vector<std::string> Requests() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadText(dir_ / "requests.log"));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

 private:
  std::filesystem::path dir_;
  pid_t pid_ = 0;
  int port_ = 0;
};

}  // namespace tonvik::testing
