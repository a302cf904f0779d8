// Test helper: runs a shell command and gives back what it printed.
#pragma once
#include <cstdio>
#include <string>

namespace tonvik::testing {

// The command's standard output; its exit status (as pclose gives it) in
// *status when asked.
inline std::string Shell(const std::string& command, int* status = nullptr) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int rc = pclose(p);
  if (status) *status = rc;
  return out;
}

}  // namespace tonvik::testing
