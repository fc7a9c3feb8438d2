#pragma once

#include <windows.h>

#include <type_traits>
#include <utility>

namespace yv {

// Owns one system handle of the kind `Traits` describes and closes it when it
// goes, also when an exception passes. A kind is one line of traits: the
// handle's type, its "no handle" value, which values are real handles, and
// how to close one. Every handle kind the module holds is an alias below, so
// the rules for what counts as valid live in one place each.
template <class Traits>
class UniqueHandle {
 public:
  using pointer = typename Traits::pointer;

  UniqueHandle() noexcept = default;
  explicit UniqueHandle(pointer value) noexcept : value_(value) {}
  UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  void reset(pointer value = Traits::kInvalid) noexcept {
    if (Traits::IsValid(value_)) Traits::Close(value_);
    value_ = value;
  }
  pointer release() noexcept { return std::exchange(value_, Traits::kInvalid); }
  // For functions that hand out a new handle through an out parameter.
  pointer* put() noexcept {
    reset();
    return &value_;
  }

  pointer get() const noexcept { return value_; }
  bool valid() const noexcept { return Traits::IsValid(value_); }
  explicit operator bool() const noexcept { return valid(); }

  // Installer handles are passed to the installer's C functions everywhere;
  // the traits of such a kind allow passing the owner where the handle goes.
  template <class T = Traits, std::enable_if_t<T::kConvertsImplicitly, int> = 0>
  operator pointer() const noexcept {
    return value_;
  }

 private:
  pointer value_ = Traits::kInvalid;
};

// What every Win32 handle kind shares: CreateFileW and FindFirstFileW report
// failure with INVALID_HANDLE_VALUE, most other kernel calls with null, and
// neither is closed.
struct Win32HandleTraits {
  using pointer = HANDLE;
  static inline const pointer kInvalid = INVALID_HANDLE_VALUE;
  static constexpr bool kConvertsImplicitly = false;
  static bool IsValid(pointer value) noexcept { return value != INVALID_HANDLE_VALUE && value != nullptr; }
};

// A file or other kernel object (a token, a process).
struct KernelHandleTraits : Win32HandleTraits {
  static void Close(pointer value) noexcept { CloseHandle(value); }
};
using UniqueFileHandle = UniqueHandle<KernelHandleTraits>;
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;

// A FindFirstFileW search.
struct FindHandleTraits : Win32HandleTraits {
  static void Close(pointer value) noexcept { FindClose(value); }
};
using UniqueFindHandle = UniqueHandle<FindHandleTraits>;

// Memory the system allocated for the caller with LocalAlloc
// (FormatMessageW's buffer, CommandLineToArgvW's array).
template <class T>
struct LocalMemoryTraits {
  using pointer = T;
  static constexpr pointer kInvalid = nullptr;
  static constexpr bool kConvertsImplicitly = false;
  static bool IsValid(pointer value) noexcept { return value != nullptr; }
  static void Close(pointer value) noexcept { LocalFree(value); }
};
template <class T>
using UniqueLocalMemory = UniqueHandle<LocalMemoryTraits<T>>;

}  // namespace yv
