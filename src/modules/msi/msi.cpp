// msi.so's exported functions: Windows Installer's names, arguments and codes
// over the engine's parts.
#include "msi.h"

#include <sys/stat.h>

#include <cstring>
#include <optional>
#include <string>

#include "child_read.h"
#include "handle_table.h"
#include "installer.h"
#include "libmsi_access.h"
#include "platform/file_version.h"
#include "platform/text.h"
#include "product_record.h"
#include "user_interface.h"

TONVIK_FILE_VERSION_NOTE("3.1.4000")

namespace {

using namespace tonvik::msi;

std::string Utf8(const char16_t* text) {
  if (text == nullptr) return {};
  return tonvik::ToUtf8(std::u16string_view(text));
}

// Windows' rules for returned text: the size in characters without the
// terminator on return; when the buffer is too small, ERROR_MORE_DATA with
// the needed size and as much of the text as fits, terminated.
template <typename Char>
uint32_t ReturnText(const std::basic_string<Char>& text, Char* buffer, uint32_t* size) {
  if (buffer == nullptr) {
    if (size != nullptr) *size = static_cast<uint32_t>(text.size());
    return ERROR_SUCCESS;
  }
  if (size == nullptr) return ERROR_INVALID_PARAMETER;
  const uint32_t room = *size;
  *size = static_cast<uint32_t>(text.size());
  if (room <= text.size()) {
    if (room > 0) {
      std::memcpy(buffer, text.data(), (room - 1) * sizeof(Char));
      buffer[room - 1] = 0;
    }
    return ERROR_MORE_DATA;
  }
  std::memcpy(buffer, text.data(), text.size() * sizeof(Char));
  buffer[text.size()] = 0;
  return ERROR_SUCCESS;
}

}  // namespace

