#include "package.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <utility>

#include "cabinet.h"
#include "child_read.h"
#include "libmsi_access.h"

namespace tonvik::msi {

namespace {

// Tables whose rows would have the engine run code or manage services.
constexpr const char* kRefusedTables[] = {"CustomAction", "ServiceInstall", "ServiceControl",
                                          "SelfReg",      "Class",          "TypeLib",
                                          "ODBCDriver",   "MsiAssembly",    "DuplicateFile",
                                          "MoveFile",     "IniFile",        "Environment"};

std::string Text(const Row& row, size_t i) { return row[i] ? *row[i] : std::string(); }

bool ToInt(const std::optional<std::string>& text, int64_t* value) {
  if (!text || text->empty()) return false;
  char* end = nullptr;
  *value = std::strtoll(text->c_str(), &end, 10);
  return *end == '\0';
}

// Reads a table the package must have.
bool ReadRequired(const LibmsiObject& db, const std::string& sql, unsigned columns, std::vector<Row>* rows) {
  return ReadRows(db, sql, columns, rows) == ReadStatus::kRead;
}

// Reads a table the package may leave out: no rows when it does.
bool ReadOptional(const LibmsiObject& db, const std::string& sql, unsigned columns, std::vector<Row>* rows) {
  const ReadStatus status = ReadRows(db, sql, columns, rows);
  if (status == ReadStatus::kNoTable) rows->clear();
  return status != ReadStatus::kFailed;
}

// kUnsupported, with the reason, when any of kRefusedTables has a row.
PackageStatus RefuseCodeTables(const LibmsiObject& db, std::string* reason) {
  std::vector<Row> rows;
  for (const char* table : kRefusedTables) {
    if (!ReadOptional(db, std::string("SELECT * FROM `") + table + "`", 1, &rows)) return PackageStatus::kInvalid;
    if (!rows.empty()) {
      *reason = std::string("the package has rows in the ") + table + " table";
      return PackageStatus::kUnsupported;
    }
  }
  return PackageStatus::kRead;
}

bool ReadProperties(const LibmsiObject& db, Package* package) {
  std::vector<Row> rows;
  if (!ReadRequired(db, "SELECT `Property`, `Value` FROM `Property`", 2, &rows)) return false;
  for (const Row& r : rows) package->properties[Text(r, 0)] = Text(r, 1);
  return true;
}

bool ReadDirectories(const LibmsiObject& db, Package* package) {
  std::vector<Row> rows;
  if (!ReadRequired(db, "SELECT `Directory`, `Directory_Parent`, `DefaultDir` FROM `Directory`", 3, &rows))
    return false;
  for (const Row& r : rows) package->directories.push_back({Text(r, 0), Text(r, 1), Text(r, 2)});
  return true;
}

bool ReadComponents(const LibmsiObject& db, Package* package) {
  std::vector<Row> rows;
  if (!ReadRequired(db, "SELECT `Component`, `Directory_` FROM `Component`", 2, &rows)) return false;
  for (const Row& r : rows) package->components.push_back({Text(r, 0), Text(r, 1)});
  return true;
}

// The files in sequence order; false when a size or sequence number is not a number.
bool ReadFiles(const LibmsiObject& db, Package* package) {
  std::vector<Row> rows;
  if (!ReadOptional(db, "SELECT `File`, `Component_`, `FileName`, `FileSize`, `Sequence` FROM `File`", 5, &rows))
    return false;
  for (const Row& r : rows) {
    FileRow f{Text(r, 0), Text(r, 1), Text(r, 2)};
    if (!ToInt(r[3], &f.size) || !ToInt(r[4], &f.sequence)) return false;
    package->files.push_back(std::move(f));
  }
  std::stable_sort(package->files.begin(), package->files.end(),
                   [](const FileRow& a, const FileRow& b) { return a.sequence < b.sequence; });
  return true;
}

bool ReadRegistry(const LibmsiObject& db, Package* package) {
  std::vector<Row> rows;
  if (!ReadOptional(db, "SELECT `Registry`, `Root`, `Key`, `Name`, `Value`, `Component_` FROM `Registry`", 6, &rows))
    return false;
  for (const Row& r : rows) {
    int64_t root = 0;
    if (!ToInt(r[1], &root)) return false;
    package->registry.push_back({Text(r, 0), static_cast<int>(root), Text(r, 2), r[3], r[4], Text(r, 5)});
  }
  return true;
}

bool ReadShortcuts(const LibmsiObject& db, Package* package) {
  std::vector<Row> rows;
  if (!ReadOptional(db,
                    "SELECT `Shortcut`, `Directory_`, `Name`, `Component_`, `Target`, `Arguments`, "
                    "`Description` FROM `Shortcut`",
                    7, &rows))
    return false;
  for (const Row& r : rows)
    package->shortcuts.push_back({Text(r, 0), Text(r, 1), Text(r, 2), Text(r, 3), Text(r, 4), r[5], r[6]});
  return true;
}

struct Medium {
  int64_t last_sequence;
  std::string cabinet;
};

// The media by last sequence number.
bool ReadMedia(const LibmsiObject& db, std::vector<Medium>* media) {
  std::vector<Row> rows;
  if (!ReadOptional(db, "SELECT `DiskId`, `LastSequence`, `Cabinet` FROM `Media`", 3, &rows)) return false;
  for (const Row& r : rows) {
    int64_t last = 0;
    if (!ToInt(r[1], &last)) return false;
    media->push_back({last, Text(r, 2)});
  }
  std::sort(media->begin(), media->end(),
            [](const Medium& a, const Medium& b) { return a.last_sequence < b.last_sequence; });
  return true;
}

using CabinetFiles = std::map<std::string, std::vector<uint8_t>>;

// The files of the cabinet in the named stream, each stream read and
// extracted once; null when it cannot be.
const CabinetFiles* EmbeddedCabinet(const LibmsiObject& db, const std::string& stream,
                                    std::map<std::string, CabinetFiles>* cabinets) {
  auto cab = cabinets->find(stream);
  if (cab == cabinets->end()) {
    std::vector<uint8_t> bytes;
    CabinetFiles files;
    if (!ReadStream(db, stream, &bytes) || !ExtractCabinet(bytes, &files)) return nullptr;
    cab = cabinets->emplace(stream, std::move(files)).first;
  }
  return &cab->second;
}

// Every file comes from the cabinet of the first medium whose last sequence
// number reaches the file's, with the size the File table gives it.
PackageStatus ExtractFiles(const LibmsiObject& db, const std::vector<Medium>& media, Package* package,
                           std::string* reason) {
  std::map<std::string, CabinetFiles> cabinets;
  for (const FileRow& f : package->files) {
    auto medium = std::find_if(media.begin(), media.end(),
                               [&](const Medium& m) { return m.last_sequence >= f.sequence; });
    if (medium == media.end()) return PackageStatus::kInvalid;
    if (medium->cabinet.empty() || medium->cabinet[0] != '#') {
      *reason = "the package's files are not in an embedded cabinet";
      return PackageStatus::kUnsupported;
    }
    const CabinetFiles* files = EmbeddedCabinet(db, medium->cabinet.substr(1), &cabinets);
    if (files == nullptr) return PackageStatus::kInvalid;
    auto data = files->find(f.key);
    if (data == files->end() || static_cast<int64_t>(data->second.size()) != f.size) return PackageStatus::kInvalid;
    package->file_data[f.key] = data->second;
  }
  return PackageStatus::kRead;
}

// The four HashPart fields hold the digest as little-endian 32-bit numbers.
bool DigestMatches(const Row& hash_row, const std::array<uint8_t, 16>& digest) {
  for (size_t part = 0; part < 4; ++part) {
    int64_t value = 0;
    if (!ToInt(hash_row[1 + part], &value)) return false;
    const uint32_t bits = static_cast<uint32_t>(value);
    for (size_t b = 0; b < 4; ++b) {
      if (digest[4 * part + b] != static_cast<uint8_t>(bits >> (8 * b))) return false;
    }
  }
  return true;
}

// The MD5 digests the package holds for its files must match what came out
// of the cabinet.
bool FileHashesMatch(const LibmsiObject& db, const Package& package) {
  std::vector<Row> rows;
  if (!ReadOptional(db, "SELECT `File_`, `HashPart1`, `HashPart2`, `HashPart3`, `HashPart4` FROM `MsiFileHash`", 5,
                    &rows))
    return false;
  for (const Row& r : rows) {
    auto data = package.file_data.find(Text(r, 0));
    if (data == package.file_data.end()) continue;
    if (!DigestMatches(r, Md5(data->second))) return false;
  }
  return true;
}

// The bytes of every file of the package, checked.
PackageStatus ReadFileData(const LibmsiObject& db, Package* package, std::string* reason) {
  if (package->files.empty()) return PackageStatus::kRead;
  std::vector<Medium> media;
  if (!ReadMedia(db, &media)) return PackageStatus::kInvalid;
  if (const PackageStatus status = ExtractFiles(db, media, package, reason); status != PackageStatus::kRead)
    return status;
  return FileHashesMatch(db, *package) ? PackageStatus::kRead : PackageStatus::kInvalid;
}

// Reads the package in this process: what the child of ReadPackage runs.
PackageStatus ReadPackageHere(const std::string& path, Package* package, std::string* reason) {
  *package = Package();
  LibmsiObject db;
  switch (OpenDatabase(path, &db)) {
    case OpenStatus::kMissing:
      return PackageStatus::kMissing;
    case OpenStatus::kUnreadable:
      return PackageStatus::kInvalid;
    case OpenStatus::kOpened:
      break;
  }
  if (const PackageStatus status = RefuseCodeTables(db, reason); status != PackageStatus::kRead) return status;
  if (!ReadProperties(db, package) || !ReadDirectories(db, package) || !ReadComponents(db, package) ||
      !ReadFiles(db, package) || !ReadRegistry(db, package) || !ReadShortcuts(db, package))
    return PackageStatus::kInvalid;
  return ReadFileData(db, package, reason);
}

// The outcome of ReadPackageHere as the child hands it over: numbers as 8
// little-endian bytes, texts and byte strings as their length and bytes, an
// absent text as a 0 byte (a present one as a 1 before it).
class Writer {
 public:
  void Number(int64_t value) {
    for (int i = 0; i < 8; ++i) out_ += static_cast<char>(static_cast<uint64_t>(value) >> (8 * i));
  }
  void Text(const std::string& text) {
    Number(static_cast<int64_t>(text.size()));
    out_ += text;
  }
  void Maybe(const std::optional<std::string>& text) {
    out_ += text ? '\1' : '\0';
    if (text) Text(*text);
  }
  void Bytes(const std::vector<uint8_t>& bytes) {
    Number(static_cast<int64_t>(bytes.size()));
    out_.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
  std::string Take() { return std::move(out_); }

 private:
  std::string out_;
};

// Reads what Writer wrote; any read past the end, or a count larger than
// what is left, fails every read after it.
class Reader {
 public:
  explicit Reader(const std::string& in) : in_(in) {}
  bool ok() const { return ok_; }
  bool done() const { return ok_ && at_ == in_.size(); }
  int64_t Number() {
    if (!Have(8)) return 0;
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value |= uint64_t(static_cast<uint8_t>(in_[at_++])) << (8 * i);
    return static_cast<int64_t>(value);
  }
  // A count of items each at least `least` bytes long.
  size_t Count(size_t least = 1) {
    const int64_t n = Number();
    if (n < 0 || static_cast<uint64_t>(n) > (in_.size() - at_) / least) ok_ = false;
    return ok_ ? static_cast<size_t>(n) : 0;
  }
  std::string Text() {
    const size_t n = Count();
    if (!Have(n)) return {};
    at_ += n;
    return in_.substr(at_ - n, n);
  }
  std::optional<std::string> Maybe() {
    if (!Have(1)) return std::nullopt;
    const char present = in_[at_++];
    if (present != '\0' && present != '\1') ok_ = false;
    if (present != '\1') return std::nullopt;
    return Text();
  }
  std::vector<uint8_t> Bytes() {
    const std::string text = Text();
    return std::vector<uint8_t>(text.begin(), text.end());
  }

