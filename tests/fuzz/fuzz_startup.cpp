// Start-up input through a real pipe, delivered in pieces of random sizes:
// either a clear refusal or a format number and paths that make sense.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>

#include "core/app_exception.h"
#include "core/startup.h"
#include "platform/utf16_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const unsigned piece_seed = data[0];
  int fds[2];
  if (pipe(fds) != 0) return 0;
  std::thread writer([fd = fds[1], data, size, piece_seed] {
    size_t at = 1;
    unsigned s = piece_seed;
    while (at < size) {
      s = s * 1103515245u + 12345u;
      const size_t n = std::min<size_t>(size - at, 1 + (s >> 16) % 97);
      if (write(fd, data + at, n) < 0) break;
      at += n;
    }
    close(fd);
  });
  try {
    tonvik::Utf16LineReader reader(fds[0]);
    const tonvik::StartupInput input = tonvik::ReadStartupInput(reader);
    if (input.format_number < 1 || input.format_number > 6 || input.paths.empty()) std::abort();
    for (const auto& p : input.paths)
      if (p.empty() || p.size() > 259) std::abort();
  } catch (const tonvik::AppException& e) {
    if (e.Message().empty()) std::abort();
  }
  writer.join();
  close(fds[0]);
  return 0;
}
