// A shared library loaded at run time; unloaded when the object goes.
#pragma once
#include <string>

namespace tonvik {

class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  explicit DynamicLibrary(const std::string& path);
  ~DynamicLibrary();
  DynamicLibrary(DynamicLibrary&& other) noexcept;
  DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  bool loaded() const { return handle_ != nullptr; }
  // The loader's reason when loading failed.
  const std::string& error() const { return error_; }
  // nullptr when the library is not loaded or has no such symbol.
  void* Symbol(const char* name) const;
  template <typename F>
  F Function(const char* name) const {
    return reinterpret_cast<F>(Symbol(name));
  }
  // Keeps the library loaded for the rest of the process.
  void Leak() { handle_ = nullptr; }

 private:
  void* handle_ = nullptr;
  std::string error_;
};

}  // namespace tonvik
