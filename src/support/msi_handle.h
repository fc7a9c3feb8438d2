#pragma once

#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <utility>

namespace yv {

// Owns one installer handle (record, view, database) and closes it.
class MsiHandle {
 public:
  MsiHandle() noexcept = default;
  explicit MsiHandle(MSIHANDLE handle) noexcept : handle_(handle) {}
  MsiHandle(MsiHandle&& other) noexcept : handle_(std::exchange(other.handle_, 0)) {}
  MsiHandle& operator=(MsiHandle&& other) noexcept {
    if (this != &other) reset(std::exchange(other.handle_, 0));
    return *this;
  }
  MsiHandle(const MsiHandle&) = delete;
  MsiHandle& operator=(const MsiHandle&) = delete;
  ~MsiHandle() { reset(); }

  void reset(MSIHANDLE handle = 0) noexcept {
    if (handle_) MsiCloseHandle(handle_);
    handle_ = handle;
  }
  MSIHANDLE* put() noexcept {
    reset();
    return &handle_;
  }
  MSIHANDLE get() const noexcept { return handle_; }
  operator MSIHANDLE() const noexcept { return handle_; }

 private:
  MSIHANDLE handle_ = 0;
};

}  // namespace yv
