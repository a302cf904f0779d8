// A copy of a hive file taken before an installation writes to it, put back
// when the installation is taken back. Values other programs write in between
// are lost with it; installations are short and rare.
#pragma once
#include <optional>
#include <string>

#include "platform/registry.h"

namespace tonvik::msi {

class HiveSnapshot {
 public:
  explicit HiveSnapshot(reg::Root root);
  // Puts the hive back as it was (removes it when there was none). False when
  // the file cannot be replaced.
  bool Restore() const;

 private:
  std::string path_;
  std::optional<std::string> content_;  // nullopt: no hive file existed
};

}  // namespace tonvik::msi
