// Modules loaded by name, as the system loads its own libraries: the running
// program's folder first, then the system modules folder (the machine hive's
// HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion value
// "SystemModulesDir", default /usr/local/lib/quellbrook).
#pragma once
#include <string>

#include "platform/dynamic_library.h"

namespace tonvik {

inline constexpr char16_t kWindowsVersionKey[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
inline constexpr char kDefaultSystemModulesDir[] = "/usr/local/lib/quellbrook";

// The folder of the running executable, ending with '/'.
std::string ProgramFolder();
// A folder named by a value of the machine hive's kWindowsVersionKey at the
// time of the call ("ProgramFilesDir"), ending with '/'; the fallback when the
// value is missing, empty or not a string.
std::string MachineFolder(std::u16string_view value_name, const char* fallback);
// The system modules folder: MachineFolder("SystemModulesDir", default).
std::string SystemModulesFolder();
// The full path of the module in the first of the two folders that holds the
// file, without loading it; empty when neither does.
std::string FindModuleByName(const std::string& name);
// The first of the two folders that holds the file; the library is not loaded
// when neither does (or the loader refuses the file found).
DynamicLibrary LoadModuleByName(const std::string& name);

}  // namespace tonvik
