#pragma once

#include <objbase.h>

namespace yv {

// Enters a single-threaded apartment for the lifetime of the object, and
// leaves it only when entering succeeded: a thread that already lives in
// another apartment keeps it, and its COM is not torn down under its owner.
class ComApartment {
 public:
  ComApartment() noexcept : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

  HRESULT result() const noexcept { return result_; }

 private:
  HRESULT result_;
};

}  // namespace yv
