// A stand-in msi.so for the setup's tests: the Windows Installer functions the
// setup resolves, each call appended as a line to the file FAKE_MSI_LOG names.
// Answers, from the environment:
//   FAKE_MSI_VERSION     MsiGetFileVersionA's version ("error": it fails);
//                        unset: the version note of the file asked about
//   FAKE_MSI_STATE       MsiQueryProductStateW's state (default -1, unknown)
//   FAKE_MSI_RESULT      MsiInstallProductW's result (default 0) ...
//   FAKE_MSI_RESULT_FOR  ... for the package of this file name only
//   FAKE_MSI_PROGRESS    progress messages sent to the external handler during
//                        each installation, among other kinds of messages
//   FAKE_MSI_HOLD        a file: each installation then holds until the file
//                        exists, sending progress messages all the while; when
//                        the handler answers IDCANCEL it gives up
//                        (ERROR_INSTALL_USEREXIT) ...
//   FAKE_MSI_DEAF        ... unless this is set: then it logs the answer and
//                        holds on, as an engine inside a long call would
// Each call that hands out a handle logs it as "-> N"; the numbers count up
// from 11 and are never handed out twice.
// A package is a text file whose first line is its ProductCode; one that
// cannot be opened fails to install (ERROR_INSTALL_PACKAGE_OPEN_FAILED).
#include <cstdio>
#include <cstdlib>
#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include "modules/msi/msi.h"
#include "platform/file_version.h"

TONVIK_FILE_VERSION_NOTE("3.1.4000.2435")

namespace {

std::string Narrow(const char16_t* text) {
  std::string out;
  for (; text && *text; ++text) out += *text < 0x80 ? char(*text) : '?';
  return out;
}

std::u16string Widen(const std::string& text) { return std::u16string(text.begin(), text.end()); }

void Log(const std::string& line) {
  if (const char* path = std::getenv("FAKE_MSI_LOG")) std::ofstream(path, std::ios::app) << line << '\n';
}

int EnvInt(const char* name, int fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::atoi(v) : fallback;
}

// The handles handed out and not closed, each with its kind: the package read
// by MsiOpenDatabaseW, a view of it, a record fetched from a view.
enum class Kind { kDatabase, kView, kRecord };
std::map<MSIHANDLE, Kind> open_handles;
MSIHANDLE next_handle = 11;
std::string product_code;

MSIHANDLE HandOut(Kind kind, std::string& log_line) {
  const MSIHANDLE h = next_handle++;
  open_handles[h] = kind;
  log_line += " -> " + std::to_string(h);
  return h;
}

bool Is(MSIHANDLE h, Kind kind) {
  const auto it = open_handles.find(h);
  return it != open_handles.end() && it->second == kind;
}

INSTALLUI_HANDLERW handler = nullptr;
void* handler_context = nullptr;
uint32_t handler_filter = 0;

}  // namespace

#define EXPORT [[gnu::visibility("default")]]

