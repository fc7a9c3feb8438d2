#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstddef>
#include <new>

namespace yv {

// Allocates string storage as BSTRs, so that the text of a long string can be
// handed to COM without a further copy being made by the allocator itself.
template <class T>
struct bstr_allocator {
  using value_type = T;
  static_assert(sizeof(T) == sizeof(OLECHAR), "BSTR storage holds wide characters");

  bstr_allocator() noexcept = default;
  template <class U>
  bstr_allocator(const bstr_allocator<U>&) noexcept {}

  // The string asks for capacity + 1 characters; a BSTR of length n already
  // carries room for n + 1 characters, the last one being its terminator.
  T* allocate(std::size_t n) {
    if (n == 0 || n - 1 > 0x7FFFFFF0u) throw std::bad_alloc();
    BSTR block = SysAllocStringLen(nullptr, static_cast<UINT>(n - 1));
    if (!block) throw std::bad_alloc();
    return reinterpret_cast<T*>(block);
  }

  void deallocate(T* p, std::size_t) noexcept { SysFreeString(reinterpret_cast<BSTR>(p)); }

  friend bool operator==(const bstr_allocator&, const bstr_allocator&) noexcept { return true; }
  friend bool operator!=(const bstr_allocator&, const bstr_allocator&) noexcept { return false; }
};

}  // namespace yv
