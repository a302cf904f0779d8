#include "libmsi_access.h"

#include <libmsi.h>
#include <sys/stat.h>

#include <new>

#include "msi.h"

namespace tonvik::msi {

std::recursive_mutex& LibmsiMutex() {
  // Never destroyed: a handle closed by a thread that outlives main's return
  // still takes it.
  static auto* mutex = new std::recursive_mutex;
  return *mutex;
}

void RenewLibmsiMutexInChild() {
  // The old one is left as it is, never destroyed: destroying a locked mutex
  // is undefined, and the memory is the child's own copy.
  new (&LibmsiMutex()) std::recursive_mutex;
}

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

LibmsiObject Own(gpointer object) {
  if (object == nullptr) return {};
  return LibmsiObject(object, [](void* p) {
    Guard guard(LibmsiMutex());
    g_object_unref(p);
  });
}

struct ErrorHolder {
  GError* error = nullptr;
  ~ErrorHolder() {
    if (error != nullptr) g_error_free(error);
  }
};

// Opens and executes a query that takes no parameters.
uint32_t RunQuery(const LibmsiObject& database, const std::string& sql, LibmsiObject* query) {
  LibmsiObject q;
  if (const uint32_t rc = OpenQuery(database, sql, &q); rc != ERROR_SUCCESS) return rc;
  if (const uint32_t rc = ExecuteQuery(q, {}); rc != ERROR_SUCCESS) return rc;
  *query = std::move(q);
  return ERROR_SUCCESS;
}

// Fetches an executed query's rows to the last, handing each record to
// `take`; false when a row cannot be fetched or `take` answers false.
template <typename Take>
bool ForEachRecord(const LibmsiObject& query, Take take) {
  for (;;) {
    LibmsiObject record;
    const uint32_t rc = FetchRecord(query, &record);
    if (rc == ERROR_NO_MORE_ITEMS) return true;
    if (rc != ERROR_SUCCESS || !take(record)) return false;
  }
}

bool TableExists(const LibmsiObject& database, const std::string& table) {
  LibmsiObject query, row;
  return RunQuery(database, "SELECT `Name` FROM `_Tables` WHERE `Name`='" + table + "'", &query) == ERROR_SUCCESS &&
         FetchRecord(query, &row) == ERROR_SUCCESS;
}

// The table named after FROM, for telling a missing table from a broken one.
std::string TableOf(const std::string& sql) {
  const size_t from = sql.find("FROM `");
  if (from == std::string::npos) return {};
  const size_t start = from + 6;
  const size_t end = sql.find('`', start);
  return end == std::string::npos ? std::string() : sql.substr(start, end - start);
}

}  // namespace

OpenStatus OpenDatabase(const std::string& path, LibmsiObject* database) {
  Guard guard(LibmsiMutex());
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return OpenStatus::kMissing;
  if (!S_ISREG(st.st_mode)) return OpenStatus::kUnreadable;
  ErrorHolder e;
  LibmsiObject db = Own(libmsi_database_new(path.c_str(), LIBMSI_DB_FLAGS_READONLY, nullptr, &e.error));
  if (!db) return OpenStatus::kUnreadable;
  *database = std::move(db);
  return OpenStatus::kOpened;
}

uint32_t OpenQuery(const LibmsiObject& database, const std::string& sql, LibmsiObject* query) {
  Guard guard(LibmsiMutex());
  ErrorHolder e;
  LibmsiObject q = Own(libmsi_query_new(static_cast<LibmsiDatabase*>(database.get()), sql.c_str(), &e.error));
  if (!q) return ERROR_BAD_QUERY_SYNTAX;
  *query = std::move(q);
  return ERROR_SUCCESS;
}

uint32_t ExecuteQuery(const LibmsiObject& query, const LibmsiObject& parameters) {
  Guard guard(LibmsiMutex());
  ErrorHolder e;
  if (!libmsi_query_execute(static_cast<LibmsiQuery*>(query.get()),
                            static_cast<LibmsiRecord*>(parameters.get()), &e.error))
    return ERROR_FUNCTION_FAILED;
  return ERROR_SUCCESS;
}

uint32_t FetchRecord(const LibmsiObject& query, LibmsiObject* record) {
  Guard guard(LibmsiMutex());
  ErrorHolder e;
  LibmsiObject r = Own(libmsi_query_fetch(static_cast<LibmsiQuery*>(query.get()), &e.error));
  if (e.error != nullptr) return ERROR_FUNCTION_FAILED;
  if (!r) return ERROR_NO_MORE_ITEMS;
  *record = std::move(r);
  return ERROR_SUCCESS;
}

std::string RecordString(const LibmsiObject& record, unsigned field) {
  Guard guard(LibmsiMutex());
  gchar* text = libmsi_record_get_string(static_cast<LibmsiRecord*>(record.get()), field);
  if (text == nullptr) return {};
  std::string result(text);
  g_free(text);
  return result;
}

ReadStatus ReadRows(const LibmsiObject& database, const std::string& sql, unsigned columns,
                    std::vector<Row>* rows) {
  Guard guard(LibmsiMutex());
  rows->clear();
  // Asking for a missing table has libmsi print warnings; ask the catalogue first.
  if (!TableExists(database, TableOf(sql))) return ReadStatus::kNoTable;
  LibmsiObject query;
  if (RunQuery(database, sql, &query) != ERROR_SUCCESS) return ReadStatus::kFailed;
  const bool read = ForEachRecord(query, [&](const LibmsiObject& record) {
    auto* rec = static_cast<LibmsiRecord*>(record.get());
    if (libmsi_record_get_field_count(rec) < columns) return false;
    Row row;
    for (unsigned i = 1; i <= columns; ++i) {
      if (libmsi_record_is_null(rec, i))
        row.emplace_back(std::nullopt);
      else
        row.emplace_back(RecordString(record, i));
    }
    rows->push_back(std::move(row));
    return true;
  });
  return read ? ReadStatus::kRead : ReadStatus::kFailed;
}

bool ReadStream(const LibmsiObject& database, const std::string& name, std::vector<uint8_t>* data) {
  Guard guard(LibmsiMutex());
  data->clear();
  std::string quoted;
  for (char c : name) {
    if (c == '\'') return false;  // no stream name of a valid package holds a quote
    quoted += c;
  }
  LibmsiObject query;
  if (RunQuery(database, "SELECT `Name`,`Data` FROM `_Streams` WHERE `Name`='" + quoted + "'", &query) !=
      ERROR_SUCCESS)
    return false;
  LibmsiObject record;
  if (FetchRecord(query, &record) != ERROR_SUCCESS) return false;
  LibmsiObject stream = Own(libmsi_record_get_stream(static_cast<LibmsiRecord*>(record.get()), 2));
  if (!stream) return false;
  auto* in = static_cast<GInputStream*>(stream.get());
  uint8_t buffer[65536];
  for (;;) {
    ErrorHolder e;
    const gssize n = g_input_stream_read(in, buffer, sizeof buffer, nullptr, &e.error);
    if (n < 0) return false;
    if (n == 0) break;
    data->insert(data->end(), buffer, buffer + n);
  }
  return true;
}

bool ReadRemainingRows(const LibmsiObject& query) {
  Guard guard(LibmsiMutex());
  return ForEachRecord(query, [](const LibmsiObject& record) {
    const unsigned fields = libmsi_record_get_field_count(static_cast<LibmsiRecord*>(record.get()));
    for (unsigned i = 0; i <= fields; ++i) (void)RecordString(record, i);
    return true;
  });
}

}  // namespace tonvik::msi
