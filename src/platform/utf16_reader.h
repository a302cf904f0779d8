// Reads standard input (or any descriptor) as a stream of UTF-16LE code units,
// line by line. A line ends at LF alone; CR is kept as part of the line.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace tonvik {

class Utf16LineReader {
 public:
  static constexpr size_t kBlockBytes = 16384;

  explicit Utf16LineReader(int fd) : fd_(fd) {}

  // The next line without its LF, or nullopt once the input has ended and no
  // unit is left. A line longer than max_units is cut there, and overlong()
  // tells so; the rest of that line is read and dropped.
  std::optional<std::u16string> ReadLine(size_t max_units);

  bool overlong() const { return overlong_; }
  // True once the input ended on half a code unit.
  bool odd_byte_at_end() const { return odd_byte_; }

 private:
  bool Fill();  // false at end of input (invalid descriptor, read error, 0 bytes)

  int fd_;
  unsigned char block_[kBlockBytes + 1];
  size_t bytes_ = 0;  // valid bytes in block_
  size_t pos_ = 0;    // read position in bytes
  bool ended_ = false;
  bool overlong_ = false;
  bool odd_byte_ = false;
};

}  // namespace tonvik
