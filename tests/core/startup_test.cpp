// Start-up lines, the error model and the main flow's order.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "core/app_exception.h"
#include "core/main_flow.h"
#include "core/messages.h"
#include "core/startup.h"
#include "platform/utf16_reader.h"

namespace tonvik {
namespace {

std::string Utf16(std::u16string_view text) {
  std::string bytes;
  for (char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

// A reader over a real pipe holding the bytes.
class Input {
 public:
  explicit Input(const std::string& bytes) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    fd_ = fds[0];
    writer_ = std::thread([fd = fds[1], bytes] {
      (void)!write(fd, bytes.data(), bytes.size());
      close(fd);
    });
    reader_ = std::make_unique<Utf16LineReader>(fd_);
  }
  ~Input() {
    writer_.join();
    close(fd_);
  }
  Utf16LineReader& reader() { return *reader_; }

 private:
  int fd_;
  std::thread writer_;
  std::unique_ptr<Utf16LineReader> reader_;
};

StartupInput Parse(const std::string& bytes) {
  Input in(bytes);
  return ReadStartupInput(in.reader());
}

std::u16string Failure(const std::string& bytes) {
  try {
    Parse(bytes);
  } catch (const AppException& e) {
    return e.Message();
  }
  return u"(no error)";
}

TEST(StartupInput, AcceptsTheLinesTheDesktopIntegrationWrites) {
  auto root = Parse(Utf16(u"2\nE:\\\n\n"));
  EXPECT_EQ(root.format_number, 2);
  EXPECT_EQ(root.paths, std::vector<std::u16string>{u"E:\\"});
  EXPECT_EQ(root.drive_letter, u'E');

  auto two = Parse(Utf16(u"6\nD:\\Track03.cda\nD:\\Track01.cda"));  // no final LF
  EXPECT_EQ(two.paths, (std::vector<std::u16string>{u"D:\\Track03.cda", u"D:\\Track01.cda"}));

  auto cr = Parse(Utf16(u"2\r\nD:\\\r\n"));  // CR stays in the lines
  EXPECT_EQ(cr.format_number, 2);
  EXPECT_EQ(cr.paths[0], u"D:\\\r");

  auto stop = Parse(Utf16(u"  +4xyz\nD:\\\n\nignored after the empty line\n"));
  EXPECT_EQ(stop.format_number, 4);
  EXPECT_EQ(stop.paths.size(), 1u);
}

TEST(StartupInput, ParsesTheFormatNumberLikeTheCLibrary) {
  EXPECT_EQ(ParseFormatNumber(u" \t 6"), 6);
  EXPECT_EQ(ParseFormatNumber(u"-3"), -3);
  EXPECT_EQ(ParseFormatNumber(u"2\r"), 2);
  EXPECT_EQ(ParseFormatNumber(u"x2"), 0);
  EXPECT_EQ(ParseFormatNumber(u"99999999999999"), 2147483647);
}

TEST(StartupInput, RejectsUnusableInputWithAClearMessage) {
  const std::u16string not_direct = kMsgNotLaunchedDirectly;
  struct Case {
    const char* label;
    std::string bytes;
    std::u16string message;
  } cases[] = {
      {"empty input", "", not_direct},
      {"empty first line", Utf16(u"\nD:\\\n"), not_direct},
      {"no path lines", Utf16(u"2\n"), u"Internal error #12."},
      {"empty path list", Utf16(u"2\n\nD:\\\n"), u"Internal error #12."},
      {"format 0", Utf16(u"abc\nD:\\\n"), FormatMessage(kMsgUnknownFormat, {u"0"})},
      {"format 7", Utf16(u"7\nD:\\\n"), FormatMessage(kMsgUnknownFormat, {u"7"})},
      {"line of 260 units", Utf16(u"2\nD:\\" + std::u16string(257, u'a') + u"\n"),
       FormatMessage(kMsgLineTooLong, {u"2", u"259"})},
      // Cut at 259 units between the two halves of a character beyond U+FFFF.
      {"line of 260 units cut inside a surrogate pair",
       Utf16(u"2\nD:\\" + std::u16string(255, u'a') + u"\U0001F3B5\n"),
       FormatMessage(kMsgLineTooLong, {u"2", u"259"})},
      {"short path among several", Utf16(u"2\nD:\\Track01.cda\nD:\\T1\n"),
       FormatMessage(kMsgPathTooShort, {u"D:\\T1"})},
      {"ASCII text", "2\nD:\\\n", kMsgNotUtf16},
      {"UTF-8 text with a trailing odd byte", "6\nD:\\Track01.cda\n", kMsgNotUtf16},
      {"half a unit at the end", Utf16(u"2\nD:\\") + "x", kMsgNotUtf16},
      {"lone surrogate", Utf16(u"2\nD:\\\xD800\n"), kMsgNotUtf16},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(Failure(c.bytes), c.message);
  }
  // 259 units exactly is still a line.
  EXPECT_EQ(Parse(Utf16(u"2\nD:\\" + std::u16string(256, u'a') + u"\n")).paths[0].size(), 259u);
}

TEST(AppException, CutsAt2047UnitsAndKeepsWhatValidAcrossThreads) {
  std::u16string longer(3000, u'\u00e9');
  AppException e(longer);
  EXPECT_EQ(std::u16string(e.message()).size(), 2047u);
  EXPECT_EQ(std::string(e.what()).size(), 2047u * 2);
  SkipFileException skip;
  EXPECT_STREQ(skip.what(), "file skipped");
  EncoderException& as_encoder = skip;
  EXPECT_STREQ(as_encoder.what(), "file skipped");
  EXPECT_STREQ(DVDCopyException().what(), "Audio CD read error.");

  // Two threads asking for different messages at the same time each get their own.
  AppException a("first message"), b("second message");
  std::atomic<bool> wrong{false};
  auto hammer = [&](const AppException& x, const char* expected) {
    for (int i = 0; i < 20000; ++i)
      if (std::strcmp(x.what(), expected) != 0) wrong = true;
  };
  std::thread t1(hammer, std::cref(a), "first message");
  std::thread t2(hammer, std::cref(b), "second message");
  t1.join();
  t2.join();
  EXPECT_FALSE(wrong);
}

TEST(FormatMessage, FillsPositionalPlaceholders) {
  EXPECT_EQ(FormatMessage(u"Cannot access CD drive: %1%.", {u"inquiry failed"}),
            u"Cannot access CD drive: inquiry failed.");
  EXPECT_EQ(FormatMessage(u"%2% then %1%, 100%", {u"a", u"b"}), u"b then a, 100%");
}

// Records what the flow asked for.
class FakeParts : public MainFlowParts {
 public:
  bool installed = true;
  int format_result = 1;
  bool disc_fails = false;
  std::vector<std::string> calls;
  std::u16string fatal;
  bool InstallCheck() override {
    calls.push_back("install");
    return installed;
  }
  void CheckDisc(const StartupInput&) override {
    calls.push_back("disc");
    if (disc_fails) throw AppException("Error. No disc in drive.");
  }
  int RunFormatDialog(const StartupInput&) override {
    calls.push_back("format");
    return format_result;
  }
  int RunProgressDialog(const StartupInput&) override {
    calls.push_back("progress");
    return 1;
  }
  void ReportFatal(const std::u16string& message) override { fatal = message; }
};

TEST(MainFlow, RunsTheStepsInOrderAndReturnsTheLastDialogsResult) {
  {
    FakeParts parts;
    Input in(Utf16(u"6\nD:\\\n"));
    EXPECT_EQ(RunMainFlow(in.reader(), parts), 1);
    EXPECT_EQ(parts.calls, (std::vector<std::string>{"install", "disc", "format", "progress"}));
    EXPECT_EQ(parts.fatal, u"");
  }
  {
    FakeParts parts;
    parts.format_result = 2;  // the user cancels the Format dialog
    Input in(Utf16(u"6\nD:\\\n"));
    EXPECT_EQ(RunMainFlow(in.reader(), parts), 2);
    EXPECT_EQ(parts.calls.back(), "format");
    EXPECT_EQ(parts.fatal, u"");
  }
  {
    FakeParts parts;
    parts.installed = false;
    Input in(Utf16(u"6\nD:\\\n"));
    EXPECT_EQ(RunMainFlow(in.reader(), parts), 0);
    EXPECT_EQ(parts.calls, std::vector<std::string>{"install"});
    EXPECT_EQ(parts.fatal, kMsgBadInstall);
  }
  {
    FakeParts parts;
    parts.disc_fails = true;
    Input in(Utf16(u"6\nD:\\\n"));
    EXPECT_EQ(RunMainFlow(in.reader(), parts), 0);
    EXPECT_EQ(parts.fatal, u"Error. No disc in drive.");
  }
}

TEST(MainFlow, FatalLinesAreOneLineOnStandardError) {
  EXPECT_EQ(FatalLine(kMsgBadInstall),
            "vandral: Tonvik is probably incorrectly installed. Please, reinstall Tonvik. If "
            "problem persists, contact Quellbrook support.");
}

}  // namespace
}  // namespace tonvik
