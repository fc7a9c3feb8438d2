#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstdarg>
#include <string>
#include <utility>

#include "support/bstr_allocator.h"

namespace yv {

// The thread's last-error value, shared by the two bases below so that a
// string's constructor can read it before any member is built and put it
// back after the last one is.
struct _last_error {
  DWORD savedLastError = 0;
};

// First base: captures the last-error value before the storage is built.
// Being the first base, its destructor runs last and puts the value back
// after the storage has been freed.
struct _save_last_error : virtual _last_error {
  _save_last_error() noexcept { savedLastError = GetLastError(); }
  _save_last_error(const _save_last_error&) noexcept : _save_last_error() {}
  _save_last_error& operator=(const _save_last_error&) noexcept { return *this; }
  ~_save_last_error() { SetLastError(savedLastError); }
};

// Last base: its constructor runs after the storage was built and restores
// the value; its destructor runs first and captures it again.
struct _restore_last_error : virtual _last_error {
  _restore_last_error() noexcept { SetLastError(savedLastError); }
  _restore_last_error(const _restore_last_error&) noexcept : _restore_last_error() {}
  _restore_last_error& operator=(const _restore_last_error&) noexcept { return *this; }
  ~_restore_last_error() { savedLastError = GetLastError(); }
};

// Keeps the thread's last-error value across one operation on a string.
class last_error_scope {
 public:
  last_error_scope() noexcept : value_(GetLastError()) {}
  ~last_error_scope() { SetLastError(value_); }
  last_error_scope(const last_error_scope&) = delete;
  last_error_scope& operator=(const last_error_scope&) = delete;

 private:
  DWORD value_;
};

// Side buffers that views of a string are made in: a narrow copy and a
// cached BSTR. They are caches, so copies of a string start without them.
class _buffs {
 public:
  _buffs() noexcept = default;
  _buffs(const _buffs&) noexcept {}
  _buffs& operator=(const _buffs&) noexcept { return *this; }
  ~_buffs();

 protected:
  const char* narrow_copy(const wchar_t* text, std::size_t length) const;
  BSTR bstr_copy(const wchar_t* text, std::size_t length) const;

 private:
  mutable char* narrow_ = nullptr;
  mutable std::size_t narrowSize_ = 0;
  mutable BSTR bstr_ = nullptr;
};

using wstring_bstr = std::basic_string<wchar_t, std::char_traits<wchar_t>, bstr_allocator<wchar_t>>;

// The one wide string type of the module. Every constructor, destructor and
// mutating operation leaves the thread's last-error value as it found it, so
// that code may build messages between a failed Win32 call and the capture of
// its error code.
template <class Traits>
class _stringw_t : public _save_last_error,
                   public std::basic_string<wchar_t, Traits, bstr_allocator<wchar_t>>,
                   public _buffs,
                   public _restore_last_error {
 public:
  using base_string = std::basic_string<wchar_t, Traits, bstr_allocator<wchar_t>>;
  using base_string::npos;

  _stringw_t() = default;
  // The bases are default-built on purpose: a copy saves this thread's
  // last-error value, not the one the source saved, and starts with no
  // cached views.
  _stringw_t(const _stringw_t& other)
      : _last_error(), _save_last_error(), base_string(other), _buffs(), _restore_last_error() {}
  _stringw_t(_stringw_t&& other) noexcept
      : _last_error(),
        _save_last_error(),
        base_string(std::move(static_cast<base_string&>(other))),
        _buffs(),
        _restore_last_error() {}
  _stringw_t(const base_string& other) : base_string(other) {}
  _stringw_t(base_string&& other) noexcept : base_string(std::move(other)) {}
  // A null text is taken as an empty one: installer and COM calls hand out
  // null for "no value".
  _stringw_t(const wchar_t* text) : base_string(text ? text : L"") {}
  _stringw_t(const wchar_t* text, std::size_t length) : base_string(text ? text : L"", text ? length : 0) {}
  _stringw_t(std::size_t count, wchar_t ch) : base_string(count, ch) {}
  _stringw_t(const std::wstring& text) : base_string(text.data(), text.size()) {}

  _stringw_t& operator=(const _stringw_t& other) {
    last_error_scope keep;
    base_string::operator=(other);
    return *this;
  }
  _stringw_t& operator=(_stringw_t&& other) noexcept {
    last_error_scope keep;
    base_string::operator=(std::move(static_cast<base_string&>(other)));
    return *this;
  }
  _stringw_t& operator=(const wchar_t* text) {
    last_error_scope keep;
    base_string::operator=(text ? text : L"");
    return *this;
  }
  template <class T>
  _stringw_t& operator=(T&& value) {
    last_error_scope keep;
    base_string::operator=(std::forward<T>(value));
    return *this;
  }
  template <class T>
  _stringw_t& operator+=(T&& value) {
    last_error_scope keep;
    base_string::operator+=(std::forward<T>(value));
    return *this;
  }
  _stringw_t& operator+=(const wchar_t* text) {
    last_error_scope keep;
    if (text) base_string::operator+=(text);
    return *this;
  }

#define YV_STRINGW_GUARDED(name)                        \
  template <class... A>                                 \
  decltype(auto) name(A&&... args) {                    \
    last_error_scope keep;                              \
    return base_string::name(std::forward<A>(args)...); \
  }
  YV_STRINGW_GUARDED(append)
  YV_STRINGW_GUARDED(assign)
  YV_STRINGW_GUARDED(insert)
  YV_STRINGW_GUARDED(erase)
  YV_STRINGW_GUARDED(replace)
  YV_STRINGW_GUARDED(push_back)
  YV_STRINGW_GUARDED(pop_back)
  YV_STRINGW_GUARDED(clear)
  YV_STRINGW_GUARDED(resize)
  YV_STRINGW_GUARDED(reserve)
  YV_STRINGW_GUARDED(shrink_to_fit)
#undef YV_STRINGW_GUARDED

  void swap(_stringw_t& other) noexcept {
    last_error_scope keep;
    base_string::swap(other);
  }

  // The text as a BSTR owned by this string, for COM inputs. It stays valid
  // until the string changes or is destroyed.
  BSTR bstr() const { return bstr_copy(this->data(), this->size()); }

  // The text in the thread's ANSI code page, owned by this string.
  const char* narrow() const { return narrow_copy(this->data(), this->size()); }

  // printf-style formatting into this string; %s takes a wide string.
  _stringw_t& format(const wchar_t* pattern, ...) {
    va_list args;
    va_start(args, pattern);
    vformat(pattern, args);
    va_end(args);
    return *this;
  }
  _stringw_t& vformat(const wchar_t* pattern, va_list args);

  // Joins two texts with one separator between them (paths use '\').
  static _stringw_t join(const _stringw_t& left, const _stringw_t& right, wchar_t separator = L'\\');

  class writable_buffer;
  class bstr_out_param;

  // A buffer of `length` characters for a Win32 call that fills a caller's
  // buffer; when the call returns the string keeps the text up to the first
  // terminator.
  writable_buffer writable(std::size_t length) { return writable_buffer(*this, length); }

  // A BSTR* for a COM getter; when the call returns the text it gave becomes
  // this string's value and the BSTR is freed.
  bstr_out_param out() { return bstr_out_param(*this); }
};

template <class Traits>
class _stringw_t<Traits>::writable_buffer {
 public:
  writable_buffer(_stringw_t& owner, std::size_t length) : owner_(owner) {
    last_error_scope keep;
    owner_.base_string::assign(length, L'\0');
  }
  ~writable_buffer() {
    last_error_scope keep;
    owner_.base_string::resize(Traits::length(owner_.c_str()));
  }
  writable_buffer(const writable_buffer&) = delete;
  writable_buffer& operator=(const writable_buffer&) = delete;
  operator wchar_t*() noexcept { return owner_.base_string::data(); }

