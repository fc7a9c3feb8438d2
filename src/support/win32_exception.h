#pragma once

#include <windows.h>

#include <exception>

namespace yv {

// A failed Win32 call. Takes the thread's last-error value where it is
// thrown; the system's text for it is looked up only when someone asks.
// Copies share the looked-up text through a reference count, so a copy made
// while the exception propagates costs no second lookup.
class win32_exception : public std::exception {
 public:
  win32_exception();
  explicit win32_exception(DWORD code);
  win32_exception(const win32_exception& other) noexcept;
  win32_exception& operator=(const win32_exception& other) noexcept;
  ~win32_exception() override;

  DWORD code() const noexcept { return code_; }
  // The system's text for the code, or an empty text for code 0 or an
  // unknown code.
  const wchar_t* message() const;
  const char* what() const noexcept override { return "Win32 call failed"; }

 private:
  struct shared_text {
    wchar_t* text = nullptr;
    bool lookedUp = false;
    volatile LONG references = 1;
  };
  void release() noexcept;

  DWORD code_;
  shared_text* shared_;
};

}  // namespace yv
