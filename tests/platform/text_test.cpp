// Conversions, the system error texts, pipes and the event.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <thread>
#include <vector>

#include "platform/event.h"
#include "platform/pipe.h"
#include "platform/syserror.h"
#include "platform/text.h"
#include "platform/utf16_reader.h"
#include "support/wait_until.h"

namespace tonvik {
namespace {

TEST(Text, Utf8AndUtf16ConvertBothWaysIncludingSupplementaryCharacters) {
  const std::u16string wide = u"a\u00e9\u20ac\U0001F3B5z";
  EXPECT_EQ(ToUtf8(wide), "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x8e\xb5z");
  EXPECT_EQ(FromUtf8(ToUtf8(wide)), wide);
  EXPECT_EQ(FromUtf8("\xff\xc3"), u"\ufffd\ufffd");  // malformed bytes, truncated sequence
  EXPECT_EQ(ToUtf8(std::u16string(1, char16_t(0xD800))), "\xef\xbf\xbd");
  EXPECT_EQ(ToLatin1(u"caf\u00e9 \u20ac"), "caf\xe9 ?");
}

TEST(SystemErrorText, StripsTrailingDotsAndLineBreaks) {
  EXPECT_EQ(SystemErrorText(ENOENT), u"No such file or directory");
  EXPECT_EQ(SystemErrorText(EACCES), u"Permission denied");
}

TEST(Pipe, CarriesBytesAndFailsTheWriteOnceTheReaderIsGone) {
  Pipe pipe(10 * 1024 * 1024);
  ASSERT_TRUE(pipe.ok());
  EXPECT_GE(pipe.capacity(), 65536u);
  char out[5] = {};
  ASSERT_TRUE(pipe.WriteAll("abcd", 4));
  EXPECT_EQ(pipe.Read(out, sizeof out), 4);
  pipe.CloseRead();
  errno = 0;
  EXPECT_FALSE(pipe.WriteAll("x", 1));  // SIGPIPE is ignored
  EXPECT_EQ(errno, EPIPE);
}

TEST(ManualResetEvent, WakesEveryWaiterAndStaysSignalled) {
  ManualResetEvent event(false);
  EXPECT_FALSE(event.WaitFor(std::chrono::milliseconds(10)));
  EXPECT_EQ(event.Waiters(), 0);
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i) waiters.emplace_back([&] { event.Wait(); ++woken; });
  waiters.emplace_back([&] { woken += event.WaitFor(std::chrono::hours(1)) ? 1 : 0; });
  // Every one of them is blocked on the event before it is set.
  ASSERT_TRUE(testing::WaitUntil([&] { return event.Waiters() == 4; }));
  EXPECT_EQ(woken.load(), 0);
  event.Set();
  for (auto& t : waiters) t.join();
  EXPECT_EQ(woken.load(), 4);
  EXPECT_EQ(event.Waiters(), 0);
  EXPECT_TRUE(event.WaitFor(std::chrono::milliseconds(0)));
  event.Wait();  // signalled: returns at once
  event.Reset();
  EXPECT_FALSE(event.IsSet());
}

// Feeds raw bytes through a real pipe, optionally one byte per write so that
// reads split code units.
std::vector<std::u16string> Lines(const std::string& bytes, bool trickle) {
  int fds[2];
  EXPECT_EQ(pipe(fds), 0);
  std::thread writer([&] {
    if (trickle) {
      for (char c : bytes) {
        (void)!write(fds[1], &c, 1);
        std::this_thread::yield();
      }
    } else {
      (void)!write(fds[1], bytes.data(), bytes.size());
    }
    close(fds[1]);
  });
  Utf16LineReader reader(fds[0]);
  std::vector<std::u16string> lines;
  while (auto line = reader.ReadLine(259)) lines.push_back(*line);
  writer.join();
  close(fds[0]);
  return lines;
}

TEST(Utf16LineReader, SplitsAtLfKeepsCrAndSurvivesUnitsSplitAcrossReads) {
  std::string bytes("2\0\r\0\n\0D\0:\0\\\0", 12);  // "2\r\nD:\" without a final LF
  for (bool trickle : {false, true}) {
    auto lines = Lines(bytes, trickle);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], u"2\r");
    EXPECT_EQ(lines[1], u"D:\\");
  }
  EXPECT_TRUE(Lines("", false).empty());
}

}  // namespace
}  // namespace tonvik
