// The error model: every user-visible failure is one of these, thrown by value
// and caught by reference, carrying one message of at most 2047 UTF-16 units.
#pragma once
#include <cstddef>
#include <exception>
#include <string>
#include <string_view>

namespace tonvik {

class AppException : public std::exception {
 public:
  static constexpr size_t kCapacity = 2048;  // units, terminator included

  explicit AppException(std::u16string_view message);
  // UTF-8 text, for messages written in the source.
  explicit AppException(const char* message);

  // The message converted to UTF-8. The buffer belongs to this exception object,
  // so concurrent calls on different threads (or on copies) never see each
  // other's text; the result lives as long as the exception.
  const char* what() const noexcept override { return what_; }
  const char16_t* message() const noexcept { return message_; }
  std::u16string Message() const { return message_; }

 private:
  void Init(std::u16string_view message) noexcept;

  char16_t message_[kCapacity];
  char what_[kCapacity * 3];  // worst case of 2047 units in UTF-8, plus terminator
};

class UIException : public AppException {
 public:
  using AppException::AppException;
};

class EncoderException : public AppException {
 public:
  using AppException::AppException;
};

class SkipFileException : public EncoderException {
 public:
  SkipFileException() : EncoderException("file skipped") {}
};

class ScsiException : public AppException {
 public:
  using AppException::AppException;
};

class DVDCopyException : public ScsiException {
 public:
  DVDCopyException() : ScsiException("Audio CD read error.") {}
};

// Fills %1%, %2%, ... of a message pattern with the arguments, in any order.
std::u16string FormatMessage(std::u16string_view pattern,
                             std::initializer_list<std::u16string_view> args);

}  // namespace tonvik
