// The child that reads a package first: what reaches the caller for each way
// a child can end, and a child that never ends.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

#include "modules/msi/child_read.h"

namespace tonvik::msi {
namespace {

namespace fs = std::filesystem;

// Appends a line to the file: each child leaves its mark.
void Mark(const fs::path& file) { std::ofstream(file, std::ios::app) << "child\n"; }

int Marks(const fs::path& file) {
  std::ifstream in(file);
  int n = 0;
  for (std::string line; std::getline(in, line);) ++n;
  return n;
}

class ChildReadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tonvik-child-read-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    SetChildPatienceForTesting(60000);
    fs::remove_all(dir_);
  }
  fs::path dir_;
};

TEST_F(ChildReadTest, TheCallerGetsTheResultOnlyOfAChildThatRanToItsEnd) {
  const fs::path marks = dir_ / "marks";
  const std::string large(3 << 20, 'x');  // more than a pipe holds
  struct Case {
    const char* what;
    std::function<std::string()> read;
    std::optional<std::string> result;
    int children;  // how many children ran
    bool stalls = false;
  } cases[] = {
      {"a result", [&] { Mark(marks); return std::string("rows"); }, "rows", 1},
      {"an empty result", [&] { Mark(marks); return std::string(); }, "", 1},
      {"a result larger than the pipe", [&] { Mark(marks); return large; }, large, 1},
      {"a crash", [&] { Mark(marks); ::raise(SIGSEGV); return std::string("never"); }, std::nullopt, 1},
      {"an abort", [&]() -> std::string { Mark(marks); std::abort(); }, std::nullopt, 1},
      {"an exception", [&]() -> std::string { Mark(marks); throw std::runtime_error("x"); }, std::nullopt, 1},
      {"an exit before the result", [&]() -> std::string { Mark(marks); ::_exit(0); }, std::nullopt, 1},
      {"a child that never ends, twice", [&]() -> std::string { Mark(marks); for (;;) ::pause(); },
       std::nullopt, 2, true},
      {"a child that never ends once: the second is asked",
       [&]() -> std::string {
         const bool first = !fs::exists(marks);
         Mark(marks);
         if (first) {
           for (;;) ::pause();
         }
         return "second";
       },
       "second", 2, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(marks);
    // Short where a child stalls, so that the case ends soon; a child that
    // ends by itself has the whole patience of the product.
    SetChildPatienceForTesting(c.stalls ? 2000 : 60000);
    const std::optional<std::string> result = ReadInChild(c.read);
    EXPECT_EQ(result.has_value(), c.result.has_value());
    if (result && c.result) EXPECT_TRUE(*result == *c.result) << result->size() << " bytes";
    EXPECT_EQ(Marks(marks), c.children);
  }
}

}  // namespace
}  // namespace tonvik::msi
