// Packages that make libmsi itself crash: two of the shared hostile fixtures
// beside the repository (one byte away from the test package) and one a fuzz
// target made. The engine makes each call into libmsi in a child process
// first, so the caller survives every one of them; what libmsi can do with a
// package still works, what crashes it is refused, an installation of it
// leaves nothing behind, and the next package installs as ever.
#include <thread>

#include "msi_fixture.h"

namespace tonvik::testing {
namespace {

fs::path HostileDir() { return fs::path(TONVIK_SOURCE_DIR) / "../shared/fixtures/hostile"; }
fs::path OwnDir() { return fs::path(TONVIK_SOURCE_DIR) / "tests/modules/msi/data"; }

struct HostileCase {
  const char* name;
  fs::path (*dir)();
  const char* file;
  uint32_t opened;         // MsiOpenDatabaseW
  uint32_t product_query;  // MsiDatabaseOpenViewW of the setup's product code query (when opened)
  bool Readable() const { return opened == ERROR_SUCCESS && product_query == ERROR_SUCCESS; }
};

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

const HostileCase kCases[] = {
    {"CrashesOpeningTheDatabase", HostileDir, "msi-libmsi-null-deref.msi", ERROR_OPEN_FAILED, 0},
    // Only a query over Media crashes; the product code reads.
    {"CrashesParsingTheMediaQuery", HostileDir, "msi-libmsi-media-query-null-deref.msi", ERROR_SUCCESS,
     ERROR_SUCCESS},
    // The definitions of the Property table's columns are damaged.
    {"CrashesParsingAPropertyQuery", OwnDir, "query-parse-crash.msi", ERROR_SUCCESS, ERROR_BAD_QUERY_SYNTAX},
};

constexpr char16_t kProductCodeQuery[] = u"SELECT `Value` FROM `Property` WHERE `Property`='ProductCode'";

// What the setup reads before installing: the product code; empty when the
// database or the query is refused.
std::string ProductCode(const MsiApi& api, const std::string& package, uint32_t* opened, uint32_t* queried) {
  MSIHANDLE db = 0, view = 0, record = 0;
  std::string code;
  *opened = api.OpenDatabaseW(FromUtf8(package).c_str(), MSIDBOPEN_READONLY, &db);
  *queried = 0;
  if (*opened == ERROR_SUCCESS) {
    *queried = api.DatabaseOpenViewW(db, kProductCodeQuery, &view);
    if (*queried == ERROR_SUCCESS && api.ViewExecute(view, 0) == ERROR_SUCCESS &&
        api.ViewFetch(view, &record) == ERROR_SUCCESS) {
      char16_t buffer[40] = {};
      uint32_t size = 40;
      if (api.RecordGetStringW(record, 1, buffer, &size) == ERROR_SUCCESS) code = ToUtf8(buffer);
    }
  }
  for (MSIHANDLE h : {record, view, db}) api.CloseHandle(h);
  return code;
}

class MsiHostilePackageTest : public MsiTest, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(MsiHostilePackageTest, IsRefusedWhereItCrashesLibmsiAndLeavesNothing) {
  const HostileCase& c = GetParam();
  if (!fs::is_directory(c.dir())) GTEST_SKIP() << "no shared hostile fixtures beside the repository";
  const fs::path package = root_ / "pkg" / c.file;
  fs::copy_file(c.dir() / c.file, package);
  const std::vector<std::string> beside = Tree(root_ / "pkg");

  uint32_t opened = 0, queried = 0;
  const std::string code = ProductCode(api(), package.string(), &opened, &queried);
  EXPECT_EQ(opened, c.opened);
  EXPECT_EQ(queried, c.product_query);
  EXPECT_EQ(code, c.Readable() ? kProductCode : "");

  EXPECT_EQ(Install(package.string()), ERROR_INSTALL_PACKAGE_INVALID);
  ExpectNothingInstalled();
  EXPECT_EQ(Tree(root_ / "pkg"), beside);

  EXPECT_EQ(Install(Build()), ERROR_SUCCESS);
  EXPECT_EQ(State(), INSTALLSTATE_DEFAULT);
}

INSTANTIATE_TEST_SUITE_P(Packages, MsiHostilePackageTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The children are forked while other threads read packages of their own:
// each thread gets its own verdicts, round after round, and no child hangs on
// a lock another thread held at the fork.
TEST_F(MsiTest, HostilePackagesFromSeveralThreadsAtOnce) {
  if (!fs::is_directory(HostileDir())) GTEST_SKIP() << "no shared hostile fixtures beside the repository";
  const std::string intact = Build();
  constexpr int kRounds = 5;
  constexpr size_t kThreads = std::size(kCases) + 1;  // the last reads the intact package
  std::vector<int> read(kThreads, 0);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const std::string package = t < std::size(kCases) ? (kCases[t].dir() / kCases[t].file).string() : intact;
      for (int i = 0; i < kRounds; ++i) {
        uint32_t opened = 0, queried = 0;
        if (ProductCode(api(), package, &opened, &queried) == kProductCode) ++read[t];
      }
    });
  }
  // Meanwhile this thread installs: its packages are read in children too.
  EXPECT_EQ(Install((HostileDir() / kCases[0].file).string()), ERROR_INSTALL_PACKAGE_INVALID);
  EXPECT_EQ(Install(intact), ERROR_SUCCESS);
  for (auto& t : threads) t.join();
  for (size_t t = 0; t < std::size(kCases); ++t)
    EXPECT_EQ(read[t], kCases[t].Readable() ? kRounds : 0) << kCases[t].name;
  EXPECT_EQ(read.back(), kRounds);
}

// Found by fuzz_msi_install (kept in its corpus too): the test package with two
// digits changed opens, every table reads, and yet parsing the setup's own
// query over it crashes libmsi's parser. The view is refused instead, and
// the installation refuses the package as the others.
TEST_F(MsiTest, AQueryThatCrashesTheParserIsRefused) {
  const fs::path package = root_ / "pkg" / "query-parse-crash.msi";
  fs::copy_file(fs::path(TONVIK_SOURCE_DIR) / "tests/modules/msi/data/query-parse-crash.msi", package);
  MSIHANDLE db = 0, view = 0;
  if (api().OpenDatabaseW(FromUtf8(package.string()).c_str(), MSIDBOPEN_READONLY, &db) == ERROR_SUCCESS) {
    EXPECT_EQ(api().DatabaseOpenViewW(db, u"SELECT `Value` FROM `Property` WHERE `Property`='ProductCode'", &view),
              ERROR_BAD_QUERY_SYNTAX);
    EXPECT_EQ(view, 0u);
    api().CloseHandle(db);
  }
  EXPECT_NE(Install(package.string()), ERROR_SUCCESS);
  ExpectNothingInstalled();
  EXPECT_EQ(Install(Build()), ERROR_SUCCESS);
}

}  // namespace
}  // namespace tonvik::testing
