// Registry table rows turned into hive writes. Roots: 2 (HKEY_LOCAL_MACHINE)
// and -1 (per-machine or per-user: per-machine here; wixl writes it as 4) go
// to the machine hive, 1 (HKEY_CURRENT_USER) to
// the user hive; 0 (HKEY_CLASSES_ROOT) and 3 (HKEY_USERS) are refused. Key,
// name and value are formatted text. Values:
//   "#123" / "#-5"   REG_DWORD          "#%text"  REG_EXPAND_SZ
//   "#xA0B1"         REG_BINARY         "##text"  REG_SZ "#text"
//   anything else    REG_SZ             null      the key alone
// A multi-string value ("[~]") is refused.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "formatted.h"
#include "package.h"
#include "platform/registry.h"

namespace tonvik::msi {

struct RegistryWrite {
  reg::Root root = reg::Root::LocalMachine;
  std::u16string subkey;
  bool key_only = false;
  std::u16string name;
  uint32_t type = reg::kSz;
  std::vector<uint8_t> data;
};

enum class RowStatus { kReady, kInvalid, kUnsupported };

RowStatus PrepareRegistryWrite(const RegistryRow& row, const FormatContext& context,
                               RegistryWrite* write, std::string* reason);

// False when the hive cannot be written.
bool ApplyRegistryWrite(const RegistryWrite& write);

}  // namespace tonvik::msi
