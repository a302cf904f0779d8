// The reading side of msi.so as the setup uses it before installing: opening
// a package read-only, the product code query with Windows' buffer rules,
// handles, product states, and file versions read from the modules' notes.
#include <set>
#include <thread>

#include "msi_fixture.h"

namespace tonvik::testing {
namespace {

class MsiDatabaseTest : public MsiTest {
 protected:
  MSIHANDLE Open(const std::string& package) {
    MSIHANDLE db = 0;
    EXPECT_EQ(api().OpenDatabaseW(FromUtf8(package).c_str(), MSIDBOPEN_READONLY, &db), ERROR_SUCCESS);
    return db;
  }
  // The first record of the query, executed.
  MSIHANDLE FirstRecord(MSIHANDLE db, const char16_t* sql, MSIHANDLE* view) {
    EXPECT_EQ(api().DatabaseOpenViewW(db, sql, view), ERROR_SUCCESS);
    EXPECT_EQ(api().ViewExecute(*view, 0), ERROR_SUCCESS);
    MSIHANDLE record = 0;
    EXPECT_EQ(api().ViewFetch(*view, &record), ERROR_SUCCESS);
    return record;
  }
};

TEST_F(MsiDatabaseTest, ProductCodeQueryAsTheSetupRunsIt) {
  const MSIHANDLE db = Open(Build());
  MSIHANDLE view = 0;
  const MSIHANDLE record =
      FirstRecord(db, u"SELECT `Value` FROM `Property` WHERE `Property`='ProductCode'", &view);
  char16_t buffer[40];
  uint32_t size = 40;
  ASSERT_EQ(api().RecordGetStringW(record, 1, buffer, &size), ERROR_SUCCESS);
  EXPECT_EQ(ToUtf8(buffer), kProductCode);
  EXPECT_EQ(size, 38u);
  EXPECT_EQ(api().QueryProductStateW(buffer), INSTALLSTATE_UNKNOWN);

  MSIHANDLE next = 0;
  EXPECT_EQ(api().ViewFetch(view, &next), ERROR_NO_MORE_ITEMS);
  for (MSIHANDLE h : {record, view, db}) EXPECT_EQ(api().CloseHandle(h), ERROR_SUCCESS);
  // Closed handles are gone for good.
  for (MSIHANDLE h : {record, view, db}) EXPECT_EQ(api().CloseHandle(h), ERROR_INVALID_HANDLE);
  EXPECT_EQ(api().RecordGetStringW(record, 1, buffer, &size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(api().ViewExecute(view, 0), ERROR_INVALID_HANDLE);
  EXPECT_EQ(api().DatabaseOpenViewW(db, u"SELECT * FROM `Property`", &view), ERROR_INVALID_HANDLE);
  EXPECT_EQ(api().CloseHandle(0), ERROR_SUCCESS);
}

struct BufferCase {
  bool with_buffer;
  uint32_t size;
  uint32_t result;
  uint32_t size_after;
  const char* text;  // what the buffer holds afterwards
};

void PrintTo(const BufferCase& c, std::ostream* os) { *os << (c.with_buffer ? "buffer of " : "no buffer, ") << c.size; }

class MsiRecordBufferTest : public MsiDatabaseTest, public ::testing::WithParamInterface<BufferCase> {};

TEST_P(MsiRecordBufferTest, FollowsWindowsBufferRules) {
  const BufferCase& c = GetParam();
  const MSIHANDLE db = Open(Build());
  MSIHANDLE view = 0;
  const MSIHANDLE record =
      FirstRecord(db, u"SELECT `Value` FROM `Property` WHERE `Property`='ProductVersion'", &view);
  char16_t buffer[16];
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  uint32_t size = c.size;
  EXPECT_EQ(api().RecordGetStringW(record, 1, c.with_buffer ? buffer : nullptr, &size), c.result);
  EXPECT_EQ(size, c.size_after);
  if (c.with_buffer && c.size > 0) {
    EXPECT_EQ(ToUtf8(buffer), c.text);
  }
  if (c.size == 0) {
    EXPECT_EQ(buffer[0], u'#');
  }
  for (MSIHANDLE h : {record, view, db}) api().CloseHandle(h);
}

// "1.2.3": five characters.
INSTANTIATE_TEST_SUITE_P(Sizes, MsiRecordBufferTest,
                         ::testing::Values(BufferCase{true, 16, ERROR_SUCCESS, 5, "1.2.3"},
                                           BufferCase{true, 6, ERROR_SUCCESS, 5, "1.2.3"},
                                           BufferCase{true, 5, ERROR_MORE_DATA, 5, "1.2."},
                                           BufferCase{true, 1, ERROR_MORE_DATA, 5, ""},
                                           BufferCase{true, 0, ERROR_MORE_DATA, 5, ""},
                                           BufferCase{false, 0, ERROR_SUCCESS, 5, ""}));

TEST_F(MsiDatabaseTest, FieldsBeyondTheRecordAndIntegerFieldsReadAsText) {
  const MSIHANDLE db = Open(Build());
  MSIHANDLE view = 0;
  const MSIHANDLE record =
      FirstRecord(db, u"SELECT `File`, `FileSize` FROM `File` WHERE `File`='acmetool'", &view);
  char16_t buffer[32];
  uint32_t size = 32;
  ASSERT_EQ(api().RecordGetStringW(record, 2, buffer, &size), ERROR_SUCCESS);
  EXPECT_EQ(ToUtf8(buffer), "30000");
  size = 32;
  ASSERT_EQ(api().RecordGetStringW(record, 9, buffer, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 0u);
  for (MSIHANDLE h : {record, view, db}) api().CloseHandle(h);
}

TEST_F(MsiDatabaseTest, RefusesWhatItCannotOpenOrRun) {
  const std::string package = Build();
  MSIHANDLE db = 0;
  EXPECT_EQ(api().OpenDatabaseW(FromUtf8(root_.string() + "/none.msi").c_str(), MSIDBOPEN_READONLY, &db),
            ERROR_OPEN_FAILED);
  EXPECT_EQ(api().OpenDatabaseW(FromUtf8(package).c_str(), u"out.msi", &db), ERROR_INVALID_PARAMETER);
  db = Open(package);
  MSIHANDLE view = 0;
  EXPECT_EQ(api().DatabaseOpenViewW(db, u"SELEKT nothing", &view), ERROR_BAD_QUERY_SYNTAX);
  EXPECT_EQ(api().DatabaseOpenViewW(db, u"SELECT * FROM `NoSuchTable`", &view), ERROR_BAD_QUERY_SYNTAX);
  ASSERT_EQ(api().DatabaseOpenViewW(db, u"SELECT `Value` FROM `Property`", &view), ERROR_SUCCESS);
  MSIHANDLE record = 0;
  EXPECT_EQ(api().ViewFetch(view, &record), ERROR_FUNCTION_FAILED);  // not executed yet
  // A handle of another kind is no handle for the call.
  EXPECT_EQ(api().ViewExecute(db, 0), ERROR_INVALID_HANDLE);
  EXPECT_EQ(api().DatabaseOpenViewW(view, u"SELECT * FROM `Property`", &record), ERROR_INVALID_HANDLE);
  EXPECT_EQ(api().ViewExecute(view, 0), ERROR_SUCCESS);
  int rows = 0;
  while (api().ViewFetch(view, &record) == ERROR_SUCCESS) {
    ++rows;
    api().CloseHandle(record);
  }
  EXPECT_GE(rows, 5);  // ProductCode, ProductName, ProductVersion, ...
  api().CloseHandle(view);
  api().CloseHandle(db);
}

// Handles are numbered process-wide: threads opening and closing at once each
// get numbers of their own and read their own rows.
TEST_F(MsiDatabaseTest, HandlesFromSeveralThreads) {
  const std::string package = Build();
  constexpr int kThreads = 4;
  constexpr int kRounds = 15;
  std::vector<std::vector<MSIHANDLE>> seen(kThreads);
  std::vector<int> good(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRounds; ++i) {
        MSIHANDLE db = 0, view = 0, record = 0;
        if (api().OpenDatabaseW(FromUtf8(package).c_str(), MSIDBOPEN_READONLY, &db) != ERROR_SUCCESS) continue;
        if (api().DatabaseOpenViewW(db, u"SELECT `Value` FROM `Property` WHERE `Property`='ProductName'",
                                    &view) == ERROR_SUCCESS &&
            api().ViewExecute(view, 0) == ERROR_SUCCESS && api().ViewFetch(view, &record) == ERROR_SUCCESS) {
          char16_t buffer[40];
          uint32_t size = 40;
          if (api().RecordGetStringW(record, 1, buffer, &size) == ERROR_SUCCESS &&
              ToUtf8(buffer) == "Acme Tools")
            ++good[t];
        }
        seen[t].insert(seen[t].end(), {db, view, record});
        for (MSIHANDLE h : {record, view, db}) api().CloseHandle(h);
      }
    });
  }
  for (auto& t : threads) t.join();
  std::set<MSIHANDLE> all;
  size_t count = 0;
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(good[t], kRounds);
    all.insert(seen[t].begin(), seen[t].end());
    count += seen[t].size();
  }
  EXPECT_EQ(all.size(), count);  // no number was handed out twice
}

TEST_F(MsiDatabaseTest, ProductStateOfMalformedAndUnknownCodes) {
  const struct {
    const char16_t* code;
    INSTALLSTATE state;
  } cases[] = {
      {u"{11111111-2222-3333-4444-555555555555}", INSTALLSTATE_UNKNOWN},
      {u"{abcdefab-cdef-abcd-efab-cdefabcdefab}", INSTALLSTATE_UNKNOWN},
      {u"", INSTALLSTATE_INVALIDARG},
      {u"11111111-2222-3333-4444-555555555555", INSTALLSTATE_INVALIDARG},
      {u"{11111111-2222-3333-4444-55555555555}", INSTALLSTATE_INVALIDARG},
      {u"{11111111-2222-3333-4444-5555555555555}", INSTALLSTATE_INVALIDARG},
      {u"{G1111111-2222-3333-4444-555555555555}", INSTALLSTATE_INVALIDARG},
      {u"{11111111+2222-3333-4444-555555555555}", INSTALLSTATE_INVALIDARG},
      {u"{11111111-2222-3333-4444-555555555555}\\x", INSTALLSTATE_INVALIDARG},
  };
  for (const auto& c : cases) EXPECT_EQ(api().QueryProductStateW(c.code), c.state) << ToUtf8(c.code);
  EXPECT_EQ(api().QueryProductStateW(nullptr), INSTALLSTATE_INVALIDARG);
}

TEST_F(MsiDatabaseTest, FileVersionsFromTheModulesNotes) {
  WriteBytes(root_ / "plain.so", "no note here");
  const struct {
    std::string path;
    uint32_t result;
    const char* version;
  } cases[] = {
      {WMVCORE_MODULE, ERROR_SUCCESS, "11.0.5721.5145"},
      {MSI_MODULE, ERROR_SUCCESS, "3.1.4000"},
      {(root_ / "plain.so").string(), ERROR_FILE_INVALID, ""},
      {(root_ / "none.so").string(), ERROR_FILE_NOT_FOUND, ""},
  };
  for (const auto& c : cases) {
    char version[32] = "";
    char language[8] = "x";
    uint32_t version_size = sizeof version;
    uint32_t language_size = sizeof language;
    EXPECT_EQ(api().GetFileVersionA(c.path.c_str(), version, &version_size, language, &language_size),
              c.result)
        << c.path;
    if (c.result == ERROR_SUCCESS) {
      EXPECT_STREQ(version, c.version);
      EXPECT_EQ(version_size, std::strlen(c.version));
      EXPECT_STREQ(language, "");
      EXPECT_EQ(language_size, 0u);
    }
  }
  // The setup's way: no language; a short buffer gets the needed size.
  char shortbuf[4] = "";
  uint32_t size = sizeof shortbuf;
  EXPECT_EQ(api().GetFileVersionA(MSI_MODULE, shortbuf, &size, nullptr, nullptr), ERROR_MORE_DATA);
  EXPECT_EQ(size, 8u);
  EXPECT_STREQ(shortbuf, "3.1");
  size = 0;
  EXPECT_EQ(api().GetFileVersionA(MSI_MODULE, nullptr, &size, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(size, 8u);
}

}  // namespace
}  // namespace tonvik::testing
