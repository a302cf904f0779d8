// The registry, kept in two hive files in the text form of regedit's export:
//   machine hive  <first of $XDG_CONFIG_DIRS, default /etc/xdg>/Quellbrook/system.reg
//   user hive     <$XDG_CONFIG_HOME, default ~/.config>/Quellbrook/user.reg
// A key exists when its section exists. Values are held as the bytes Windows
// would hold (UTF-16LE strings with their terminator, 4-byte DWORDs), so type
// and length checks of the readers behave as on the original platform.
//
// Every write takes an exclusive lock on the hive, re-reads it, changes the one
// value and replaces the file atomically (temporary file, fsync, rename), so two
// programs writing different values lose neither and a crash never leaves a
// half-written hive. Lines that cannot be parsed are skipped when reading and
// kept verbatim when writing.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tonvik::reg {

enum class Root { LocalMachine, CurrentUser };

enum ValueType : uint32_t {
  kNone = 0,
  kSz = 1,
  kExpandSz = 2,
  kBinary = 3,
  kDword = 4,
};

// The file behind a root, from the XDG environment at the time of the call.
std::string HivePath(Root root);

// How many times this process has parsed the hive of `root`, for reading or
// for writing. Lets tests count the work behind a load.
uint64_t HiveParseCount(Root root);

// The points a write passes: the hive locked, the new text written and synced
// beside it, the hive replaced by it. A crash before the replacement leaves
// the hive as it was, after it the new hive.
enum class WriteStep { Locked, TemporaryWritten, Replaced };
// Called at each step of every write of this process (nullptr: none), so a
// test can end a writer at an exact point as a kill would.
void SetWriteStepHook(void (*hook)(WriteStep step));

// The values of one key as a single read of its hive found them; Query
// answers as Key::Query would have at that moment (names compare without case,
// the last of several lines with one name wins).
class KeyValues {
 public:
  bool Query(std::u16string_view name, uint32_t* type, std::vector<uint8_t>* data) const;

 private:
  friend class Key;
  struct Value {
    uint32_t type;
    std::vector<uint8_t> data;
  };
  std::map<std::string, Value> values_;  // by the UTF-8 name, case folded as the hive compares
};

class Key {
 public:
  // Fails (nullopt) when the key's section does not exist or the hive is unreadable.
  static std::optional<Key> Open(Root root, std::u16string_view subkey);
  // Opens the key, creating its section when missing. Fails when the hive
  // cannot be written.
  static std::optional<Key> Create(Root root, std::u16string_view subkey);

  // Reads the value as it is in the hive now. Fails when the value is missing.
  // Each call reads and parses the whole hive; for several values use ReadAll.
  bool Query(std::u16string_view name, uint32_t* type, std::vector<uint8_t>* data) const;

  // Every value of the key from one parse of the hive. Fails (nullopt) as Open
  // does: the hive is unreadable or the key's section does not exist (any more).
  static std::optional<KeyValues> ReadAll(Root root, std::u16string_view subkey);
  std::optional<KeyValues> ReadAll() const { return ReadAll(root_, subkey_); }

  // Replaces (or adds) one value. Returns false when the hive cannot be written.
  bool Set(std::u16string_view name, uint32_t type, const void* data, size_t size) const;
  bool SetDword(std::u16string_view name, int32_t value) const;
  // A REG_SZ or REG_EXPAND_SZ value up to its terminator; nullopt when the
  // value is missing or of another type.
  std::optional<std::u16string> QueryString(std::u16string_view name) const;
  // REG_SZ with the terminator: 2 × (length + 1) bytes.
  bool SetString(std::u16string_view name, std::u16string_view value) const;

  Root root() const { return root_; }
  const std::u16string& subkey() const { return subkey_; }

 private:
  Key(Root root, std::u16string subkey) : root_(root), subkey_(std::move(subkey)) {}
  Root root_;
  std::u16string subkey_;
};

}  // namespace tonvik::reg
