// The output file of one encoder. Construction runs the protocol every encoder
// shares: the overwrite policy (SkipFileException "file skipped"), the missing
// folders, then a new temporary file beside the target ("cannot create file
// (%1%)"). Commit puts the finished file in place by renaming it over the
// target; an object destroyed without a successful Commit removes the
// temporary file, so an old file of the target name survives any failure.
//
// Writes are buffered (64 KiB); the logical position counts buffered bytes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tonvik {

class OverwritePolicy;

class TargetFile {
 public:
  // kNow creates the temporary file; kByLibrary only chooses its name, for a
  // library that creates the file by its path and reports its own failure.
  enum class Creation { kNow, kByLibrary };

  // `overwrite` decides about an existing file (nullptr: replace it).
  TargetFile(const std::u16string& path, OverwritePolicy* overwrite, Creation creation = Creation::kNow);
  ~TargetFile();
  TargetFile(const TargetFile&) = delete;
  TargetFile& operator=(const TargetFile&) = delete;

  // Append at the current position; false when the system refuses (errno set).
  bool Write(const void* data, size_t bytes);
  // Write, throwing EncoderException "write error" on failure.
  void WriteOrThrow(const void* data, size_t bytes);
  // Absolute positioning within what has been written.
  bool Seek(uint64_t offset);
  uint64_t Tell() const { return position_; }
  // Reads back what was written, from the current position; *got may fall
  // short at the end. False when the system refuses (errno set).
  bool Read(void* data, size_t bytes, size_t* got);
  // The size of the file, buffered bytes included; -1 on failure.
  int64_t Size();
  // Writes the pending bytes; false on failure.
  bool Flush();

  // Flushes and closes without renaming, so a library can rewrite the file by
  // its path (the MP3 info header). Throws "write error".
  void Close();
  // Flushes, closes and renames over the target. Throws "write error"; the
  // temporary file is removed then.
  void Commit();

  // The temporary file's path (UTF-8), where the data lives until Commit.
  const std::string& temp_path() const { return temp_; }
  const std::string& target_path() const { return target_; }

 private:
  int fd_ = -1;
  std::string target_;
  std::string temp_;
  bool committed_ = false;
  uint64_t position_ = 0;   // logical position, buffered bytes included
  std::vector<uint8_t> buffer_;
};

}  // namespace tonvik
