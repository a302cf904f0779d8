// Packages one byte away from the test package that make libmsi itself
// crash (the shared hostile fixtures beside the repository): the engine
// reads them in a child process, so the caller survives them, refuses them,
// leaves nothing of them behind, and installs the next package as ever.
#include <thread>

#include "msi_fixture.h"

namespace tonvik::testing {
namespace {

fs::path HostileDir() { return fs::path(TONVIK_SOURCE_DIR) / "../shared/fixtures/hostile"; }

struct HostileCase {
  const char* name;
  const char* file;
};

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

class MsiHostilePackageTest : public MsiTest, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(MsiHostilePackageTest, IsRefusedAndLeavesNothing) {
  if (!fs::is_directory(HostileDir())) GTEST_SKIP() << "no shared hostile fixtures beside the repository";
  const fs::path package = root_ / "pkg" / GetParam().file;
  fs::copy_file(HostileDir() / GetParam().file, package);
  const std::vector<std::string> beside = Tree(root_ / "pkg");

  // As the setup does before installing: the product code from its tables.
  MSIHANDLE db = 0;
  const uint32_t opened = api().OpenDatabaseW(FromUtf8(package.string()).c_str(), MSIDBOPEN_READONLY, &db);
  EXPECT_EQ(opened, ERROR_OPEN_FAILED);
  if (opened == ERROR_SUCCESS) api().CloseHandle(db);

  EXPECT_EQ(Install(package.string()), ERROR_INSTALL_PACKAGE_INVALID);
  ExpectNothingInstalled();
  EXPECT_EQ(Tree(root_ / "pkg"), beside);

  EXPECT_EQ(Install(Build()), ERROR_SUCCESS);
  EXPECT_EQ(State(), INSTALLSTATE_DEFAULT);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, MsiHostilePackageTest,
    ::testing::Values(HostileCase{"CrashesOpeningTheDatabase", "msi-libmsi-null-deref.msi"},
                      HostileCase{"CrashesParsingTheMediaQuery", "msi-libmsi-media-query-null-deref.msi"}),
    [](const auto& info) { return std::string(info.param.name); });

// The children are forked while other threads read packages of their own:
// each thread gets its own verdict, the hostile packages refused and the
// intact one read, round after round, and no child hangs on a lock another
// thread held at the fork.
TEST_F(MsiTest, HostilePackagesFromSeveralThreadsAtOnce) {
  if (!fs::is_directory(HostileDir())) GTEST_SKIP() << "no shared hostile fixtures beside the repository";
  const std::string intact = Build();
  const std::string packages[] = {(HostileDir() / "msi-libmsi-null-deref.msi").string(),
                                  (HostileDir() / "msi-libmsi-media-query-null-deref.msi").string(), intact};
  constexpr int kRounds = 6;
  int opened[3] = {0, 0, 0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRounds; ++i) {
        MSIHANDLE db = 0, view = 0, record = 0;
        if (api().OpenDatabaseW(FromUtf8(packages[t]).c_str(), MSIDBOPEN_READONLY, &db) != ERROR_SUCCESS) continue;
        if (api().DatabaseOpenViewW(db, u"SELECT `Value` FROM `Property` WHERE `Property`='ProductCode'", &view) ==
                ERROR_SUCCESS &&
            api().ViewExecute(view, 0) == ERROR_SUCCESS && api().ViewFetch(view, &record) == ERROR_SUCCESS)
          ++opened[t];
        for (MSIHANDLE h : {record, view, db}) api().CloseHandle(h);
      }
    });
  }
  // Meanwhile this thread installs: its package is read in a child too.
  EXPECT_EQ(Install(packages[0]), ERROR_INSTALL_PACKAGE_INVALID);
  EXPECT_EQ(Install(intact), ERROR_SUCCESS);
  for (auto& t : threads) t.join();
  EXPECT_EQ(opened[0], 0);
  EXPECT_EQ(opened[1], 0);
  EXPECT_EQ(opened[2], kRounds);
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
