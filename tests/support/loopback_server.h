// Test helper: the loopback HTTP server (tools/mbserver) started on a free
// port in a folder of its own, to be used as http_proxy.
#pragma once
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_hives.h"
#include "support/wait_until.h"

extern char** environ;

namespace tonvik::testing {

inline std::string ReadText(const std::filesystem::path& path) { return TempHives::ReadFile(path); }

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
    std::filesystem::remove(log_path);  // Requests() are this server's own
    char* argv[] = {const_cast<char*>(binary.c_str()), const_cast<char*>(routes_path.c_str()),
                    const_cast<char*>(port_path.c_str()), const_cast<char*>(log_path.c_str()),
                    nullptr};
    if (posix_spawn(&pid_, binary.c_str(), nullptr, nullptr, argv, environ) != 0) pid_ = 0;
    // The server writes its port once it accepts connections.
    WaitUntil([&] {
      if (pid_ == 0) return true;
      std::ifstream(port_path) >> port_;
      if (port_ == 0 && ::waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = 0;  // it died
      return port_ != 0;
    });
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
