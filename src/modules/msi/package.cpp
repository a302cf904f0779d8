#include "package.h"

#include <algorithm>
#include <cstdlib>

#include "cabinet.h"
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

}  // namespace

PackageStatus ReadPackage(const std::string& path, Package* package, std::string* reason) {
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
  std::vector<Row> rows;
  // Reads a table the package must have.
  auto required = [&](const std::string& sql, unsigned columns) {
    return ReadRows(db, sql, columns, &rows) == ReadStatus::kRead;
  };
  // Reads a table the package may leave out.
  auto optional = [&](const std::string& sql, unsigned columns) {
    const ReadStatus status = ReadRows(db, sql, columns, &rows);
    if (status == ReadStatus::kNoTable) rows.clear();
    return status != ReadStatus::kFailed;
  };

  for (const char* table : kRefusedTables) {
    if (!optional(std::string("SELECT * FROM `") + table + "`", 1)) return PackageStatus::kInvalid;
    if (!rows.empty()) {
      *reason = std::string("the package has rows in the ") + table + " table";
      return PackageStatus::kUnsupported;
    }
  }

  if (!required("SELECT `Property`, `Value` FROM `Property`", 2)) return PackageStatus::kInvalid;
  for (const Row& r : rows) package->properties[Text(r, 0)] = Text(r, 1);

  if (!required("SELECT `Directory`, `Directory_Parent`, `DefaultDir` FROM `Directory`", 3))
    return PackageStatus::kInvalid;
  for (const Row& r : rows) package->directories.push_back({Text(r, 0), Text(r, 1), Text(r, 2)});

  if (!required("SELECT `Component`, `Directory_` FROM `Component`", 2)) return PackageStatus::kInvalid;
  for (const Row& r : rows) package->components.push_back({Text(r, 0), Text(r, 1)});

  if (!optional("SELECT `File`, `Component_`, `FileName`, `FileSize`, `Sequence` FROM `File`", 5))
    return PackageStatus::kInvalid;
  for (const Row& r : rows) {
    FileRow f{Text(r, 0), Text(r, 1), Text(r, 2)};
    if (!ToInt(r[3], &f.size) || !ToInt(r[4], &f.sequence)) return PackageStatus::kInvalid;
    package->files.push_back(std::move(f));
  }
  std::stable_sort(package->files.begin(), package->files.end(),
                   [](const FileRow& a, const FileRow& b) { return a.sequence < b.sequence; });

  if (!optional("SELECT `Registry`, `Root`, `Key`, `Name`, `Value`, `Component_` FROM `Registry`", 6))
    return PackageStatus::kInvalid;
  for (const Row& r : rows) {
    RegistryRow g;
    int64_t root = 0;
    if (!ToInt(r[1], &root)) return PackageStatus::kInvalid;
    g.key = Text(r, 0);
    g.root = static_cast<int>(root);
    g.subkey = Text(r, 2);
    g.name = r[3];
    g.value = r[4];
    g.component = Text(r, 5);
    package->registry.push_back(std::move(g));
  }

  if (!optional("SELECT `Shortcut`, `Directory_`, `Name`, `Component_`, `Target`, `Arguments`, "
                "`Description` FROM `Shortcut`",
                7))
    return PackageStatus::kInvalid;
  for (const Row& r : rows)
    package->shortcuts.push_back(
        {Text(r, 0), Text(r, 1), Text(r, 2), Text(r, 3), Text(r, 4), r[5], r[6]});

  // Every file comes from the cabinet of the first medium whose last
  // sequence number reaches the file's.
  if (!package->files.empty()) {
    if (!optional("SELECT `DiskId`, `LastSequence`, `Cabinet` FROM `Media`", 3))
      return PackageStatus::kInvalid;
    struct Medium {
      int64_t last_sequence;
      std::string cabinet;
    };
    std::vector<Medium> media;
    for (const Row& r : rows) {
      int64_t last = 0;
      if (!ToInt(r[1], &last)) return PackageStatus::kInvalid;
      media.push_back({last, Text(r, 2)});
    }
    std::sort(media.begin(), media.end(),
              [](const Medium& a, const Medium& b) { return a.last_sequence < b.last_sequence; });
    std::map<std::string, std::map<std::string, std::vector<uint8_t>>> cabinets;
    for (const FileRow& f : package->files) {
      auto medium = std::find_if(media.begin(), media.end(),
                                 [&](const Medium& m) { return m.last_sequence >= f.sequence; });
      if (medium == media.end()) return PackageStatus::kInvalid;
      if (medium->cabinet.empty() || medium->cabinet[0] != '#') {
        *reason = "the package's files are not in an embedded cabinet";
        return PackageStatus::kUnsupported;
      }
      const std::string stream = medium->cabinet.substr(1);
      auto cab = cabinets.find(stream);
      if (cab == cabinets.end()) {
        std::vector<uint8_t> bytes;
        std::map<std::string, std::vector<uint8_t>> files;
        if (!ReadStream(db, stream, &bytes) || !ExtractCabinet(bytes, &files))
          return PackageStatus::kInvalid;
        cab = cabinets.emplace(stream, std::move(files)).first;
      }
      auto data = cab->second.find(f.key);
      if (data == cab->second.end() || static_cast<int64_t>(data->second.size()) != f.size)
        return PackageStatus::kInvalid;
      package->file_data[f.key] = data->second;
    }
    // The MD5 digests the package holds for its files must match what came
    // out of the cabinet.
    if (!optional("SELECT `File_`, `HashPart1`, `HashPart2`, `HashPart3`, `HashPart4` FROM `MsiFileHash`", 5))
      return PackageStatus::kInvalid;
    for (const Row& r : rows) {
      auto data = package->file_data.find(Text(r, 0));
      if (data == package->file_data.end()) continue;
      const std::array<uint8_t, 16> digest = Md5(data->second);
      for (size_t part = 0; part < 4; ++part) {
        int64_t value = 0;
        if (!ToInt(r[1 + part], &value)) return PackageStatus::kInvalid;
        const uint32_t bits = static_cast<uint32_t>(value);
        for (size_t b = 0; b < 4; ++b) {
          if (digest[4 * part + b] != static_cast<uint8_t>(bits >> (8 * b))) return PackageStatus::kInvalid;
        }
      }
    }
  }
  return PackageStatus::kRead;
}

}  // namespace tonvik::msi
