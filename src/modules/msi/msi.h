// The Windows Installer interface of msi.so, as the setup resolves it at run
// time: the functions keep Windows Installer's names, arguments, codes and
// semantics. Wide strings are UTF-16 (char16_t); handles are 32-bit numbers.
#pragma once
#include <cstdint>

#include "platform/exit_codes.h"

extern "C" {

using MSIHANDLE = uint32_t;
using INSTALLSTATE = int;
using INSTALLUILEVEL = int;
// Answers of a handler: 0 not handled, 1 OK, -1 error, 2 cancel (IDCANCEL),
// and so on.
using INSTALLUI_HANDLERW = int (*)(void* context, uint32_t message_type, const char16_t* message);

// Codes (winerror.h)
inline constexpr uint32_t ERROR_SUCCESS = 0;
inline constexpr uint32_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr uint32_t ERROR_ACCESS_DENIED = 5;
inline constexpr uint32_t ERROR_INVALID_HANDLE = 6;
inline constexpr uint32_t ERROR_INVALID_DATA = 13;
inline constexpr uint32_t ERROR_OPEN_FAILED = 110;
inline constexpr uint32_t ERROR_INVALID_PARAMETER = 87;
inline constexpr uint32_t ERROR_MORE_DATA = 234;
inline constexpr uint32_t ERROR_NO_MORE_ITEMS = 259;
inline constexpr uint32_t ERROR_FILE_INVALID = 1006;
inline constexpr uint32_t ERROR_BAD_QUERY_SYNTAX = 1615;
inline constexpr uint32_t ERROR_INSTALL_USEREXIT = 1602;
inline constexpr uint32_t ERROR_INSTALL_FAILURE = 1603;
inline constexpr uint32_t ERROR_INSTALL_PACKAGE_OPEN_FAILED = 1619;
inline constexpr uint32_t ERROR_INSTALL_PACKAGE_INVALID = 1620;
inline constexpr uint32_t ERROR_UNKNOWN_PRODUCT = 1605;
inline constexpr uint32_t ERROR_FUNCTION_FAILED = 1627;
inline constexpr uint32_t ERROR_INVALID_COMMAND_LINE = 1639;
inline constexpr uint32_t ERROR_SUCCESS_REBOOT_REQUIRED = tonvik::kRestartRequired;

// Product states
inline constexpr INSTALLSTATE INSTALLSTATE_INVALIDARG = -2;
inline constexpr INSTALLSTATE INSTALLSTATE_UNKNOWN = -1;
inline constexpr INSTALLSTATE INSTALLSTATE_ADVERTISED = 1;
inline constexpr INSTALLSTATE INSTALLSTATE_DEFAULT = 5;

// UI levels
inline constexpr INSTALLUILEVEL INSTALLUILEVEL_NOCHANGE = 0;
inline constexpr INSTALLUILEVEL INSTALLUILEVEL_DEFAULT = 1;
inline constexpr INSTALLUILEVEL INSTALLUILEVEL_NONE = 2;

// Message types (the high byte) and their filter bits (1 << type).
inline constexpr uint32_t INSTALLMESSAGE_ACTIONSTART = 0x08000000;
inline constexpr uint32_t INSTALLMESSAGE_ACTIONDATA = 0x09000000;
inline constexpr uint32_t INSTALLMESSAGE_PROGRESS = 0x0A000000;
inline constexpr uint32_t kSetupMessageFilter = 0x7FDF;

// MsiOpenDatabaseW's persist argument: read-only.
#define MSIDBOPEN_READONLY (static_cast<const char16_t*>(nullptr))

using MsiGetFileVersionAFn = uint32_t (*)(const char* path, char* version, uint32_t* version_size,
                                          char* language, uint32_t* language_size);
using MsiSetInternalUIFn = INSTALLUILEVEL (*)(INSTALLUILEVEL level, void** window);
using MsiSetExternalUIWFn = INSTALLUI_HANDLERW (*)(INSTALLUI_HANDLERW handler, uint32_t filter,
                                                  void* context);
using MsiInstallProductWFn = uint32_t (*)(const char16_t* package, const char16_t* command_line);
using MsiOpenDatabaseWFn = uint32_t (*)(const char16_t* path, const char16_t* persist,
                                        MSIHANDLE* database);
using MsiDatabaseOpenViewWFn = uint32_t (*)(MSIHANDLE database, const char16_t* query,
                                            MSIHANDLE* view);
using MsiViewExecuteFn = uint32_t (*)(MSIHANDLE view, MSIHANDLE parameters);
using MsiViewFetchFn = uint32_t (*)(MSIHANDLE view, MSIHANDLE* record);
using MsiRecordGetStringWFn = uint32_t (*)(MSIHANDLE record, uint32_t field, char16_t* buffer,
                                           uint32_t* size);
using MsiQueryProductStateWFn = INSTALLSTATE (*)(const char16_t* product);
using MsiCloseHandleFn = uint32_t (*)(MSIHANDLE handle);

}  // extern "C"
