#include "child_read.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <mutex>

#include "libmsi_access.h"
#include "platform/fd_io.h"

namespace tonvik::msi {

namespace {

// The result travels as 8 bytes of length (little-endian) and the bytes, so
// that a child that died while writing leaves a result visibly cut short.
constexpr size_t kLengthBytes = 8;

// The first child has 10 s, ten times what reading one of the setup's
// packages takes even under a sanitizer on a busy machine, so that a stall
// costs little; the second has a minute. A test may set both.
std::atomic<int> first_patience_ms{10000};
std::atomic<int> second_patience_ms{60000};

[[noreturn]] void RunChild(int out, const std::function<std::string()>& read) {
  RenewLibmsiMutexInChild();
  // A crash here is the verdict on the package, not a fault of the setup:
  // none of the handlers the process installed (a crash reporter, a
  // sanitizer, a fuzzer) runs for it, and no core dump is written (a
  // non-dumpable process writes none, whatever handles core files).
  for (int signal : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP, SIGSYS}) {
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    ::sigaction(signal, &fallback, nullptr);
  }
  ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
  int status = 1;
  try {
    const std::string result = read();
    std::string framed(kLengthBytes, '\0');
    for (size_t i = 0; i < kLengthBytes; ++i) framed[i] = static_cast<char>(uint64_t(result.size()) >> (8 * i));
    framed += result;
    if (WriteAll(out, framed.data(), framed.size())) status = 0;
  } catch (...) {
  }
  // No exit handlers, no flushing of stdio buffers copied from the parent:
  // they belong to the parent.
  ::_exit(status);
}

// One child: its result, or nullopt when it did not finish; *stalled tells
// that it was killed for running out of patience.
std::optional<std::string> OneChild(const std::function<std::string()>& read, int patience_ms, bool* stalled) {
  *stalled = false;
  int ends[2];
  // Close-on-exec: a program another thread starts meanwhile does not keep
  // the write end open (which would hold back the end of the result).
  if (::pipe2(ends, O_CLOEXEC) != 0) return std::nullopt;
  pid_t child;
  {
    // fork copies only the calling thread. Holding the libmsi lock across it
    // means no other thread is inside libmsi, libgsf or the GObject type
    // system through them at that moment, so the child's copy of their state
    // is consistent (the rest of the engine calls GObject only under this
    // lock). Any other lock a thread held then is the patience's matter.
    std::lock_guard<std::recursive_mutex> hold(LibmsiMutex());
    child = ::fork();
    if (child == 0) {
      ::close(ends[0]);
      RunChild(ends[1], read);
    }
  }
  ::close(ends[1]);
  if (child < 0) {
    ::close(ends[0]);
    return std::nullopt;
  }
  std::string bytes;
  char buffer[65536];
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(patience_ms);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd readable{ends[0], POLLIN, 0};
    const int ready = left.count() > 0 ? ::poll(&readable, 1, static_cast<int>(left.count()) + 1) : 0;
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) {
      *stalled = true;
      ::kill(child, SIGKILL);
      break;
    }
    const ssize_t n = ::read(ends[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  ::close(ends[0]);
  int status = 0;
  pid_t waited;
  do {
    waited = ::waitpid(child, &status, 0);
  } while (waited < 0 && errno == EINTR);
  // Where the process has children reaped for it (SIGCHLD ignored), the
  // status is gone; the complete result then stands for a clean end.
  const bool clean = waited == child ? WIFEXITED(status) && WEXITSTATUS(status) == 0 : errno == ECHILD;
  if (*stalled || !clean || bytes.size() < kLengthBytes) return std::nullopt;
  uint64_t length = 0;
  for (size_t i = 0; i < kLengthBytes; ++i) length |= uint64_t(static_cast<uint8_t>(bytes[i])) << (8 * i);
  if (length != bytes.size() - kLengthBytes) return std::nullopt;
  return bytes.substr(kLengthBytes);
}

}  // namespace

std::optional<std::string> ReadInChild(const std::function<std::string()>& read) {
  bool stalled = false;
  std::optional<std::string> result = OneChild(read, first_patience_ms, &stalled);
  if (stalled) result = OneChild(read, second_patience_ms, &stalled);
  return result;
}

void SetChildPatienceForTesting(int milliseconds) {
  first_patience_ms = milliseconds;
  second_patience_ms = milliseconds;
}

bool SurvivesInChild(const std::function<void()>& call) {
  return ReadInChild([&call] {
           call();
           return std::string();
         }).has_value();
}

}  // namespace tonvik::msi
