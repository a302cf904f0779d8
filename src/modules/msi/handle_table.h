// The process-wide table of open handles: numbers handed to callers for the
// databases, views and records they open. Thread-safe; a closed number is
// never handed out again while the process lives, so a stale number is
// always refused.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>

#include "libmsi_access.h"

namespace tonvik::msi {

enum class HandleKind { kDatabase, kView, kRecord };

struct HandleEntry {
  HandleKind kind;
  LibmsiObject object;
  std::atomic<bool> executed{false};  // views: MsiViewExecute succeeded
};

// A new handle for the object; 0 when the table is full.
uint32_t AddHandle(HandleKind kind, LibmsiObject object);
// The entry behind an open handle of that kind, shared so a concurrent close
// does not pull it away from under a caller; nullptr when there is none.
std::shared_ptr<HandleEntry> FindHandle(uint32_t handle, HandleKind kind);
// False when the handle is not open.
bool CloseHandle(uint32_t handle);

}  // namespace tonvik::msi