 private:
  _stringw_t& owner_;
};

template <class Traits>
class _stringw_t<Traits>::bstr_out_param {
 public:
  explicit bstr_out_param(_stringw_t& owner) : owner_(owner) {}
  ~bstr_out_param() {
    last_error_scope keep;
    if (value_) {
      owner_.base_string::assign(value_, SysStringLen(value_));
      SysFreeString(value_);
    } else {
      owner_.base_string::clear();
    }
  }
  bstr_out_param(const bstr_out_param&) = delete;
  bstr_out_param& operator=(const bstr_out_param&) = delete;
  operator BSTR*() noexcept { return &value_; }

 private:
  _stringw_t& owner_;
  BSTR value_ = nullptr;
};

int measure_format(const wchar_t* pattern, va_list args);
void write_format(wchar_t* buffer, std::size_t size, const wchar_t* pattern, va_list args);

template <class Traits>
_stringw_t<Traits>& _stringw_t<Traits>::vformat(const wchar_t* pattern, va_list args) {
  last_error_scope keep;
  va_list measureArgs;
  va_copy(measureArgs, args);
  int length = measure_format(pattern ? pattern : L"", measureArgs);
  va_end(measureArgs);
  if (length <= 0) {
    base_string::clear();
    return *this;
  }
  base_string::assign(static_cast<std::size_t>(length) + 1, L'\0');
  write_format(base_string::data(), static_cast<std::size_t>(length) + 1, pattern, args);
  base_string::resize(Traits::length(base_string::c_str()));
  return *this;
}

template <class Traits>
_stringw_t<Traits> _stringw_t<Traits>::join(const _stringw_t& left, const _stringw_t& right, wchar_t separator) {
  last_error_scope keep;
  if (right.empty()) return left;
  if (left.empty()) return right;
  bool leftEnds = left.back() == separator;
  bool rightStarts = right.front() == separator;
  _stringw_t result(left);
  if (leftEnds && rightStarts) {
    result.base_string::append(right, 1, npos);
  } else if (!leftEnds && !rightStarts) {
    result.base_string::push_back(separator);
    result.base_string::append(right);
  } else {
    result.base_string::append(right);
  }
  return result;
}

using _stringw = _stringw_t<std::char_traits<wchar_t>>;

// The thin outer string class that the XPath text classes build on.
class _stringx : public _stringw {
 public:
  using _stringw::_stringw;
  using _stringw::operator=;
  _stringx() = default;
  _stringx(const _stringw& other) : _stringw(other) {}
};

// The temporary folder, always ending in '\'. Throws win32_exception when the
// system cannot name one.
_stringw temp_folder_path();

}  // namespace yv
