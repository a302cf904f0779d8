// Writing whole buffers through descriptors that take them piecemeal.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <thread>
#include <vector>

#include "platform/fd_io.h"

namespace tonvik {
namespace {

std::atomic<int> g_signals{0};
void CountSignal(int) { g_signals.fetch_add(1, std::memory_order_relaxed); }

// A small pipe drained in small reads takes a large write in many pieces, and a
// signal handler installed without SA_RESTART interrupts the writer while it
// waits: write(2) then returns a short count, or -1 with EINTR when nothing
// went through yet. Every byte must still arrive once, in order.
TEST(WriteAll, DeliversEveryByteThroughShortWritesAndSignals) {
  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
  ::fcntl(fds[1], F_SETPIPE_SZ, 4096);
  struct sigaction action {}, previous {};
  action.sa_handler = CountSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);

  std::vector<uint8_t> data(1 << 20);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + (i >> 12));
  const pthread_t writer = ::pthread_self();
  std::atomic<bool> writing{true};
  std::vector<uint8_t> received;
  std::thread reader([&] {
    uint8_t chunk[1000];
    for (;;) {
      const ssize_t n = ::read(fds[0], chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      received.insert(received.end(), chunk, chunk + n);
      if (writing) ::pthread_kill(writer, SIGUSR1);
    }
  });
  const bool ok = WriteAll(fds[1], data.data(), data.size());
  writing = false;
  ::close(fds[1]);
  reader.join();
  ::close(fds[0]);
  ::sigaction(SIGUSR1, &previous, nullptr);

  EXPECT_TRUE(ok);
  EXPECT_GT(g_signals.load(), 0);
  ASSERT_EQ(received.size(), data.size());
  EXPECT_TRUE(received == data);
}

TEST(WriteAll, FailsWithTheSystemsReason) {
  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
  ::close(fds[0]);
  ::signal(SIGPIPE, SIG_IGN);
  errno = 0;
  EXPECT_FALSE(WriteAll(fds[1], "abc", 3));
  EXPECT_EQ(errno, EPIPE);
  ::close(fds[1]);
  errno = 0;
  EXPECT_FALSE(WriteAll(-1, "abc", 3));
  EXPECT_EQ(errno, EBADF);
}

}  // namespace
}  // namespace tonvik
