#include "platform/utf16_reader.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tonvik {

bool Utf16LineReader::Fill() {
  if (ended_) return false;
  // A read may end in the middle of a unit (pipes split anywhere): keep the
  // odd byte in front of the next block instead of losing it.
  size_t carry = bytes_ - pos_;
  if (carry) std::memmove(block_, block_ + pos_, carry);
  bytes_ = carry;
  pos_ = 0;
  ssize_t n;
  do {
    n = fd_ < 0 ? -1 : ::read(fd_, block_ + carry, kBlockBytes - carry);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) {
    ended_ = true;
    odd_byte_ = carry != 0;
    return false;
  }
  bytes_ += static_cast<size_t>(n);
  return true;
}

std::optional<std::u16string> Utf16LineReader::ReadLine(size_t max_units) {
  std::u16string line;
  bool any = false;
  overlong_ = false;
  for (;;) {
    if (bytes_ - pos_ < 2 && !Fill()) {
      if (!any) return std::nullopt;
      return line;
    }
    while (bytes_ - pos_ >= 2) {
      char16_t unit = static_cast<char16_t>(block_[pos_] | (block_[pos_ + 1] << 8));
      pos_ += 2;
      any = true;
      if (unit == u'\n') return line;
      if (line.size() < max_units)
        line += unit;
      else
        overlong_ = true;
    }
  }
}

}  // namespace tonvik