extern "C" {

[[gnu::visibility("default")]] uint32_t MsiGetFileVersionA(const char* path, char* version,
                                                           uint32_t* version_size, char* language,
                                                           uint32_t* language_size) {
  if (path == nullptr || (version != nullptr && version_size == nullptr) ||
      (language != nullptr && language_size == nullptr))
    return ERROR_INVALID_PARAMETER;
  struct stat st {};
  if (::stat(path, &st) != 0) return ERROR_FILE_NOT_FOUND;
  const std::optional<std::string> text = tonvik::ReadFileVersion(path);
  if (!text) return ERROR_FILE_INVALID;
  const uint32_t rc = ReturnText(*text, version, version_size);
  // Our modules carry no language; it reads as empty.
  const uint32_t lrc = ReturnText(std::string(), language, language_size);
  return rc != ERROR_SUCCESS ? rc : lrc;
}

[[gnu::visibility("default")]] INSTALLUILEVEL MsiSetInternalUI(INSTALLUILEVEL level, void** window) {
  return SetInternalUI(level, window);
}

[[gnu::visibility("default")]] INSTALLUI_HANDLERW MsiSetExternalUIW(INSTALLUI_HANDLERW handler,
                                                                   uint32_t filter, void* context) {
  return SetExternalUI(handler, filter, context);
}

[[gnu::visibility("default")]] uint32_t MsiInstallProductW(const char16_t* package,
                                                           const char16_t* command_line) {
  if (package == nullptr || *package == 0) return ERROR_INVALID_PARAMETER;
  return InstallProduct(Utf8(package), Utf8(command_line));
}

[[gnu::visibility("default")]] uint32_t MsiOpenDatabaseW(const char16_t* path, const char16_t* persist,
                                                         MSIHANDLE* database) {
  if (path == nullptr || database == nullptr) return ERROR_INVALID_PARAMETER;
  if (persist != MSIDBOPEN_READONLY) return ERROR_INVALID_PARAMETER;  // read-only only
  // Each call into libmsi below is made in a child first (child_read.h): one
  // that crashes libmsi there is refused here.
  const std::string file = Utf8(path);
  if (!SurvivesInChild([&file] {
        LibmsiObject db;
        OpenDatabase(file, &db);
      }))
    return ERROR_OPEN_FAILED;
  LibmsiObject db;
  if (OpenDatabase(file, &db) != OpenStatus::kOpened) return ERROR_OPEN_FAILED;
  const MSIHANDLE handle = AddHandle(HandleKind::kDatabase, std::move(db));
  if (handle == 0) return ERROR_OPEN_FAILED;
  *database = handle;
  return ERROR_SUCCESS;
}

[[gnu::visibility("default")]] uint32_t MsiDatabaseOpenViewW(MSIHANDLE database, const char16_t* query,
                                                             MSIHANDLE* view) {
  if (query == nullptr || view == nullptr) return ERROR_INVALID_PARAMETER;
  auto db = FindHandle(database, HandleKind::kDatabase);
  if (!db) return ERROR_INVALID_HANDLE;
  const std::string sql = Utf8(query);
  // Parsing a query looks the names up in the package's own tables, and a
  // damaged package can make libmsi's parser dereference a null pointer even
  // after the package opened: the query is first parsed, run without
  // parameters and read to its end (what the caller does next) in a child.
  if (!SurvivesInChild([&db, &sql] {
        LibmsiObject q;
        if (OpenQuery(db->object, sql, &q) == ERROR_SUCCESS && ExecuteQuery(q, {}) == ERROR_SUCCESS)
          ReadRemainingRows(q);
      }))
    return ERROR_BAD_QUERY_SYNTAX;
  LibmsiObject q;
  if (const uint32_t rc = OpenQuery(db->object, sql, &q); rc != ERROR_SUCCESS) return rc;
  const MSIHANDLE handle = AddHandle(HandleKind::kView, std::move(q));
  if (handle == 0) return ERROR_FUNCTION_FAILED;
  *view = handle;
  return ERROR_SUCCESS;
}

[[gnu::visibility("default")]] uint32_t MsiViewExecute(MSIHANDLE view, MSIHANDLE parameters) {
  auto v = FindHandle(view, HandleKind::kView);
  if (!v) return ERROR_INVALID_HANDLE;
  LibmsiObject params;
  if (parameters != 0) {
    auto p = FindHandle(parameters, HandleKind::kRecord);
    if (!p) return ERROR_INVALID_HANDLE;
    params = p->object;
  }
  // Fetching and reading the records here afterwards repeats what the child
  // did after this execution, from the same state: those need no child.
  if (!SurvivesInChild([&v, &params] {
        if (ExecuteQuery(v->object, params) == ERROR_SUCCESS) ReadRemainingRows(v->object);
      }))
    return ERROR_FUNCTION_FAILED;
  const uint32_t rc = ExecuteQuery(v->object, params);
  if (rc == ERROR_SUCCESS) v->executed = true;
  return rc;
}

[[gnu::visibility("default")]] uint32_t MsiViewFetch(MSIHANDLE view, MSIHANDLE* record) {
  if (record == nullptr) return ERROR_INVALID_PARAMETER;
  auto v = FindHandle(view, HandleKind::kView);
  if (!v) return ERROR_INVALID_HANDLE;
  if (!v->executed) return ERROR_FUNCTION_FAILED;
  LibmsiObject r;
  if (const uint32_t rc = FetchRecord(v->object, &r); rc != ERROR_SUCCESS) return rc;
  const MSIHANDLE handle = AddHandle(HandleKind::kRecord, std::move(r));
  if (handle == 0) return ERROR_FUNCTION_FAILED;
  *record = handle;
  return ERROR_SUCCESS;
}

[[gnu::visibility("default")]] uint32_t MsiRecordGetStringW(MSIHANDLE record, uint32_t field,
                                                            char16_t* buffer, uint32_t* size) {
  if (buffer != nullptr && size == nullptr) return ERROR_INVALID_PARAMETER;
  auto r = FindHandle(record, HandleKind::kRecord);
  if (!r) return ERROR_INVALID_HANDLE;
  return ReturnText(tonvik::FromUtf8(RecordString(r->object, field)), buffer, size);
}

[[gnu::visibility("default")]] INSTALLSTATE MsiQueryProductStateW(const char16_t* product) {
  if (product == nullptr) return INSTALLSTATE_INVALIDARG;
  const std::u16string_view code(product);
  if (!IsProductCode(code)) return INSTALLSTATE_INVALIDARG;
  return IsProductInstalled(code) ? INSTALLSTATE_DEFAULT : INSTALLSTATE_UNKNOWN;
}

[[gnu::visibility("default")]] uint32_t MsiCloseHandle(MSIHANDLE handle) {
  if (handle == 0) return ERROR_SUCCESS;  // closing the null handle is allowed
  return CloseHandle(handle) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

}  // extern "C"
