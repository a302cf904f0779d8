// Places a product's files all or nothing. Each file is first written in full
// to a hidden temporary name in its target folder and flushed to disk; only
// when every file is written do the renames put them in place, a replaced file
// kept under a hidden backup name until the installation is done. Rolling
// back (explicitly or by destruction before Finish) removes the temporaries,
// puts replaced files back, removes placed new files and every folder the
// transaction created.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tonvik::msi {

class FileTransaction {
 public:
  FileTransaction() = default;
  ~FileTransaction();
  FileTransaction(const FileTransaction&) = delete;
  FileTransaction& operator=(const FileTransaction&) = delete;

  // Creates the folder (ending with '/') and any missing parents. False with
  // errno when one cannot be created.
  bool EnsureFolder(const std::string& folder);
  // Writes the file's content to a temporary beside `target` with the mode
  // (0755 for programs, 0644 otherwise).
  bool Stage(const std::string& target, const std::vector<uint8_t>& data, unsigned mode);
  // Renames every staged file into place; on failure the ones already placed
  // are taken back.
  bool Commit();
  // Drops the backups: the installation stands.
  void Finish();
  void Rollback();

 private:
  struct Staged {
    std::string target;
    std::string temporary;
    std::string backup;  // the replaced file, once renamed
    bool placed = false;
  };
  std::vector<std::string> created_folders_;  // outermost first
  std::vector<Staged> staged_;
  bool finished_ = false;
};

// 0755 for ELF binaries and scripts ("#!"), 0644 for everything else.
unsigned ModeFor(const std::vector<uint8_t>& data);

}  // namespace tonvik::msi