 private:
  bool Have(size_t n) {
    if (ok_ && n > in_.size() - at_) ok_ = false;
    return ok_;
  }
  const std::string& in_;
  size_t at_ = 0;
  bool ok_ = true;
};

std::string Encode(PackageStatus status, const std::string& reason, const Package& p) {
  Writer w;
  w.Number(static_cast<int64_t>(status));
  w.Text(reason);
  w.Number(static_cast<int64_t>(p.properties.size()));
  for (const auto& [name, value] : p.properties) w.Text(name), w.Text(value);
  w.Number(static_cast<int64_t>(p.directories.size()));
  for (const DirectoryRow& d : p.directories) w.Text(d.key), w.Text(d.parent), w.Text(d.default_dir);
  w.Number(static_cast<int64_t>(p.components.size()));
  for (const ComponentRow& c : p.components) w.Text(c.key), w.Text(c.directory);
  w.Number(static_cast<int64_t>(p.files.size()));
  for (const FileRow& f : p.files) w.Text(f.key), w.Text(f.component), w.Text(f.file_name), w.Number(f.size), w.Number(f.sequence);
  w.Number(static_cast<int64_t>(p.registry.size()));
  for (const RegistryRow& r : p.registry) {
    w.Text(r.key), w.Number(r.root), w.Text(r.subkey), w.Maybe(r.name), w.Maybe(r.value), w.Text(r.component);
  }
  w.Number(static_cast<int64_t>(p.shortcuts.size()));
  for (const ShortcutRow& s : p.shortcuts) {
    w.Text(s.key), w.Text(s.directory), w.Text(s.name), w.Text(s.component), w.Text(s.target);
    w.Maybe(s.arguments), w.Maybe(s.description);
  }
  w.Number(static_cast<int64_t>(p.file_data.size()));
  for (const auto& [key, data] : p.file_data) w.Text(key), w.Bytes(data);
  return w.Take();
}

bool Decode(const std::string& bytes, PackageStatus* status, std::string* reason, Package* p) {
  Reader r(bytes);
  const int64_t code = r.Number();
  if (code < static_cast<int64_t>(PackageStatus::kRead) || code > static_cast<int64_t>(PackageStatus::kUnsupported))
    return false;
  *status = static_cast<PackageStatus>(code);
  *reason = r.Text();
  for (size_t n = r.Count(16); n > 0; --n) {
    std::string name = r.Text();
    p->properties[std::move(name)] = r.Text();
  }
  for (size_t n = r.Count(24); n > 0; --n) p->directories.push_back({r.Text(), r.Text(), r.Text()});
  for (size_t n = r.Count(16); n > 0; --n) p->components.push_back({r.Text(), r.Text()});
  // Braced lists are evaluated left to right: the fields in the order written.
  for (size_t n = r.Count(40); n > 0; --n) p->files.push_back({r.Text(), r.Text(), r.Text(), r.Number(), r.Number()});
  for (size_t n = r.Count(34); n > 0; --n) {
    p->registry.push_back(
        {r.Text(), static_cast<int>(r.Number()), r.Text(), r.Maybe(), r.Maybe(), r.Text()});
  }
  for (size_t n = r.Count(42); n > 0; --n) {
    p->shortcuts.push_back({r.Text(), r.Text(), r.Text(), r.Text(), r.Text(), r.Maybe(), r.Maybe()});
  }
  for (size_t n = r.Count(16); n > 0; --n) {
    std::string key = r.Text();
    p->file_data[std::move(key)] = r.Bytes();
  }
  return r.done();
}

}  // namespace

PackageStatus ReadPackage(const std::string& path, Package* package, std::string* reason) {
  *package = Package();
  const std::optional<std::string> outcome = ReadInChild([&path] {
    Package read;
    std::string why;
    const PackageStatus status = ReadPackageHere(path, &read, &why);
    return Encode(status, why, read);
  });
  PackageStatus status = PackageStatus::kInvalid;
  std::string why;
  if (!outcome || !Decode(*outcome, &status, &why, package)) {
    // The package crashed libmsi, or the child could not hand it over.
    *package = Package();
    return PackageStatus::kInvalid;
  }
  if (status == PackageStatus::kUnsupported) *reason = why;
  return status;
}

}  // namespace tonvik::msi