extern "C" {

EXPORT uint32_t MsiGetFileVersionA(const char* path, char* version, uint32_t* version_size, char*, uint32_t*) {
  Log(std::string("MsiGetFileVersionA ") + path);
  std::string answer;
  if (const char* v = std::getenv("FAKE_MSI_VERSION")) {
    if (std::strcmp(v, "error") == 0) return ERROR_FILE_NOT_FOUND;
    answer = v;
  } else if (auto note = tonvik::ReadFileVersion(path)) {
    answer = *note;
  } else {
    return ERROR_FILE_NOT_FOUND;
  }
  if (answer.size() + 1 > *version_size) return ERROR_MORE_DATA;
  std::memcpy(version, answer.c_str(), answer.size() + 1);
  *version_size = uint32_t(answer.size());
  return ERROR_SUCCESS;
}

EXPORT INSTALLUILEVEL MsiSetInternalUI(INSTALLUILEVEL level, void** window) {
  Log("MsiSetInternalUI " + std::to_string(level) + (window && *window ? " window" : " no window"));
  return INSTALLUILEVEL_DEFAULT;
}

EXPORT INSTALLUI_HANDLERW MsiSetExternalUIW(INSTALLUI_HANDLERW h, uint32_t filter, void* context) {
  char text[64];
  std::snprintf(text, sizeof text, "MsiSetExternalUIW 0x%X%s", filter, context ? " context" : " no context");
  Log(text);
  INSTALLUI_HANDLERW previous = handler;
  handler = h;
  handler_filter = filter;
  handler_context = context;
  return previous;
}

EXPORT uint32_t MsiOpenDatabaseW(const char16_t* path, const char16_t* persist, MSIHANDLE* database) {
  std::string line = "MsiOpenDatabaseW " + Narrow(path) + (persist == MSIDBOPEN_READONLY ? " read-only" : " writable");
  std::ifstream in(Narrow(path));
  if (!in) {
    Log(line);
    return 110;  // ERROR_OPEN_FAILED
  }
  std::getline(in, product_code);
  *database = HandOut(Kind::kDatabase, line);
  Log(line);
  return ERROR_SUCCESS;
}

EXPORT uint32_t MsiDatabaseOpenViewW(MSIHANDLE database, const char16_t* query, MSIHANDLE* view) {
  std::string line = "MsiDatabaseOpenViewW " + std::to_string(database) + " " + Narrow(query);
  if (!Is(database, Kind::kDatabase)) {
    Log(line);
    return ERROR_INVALID_HANDLE;
  }
  *view = HandOut(Kind::kView, line);
  Log(line);
  return ERROR_SUCCESS;
}

EXPORT uint32_t MsiViewExecute(MSIHANDLE view, MSIHANDLE parameters) {
  Log("MsiViewExecute " + std::to_string(view) + " " + std::to_string(parameters));
  return Is(view, Kind::kView) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

EXPORT uint32_t MsiViewFetch(MSIHANDLE view, MSIHANDLE* record) {
  std::string line = "MsiViewFetch " + std::to_string(view);
  if (!Is(view, Kind::kView) || product_code.empty()) {
    Log(line);
    return Is(view, Kind::kView) ? ERROR_NO_MORE_ITEMS : ERROR_INVALID_HANDLE;
  }
  *record = HandOut(Kind::kRecord, line);
  Log(line);
  return ERROR_SUCCESS;
}

EXPORT uint32_t MsiRecordGetStringW(MSIHANDLE record, uint32_t field, char16_t* buffer, uint32_t* size) {
  Log("MsiRecordGetStringW " + std::to_string(record) + " " + std::to_string(field) + " " + std::to_string(*size));
  if (!Is(record, Kind::kRecord)) return ERROR_INVALID_HANDLE;
  const std::u16string value = Widen(product_code);
  const uint32_t room = *size;
  *size = uint32_t(value.size());
  if (value.size() + 1 > room) return ERROR_MORE_DATA;
  std::memcpy(buffer, value.c_str(), (value.size() + 1) * sizeof(char16_t));
  return ERROR_SUCCESS;
}

#ifndef WITHOUT_QUERY_STATE
EXPORT INSTALLSTATE MsiQueryProductStateW(const char16_t* product) {
  Log("MsiQueryProductStateW " + Narrow(product));
  return EnvInt("FAKE_MSI_STATE", INSTALLSTATE_UNKNOWN);
}
#endif

EXPORT uint32_t MsiCloseHandle(MSIHANDLE h) {
  Log("MsiCloseHandle " + std::to_string(h));
  return open_handles.erase(h) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

EXPORT uint32_t MsiInstallProductW(const char16_t* package, const char16_t* command_line) {
  const std::string path = Narrow(package);
  Log("MsiInstallProductW " + path + " [" + (command_line ? Narrow(command_line) : "null") + "]");
  // Progress messages among the other kinds the filter lets through: an
  // action starting before each, common data after.
  const int progress = EnvInt("FAKE_MSI_PROGRESS", 0);
  bool all_zero = true;
  auto send = [&](uint32_t type, const char16_t* text) {
    if (!handler || !(handler_filter & (1u << (type >> 24)))) return;
    all_zero &= handler(handler_context, type, text) == 0;
  };
  for (int i = 0; i < progress; ++i) {
    send(0x08000000, u"Action 12:00:00: InstallFiles.");                   // action start
    send(INSTALLMESSAGE_PROGRESS | (i % 2 ? 0x40 : 0), u"1: 2 2: 1024 3: 0");  // progress (with style bits)
    send(0x0B000000, u"1: 0 2: 1033 3: 1252");                              // common data
  }
  if (const char* hold = std::getenv("FAKE_MSI_HOLD"); hold && *hold) {
    Log("holding");
    const bool deaf = std::getenv("FAKE_MSI_DEAF") != nullptr;
    bool ignored = false;
    while (!std::ifstream(hold)) {
      if (handler && handler(handler_context, INSTALLMESSAGE_PROGRESS, u"1: 2 2: 1 3: 0") == 2) {
        if (!deaf) {
          Log("canceled");
          return ERROR_INSTALL_USEREXIT;
        }
        if (!ignored) Log("cancel ignored");
        ignored = true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Log("released");
  }
  send(0x04000000, u"Installation success or error status: 0.");  // info
  Log(all_zero ? "handler answered 0" : "handler answered otherwise");
  if (!std::ifstream(path)) return ERROR_INSTALL_PACKAGE_OPEN_FAILED;
  const char* only = std::getenv("FAKE_MSI_RESULT_FOR");
  const std::string name = path.substr(path.rfind('/') + 1);
  if (only && *only && name != only) return ERROR_SUCCESS;
  return uint32_t(EnvInt("FAKE_MSI_RESULT", 0));
}

}  // extern "C"
