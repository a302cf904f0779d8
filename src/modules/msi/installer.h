// MsiInstallProductW's work: reads the package, places its files, writes its
// registry values and records the product, all or nothing.
#pragma once
#include <cstdint>
#include <string>

namespace tonvik::msi {

// A Windows Installer code: ERROR_SUCCESS, ERROR_INVALID_COMMAND_LINE,
// ERROR_INSTALL_PACKAGE_OPEN_FAILED, ERROR_INSTALL_PACKAGE_INVALID,
// ERROR_INSTALL_FAILURE or ERROR_INSTALL_USEREXIT. One installation runs at a
// time; a second caller waits.
uint32_t InstallProduct(const std::string& package_path, const std::string& command_line);

}  // namespace tonvik::msi
