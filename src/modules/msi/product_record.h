// The machine hive's record of installed products:
//   HKEY_LOCAL_MACHINE\SOFTWARE\Quellbrook\Installer\Products\<ProductCode>
//     "ProductName", "Version" (REG_SZ), "Package" (the package's path)
//   ...\<ProductCode>\Files
//     one REG_SZ per placed file: the File key → the file's full path
//   ...\<ProductCode>\Shortcuts
//     one REG_SZ per desktop entry: the Shortcut key → the entry's full path
// The product counts as installed once "Version" is there; it is written last.
#pragma once
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tonvik::msi {

inline constexpr char16_t kProductsKey[] = u"SOFTWARE\\Quellbrook\\Installer\\Products";

// A product code: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in hexadecimal digits.
bool IsProductCode(std::u16string_view code);

bool IsProductInstalled(std::u16string_view code);

struct ProductRecord {
  std::string code;
  std::string name;
  std::string version;
  std::string package;
  std::map<std::string, std::string> files;      // File key → full path
  std::map<std::string, std::string> shortcuts;  // Shortcut key → full path
};

// False when the hive cannot be written.
bool WriteProductRecord(const ProductRecord& record);

}  // namespace tonvik::msi
