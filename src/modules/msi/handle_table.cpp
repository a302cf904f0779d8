#include "handle_table.h"

#include <map>
#include <mutex>

namespace tonvik::msi {

namespace {

struct Table {
  std::mutex mutex;
  std::map<uint32_t, std::shared_ptr<HandleEntry>> entries;
  uint32_t next = 1;
};

Table& TheTable() {
  static Table* table = new Table;  // never destroyed: handles may be closed during exit
  return *table;
}

}  // namespace

uint32_t AddHandle(HandleKind kind, LibmsiObject object) {
  Table& t = TheTable();
  std::lock_guard lock(t.mutex);
  if (t.next == 0) return 0;  // every number was used once
  const uint32_t handle = t.next++;
  auto entry = std::make_shared<HandleEntry>();
  entry->kind = kind;
  entry->object = std::move(object);
  t.entries[handle] = std::move(entry);
  return handle;
}

std::shared_ptr<HandleEntry> FindHandle(uint32_t handle, HandleKind kind) {
  Table& t = TheTable();
  std::lock_guard lock(t.mutex);
  auto it = t.entries.find(handle);
  if (it == t.entries.end() || it->second->kind != kind) return nullptr;
  return it->second;
}

bool CloseHandle(uint32_t handle) {
  std::shared_ptr<HandleEntry> entry;
  {
    Table& t = TheTable();
    std::lock_guard lock(t.mutex);
    auto it = t.entries.find(handle);
    if (it == t.entries.end()) return false;
    entry = std::move(it->second);
    t.entries.erase(it);
  }
  return true;  // the object goes with the last holder, outside the lock
}

}  // namespace tonvik::msi
