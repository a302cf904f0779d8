// The installer engine's texts from outside: a command line (the first half
// of the input) and a formatted value of a package (the second half). A
// command line that parses prints back to one that parses the same; a
// formatted value resolves without reading past its text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>

#include "modules/msi/command_line.h"
#include "modules/msi/formatted.h"

namespace {

void Check(bool ok, const char* what, const std::string& detail = "") {
  if (ok) return;
  std::fprintf(stderr, "msi text: %s %s\n", what, detail.c_str());
  std::abort();
}

std::string Quoted(const std::string& value) {
  std::string out = "\"";
  for (char c : value) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::string line = input.substr(0, size / 2);
  const std::string value = input.substr(size / 2);

  const auto properties = tonvik::msi::ParseCommandLine(line);
  if (properties) {
    std::string printed;
    for (const auto& [name, v] : *properties) printed += name + "=" + Quoted(v) + " ";
    const auto again = tonvik::msi::ParseCommandLine(printed);
    Check(again.has_value(), "the printed command line does not parse", printed);
    Check(*again == *properties, "the printed command line parses differently", printed);
  }

  const tonvik::msi::Properties known = {{"INSTALLDIR", "/opt/Tonvik/"}, {"ProductName", "Tonvik"}};
  const std::map<std::string, std::string> files = {{"vandral", "/opt/Tonvik/vandral"}};
  const std::map<std::string, std::string> components = {{"Programs", "/opt/Tonvik/"}};
  const std::set<std::string> refused = {"DesktopFolder"};
  tonvik::msi::FormatContext context{properties ? &*properties : &known, &files, &components, &refused};
  (void)tonvik::msi::FormatText(value, context);
  return 0;
}
