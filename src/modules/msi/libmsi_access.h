// The engine's only door to libmsi: opens databases read-only, runs queries,
// reads records and streams. Objects are libmsi's GObjects behind shared
// pointers that drop their reference when the last holder goes; callers never
// see a GObject type.
//
// Every function here may be called from any thread: each one, and the
// dropping of the last reference, runs under one process-wide lock (see
// LibmsiMutex), because libgsf under libmsi is not thread-safe.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tonvik::msi {

using LibmsiObject = std::shared_ptr<void>;

// The lock every call into libmsi and libgsf holds. libgsf registers its
// GObject types (GsfInputStdio, GsfInfileMSOle, ...) on first use without any
// guard, so two threads opening their first packages at once register a type
// twice and corrupt the type system; libmsi itself promises nothing about
// threads either. Recursive, so that an object dropped inside a locked call
// may take it again. Whoever forks a child that goes on to use libmsi holds it
// across the fork, so that no other thread is inside the libraries then.
std::recursive_mutex& LibmsiMutex();

// In a child forked with LibmsiMutex held: makes the lock a fresh, unlocked
// one. The thread that holds it does not exist in the child, and a recursive
// mutex knows its owner by thread ID, so the child's own thread would wait
// for it forever.
void RenewLibmsiMutexInChild();

enum class OpenStatus { kOpened, kMissing, kUnreadable };

// Opens the database at `path` read-only. kMissing when no such file exists,
// kUnreadable when it exists but libmsi cannot open it as a database.
OpenStatus OpenDatabase(const std::string& path, LibmsiObject* database);

// Windows Installer codes: ERROR_SUCCESS, ERROR_BAD_QUERY_SYNTAX, ...
uint32_t OpenQuery(const LibmsiObject& database, const std::string& sql, LibmsiObject* query);
// `parameters` may be empty (no parameter record).
uint32_t ExecuteQuery(const LibmsiObject& query, const LibmsiObject& parameters);
// ERROR_NO_MORE_ITEMS after the last row; ERROR_FUNCTION_FAILED on a read error.
uint32_t FetchRecord(const LibmsiObject& query, LibmsiObject* record);

// Field text as libmsi renders it: integers in decimal, null fields and fields
// beyond the record's count empty.
std::string RecordString(const LibmsiObject& record, unsigned field);

// One row of a table, every column as text; nullopt for a null field.
using Row = std::vector<std::optional<std::string>>;

enum class ReadStatus { kRead, kNoTable, kFailed };

// Runs `sql` and collects every row with `columns` fields. kNoTable when the
// query names a table the database does not have; kFailed when a row cannot
// be read.
ReadStatus ReadRows(const LibmsiObject& database, const std::string& sql, unsigned columns,
                    std::vector<Row>* rows);

// The bytes of the named stream of the `_Streams` table; false when the stream
// is missing or cannot be read to its end.
bool ReadStream(const LibmsiObject& database, const std::string& name, std::vector<uint8_t>* data);

// Reads every row of every table the catalogue lists, each field as text;
// false when a table or a row cannot be read.
bool ReadEveryTable(const LibmsiObject& database);

}  // namespace tonvik::msi
