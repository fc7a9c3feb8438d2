#pragma once

#include <windows.h>

#include <utility>

// Owns one Win32 file handle and closes it, also when an exception passes.
class ScopedFileHandle {
 public:
  ScopedFileHandle() noexcept = default;
  explicit ScopedFileHandle(HANDLE handle) noexcept : handle_(handle) {}
  ScopedFileHandle(ScopedFileHandle&& other) noexcept
      : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
  ScopedFileHandle& operator=(ScopedFileHandle&& other) noexcept {
    if (this != &other) reset(std::exchange(other.handle_, INVALID_HANDLE_VALUE));
    return *this;
  }
  ScopedFileHandle(const ScopedFileHandle&) = delete;
  ScopedFileHandle& operator=(const ScopedFileHandle&) = delete;
  ~ScopedFileHandle() { reset(); }

  void reset(HANDLE handle = INVALID_HANDLE_VALUE) noexcept {
    if (valid()) CloseHandle(handle_);
    handle_ = handle;
  }
  bool valid() const noexcept { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE get() const noexcept { return handle_; }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};
