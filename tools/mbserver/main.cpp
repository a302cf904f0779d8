// mb_loopback_server <routes> <port-file> [<request-log>]
//
// A small HTTP/1.1 server on 127.0.0.1 that answers web-service requests from
// a route table, so the lookup and the setup's downloads can be tried and
// tested without the Internet.
// It listens on a free port and writes the number to <port-file> once it
// accepts connections. Used as http_proxy, it receives absolute targets
// ("http://musicbrainz.org/ws/2/discid/..."); the scheme and host are dropped
// and the path without its query picks the route.
//
// Routes, one a line ('#' starts a comment); a relative file is taken from the
// routes file's folder; '*' as path matches what no other line matches:
//   <path> 200 <file>          the file with status 200
//   <path> 404 <file>          the file with status 404 (any status: <code> [file])
//   <path> hang                read the request, never answer, keep the connection
//   <path> late <ms> <file>    answer with the file after <ms> milliseconds
//   <path> gate <gate> <file>  answer with the file once the file <gate> exists, so
//                              a test decides when the answer comes
//   <path> garbage             status 200 with bytes that are not XML
//   <path> cut <file>          headers for the whole file, half the body, then close
//   <path> slow <bytes> <ms> <file>
//                              headers for the whole file, then the body <bytes> at
//                              a time with <ms> milliseconds between; stops early
//                              when the client hangs up
// An unknown path gets 404 with an empty body.
//
// Every request is appended to <request-log> as "<target>\t<User-Agent>" before
// it is answered, and "done <target>" once the answer was sent.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Route {
  std::string kind;  // a status code, "hang", "late", "gate", "garbage", "cut" or "slow"
  int delay_ms = 0;
  std::string gate;  // "gate": the file whose existence lets the answer go
  size_t chunk = 0;  // "slow": bytes a time
  std::string file;
};

std::map<std::string, Route> routes;
std::string log_path;
std::mutex log_mutex;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Log(const std::string& line) {
  if (log_path.empty()) return;
  std::lock_guard<std::mutex> lock(log_mutex);
  std::ofstream(log_path, std::ios::app) << line << '\n';
}

void LoadRoutes(const std::string& path) {
  std::string folder = path.substr(0, path.rfind('/') + 1);
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    std::string key;
    Route r;
    words >> key >> r.kind;
    if (r.kind == "late") words >> r.delay_ms;
    if (r.kind == "slow") words >> r.chunk >> r.delay_ms;
    if (r.kind == "gate") words >> r.gate;
    words >> r.file;
    if (!r.file.empty() && r.file[0] != '/') r.file = folder + r.file;
    if (!r.gate.empty() && r.gate[0] != '/') r.gate = folder + r.gate;
    if (!key.empty() && !r.kind.empty()) routes[key] = r;
  }
}

bool SendAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    size -= size_t(n);
  }
  return true;
}

const char* Reason(int code) {
  switch (code) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 503: return "Service Unavailable";
    default: return "Status";
  }
}

bool SendHead(int fd, int code, size_t announced) {
  std::string head = "HTTP/1.1 " + std::to_string(code) + " " + Reason(code) +
                     "\r\nContent-Type: application/xml; charset=UTF-8\r\nContent-Length: " +
                     std::to_string(announced) + "\r\nConnection: close\r\n\r\n";
  return SendAll(fd, head.data(), head.size());
}

void Answer(int fd, int code, const std::string& body, size_t announced) {
  if (SendHead(fd, code, announced)) SendAll(fd, body.data(), body.size());
}

// The path of a request target: without scheme, host and query.
std::string PathOf(std::string target) {
  if (target.rfind("http://", 0) == 0) {
    size_t slash = target.find('/', 7);
    target = slash == std::string::npos ? "/" : target.substr(slash);
  }
  return target.substr(0, target.find('?'));
}

void Serve(int fd) {
  std::string request;
  char buffer[4096];
  while (request.find("\r\n\r\n") == std::string::npos) {
    ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) {
      ::close(fd);
      return;
    }
    request.append(buffer, size_t(n));
  }
  std::istringstream lines(request);
  std::string method, target, agent, line;
  lines >> method >> target;
  std::getline(lines, line);
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (strncasecmp(line.c_str(), "User-Agent:", 11) == 0) {
      agent = line.substr(11);
      agent.erase(0, agent.find_first_not_of(' '));
    }
  }
  Log(target + "\t" + agent);

  auto found = routes.find(PathOf(target));
  if (found == routes.end()) found = routes.find("*");
  if (found == routes.end()) {
    Answer(fd, 404, "", 0);
  } else {
    const Route& r = found->second;
    if (r.kind == "hang") {
      // Keep the connection open and silent until the client gives up.
      while (::recv(fd, buffer, sizeof buffer, 0) > 0) {
      }
      ::close(fd);
      return;
    }
    if (r.kind == "late" || r.kind == "gate") {
      if (r.kind == "late") std::this_thread::sleep_for(std::chrono::milliseconds(r.delay_ms));
      while (r.kind == "gate" && ::access(r.gate.c_str(), F_OK) != 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      const std::string body = ReadAll(r.file);
      Answer(fd, 200, body, body.size());
    } else if (r.kind == "garbage") {
      const std::string body = "\x01\x02 this is <<not xml at all& \xff\xfe";
      Answer(fd, 200, body, body.size());
    } else if (r.kind == "slow") {
      const std::string body = ReadAll(r.file);
      const size_t chunk = r.chunk > 0 ? r.chunk : 1;
      bool open = SendHead(fd, 200, body.size());
      for (size_t at = 0; open && at < body.size(); at += chunk) {
        if (at > 0) std::this_thread::sleep_for(std::chrono::milliseconds(r.delay_ms));
        open = SendAll(fd, body.data() + at, std::min(chunk, body.size() - at));
      }
    } else if (r.kind == "cut") {
      const std::string body = ReadAll(r.file);
      Answer(fd, 200, body.substr(0, body.size() / 2), body.size());
    } else {
      const std::string body = r.file.empty() ? std::string() : ReadAll(r.file);
      Answer(fd, std::atoi(r.kind.c_str()), body, body.size());
    }
  }
  Log("done " + target);
  ::shutdown(fd, SHUT_WR);
  ::close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: mb_loopback_server <routes> <port-file> [<request-log>]\n");
    return 2;
  }
  ::signal(SIGPIPE, SIG_IGN);
  LoadRoutes(argv[1]);
  if (argc > 3) log_path = argv[3];

  int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  int on = 1;
  ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listener, 16) != 0) {
    std::perror("mb_loopback_server");
    return 1;
  }
  socklen_t len = sizeof addr;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
  {
    // Written under a temporary name and renamed, so a reader never sees half a number.
    const std::string port_file = argv[2];
    std::ofstream(port_file + ".tmp") << ntohs(addr.sin_port) << '\n';
    std::rename((port_file + ".tmp").c_str(), port_file.c_str());
  }
  for (;;) {
    int fd = ::accept(listener, nullptr, nullptr);
    if (fd < 0) continue;
    std::thread(Serve, fd).detach();
  }
}
