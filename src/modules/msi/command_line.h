// Installer command lines: PROPERTY=VALUE pairs separated by blanks. A value
// may be quoted ("C:\Program Files"), a doubled quote inside quotes stands for
// one quote, and an empty value is written PROPERTY="" or PROPERTY=.
#pragma once
#include <map>
#include <optional>
#include <string>

namespace tonvik::msi {

using Properties = std::map<std::string, std::string>;

// nullopt when the line is malformed: a word without '=', a name that is not
// a property name, or an unterminated quote.
std::optional<Properties> ParseCommandLine(const std::string& line);

}  // namespace tonvik::msi
