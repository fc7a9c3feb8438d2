#include "support/stringw.h"

#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "support/win32_exception.h"

namespace yv {

_buffs::~_buffs() {
  std::free(narrow_);
  if (bstr_) SysFreeString(bstr_);
}

const char* _buffs::narrow_copy(const wchar_t* text, std::size_t length) const {
  last_error_scope keep;
  // At most two bytes a character in the ANSI code pages, plus a terminator.
  std::size_t needed = 2 * length + 2;
  if (!narrow_ || narrowSize_ <= needed) {
    std::size_t size = (needed & ~static_cast<std::size_t>(63)) + 64;
    char* block = static_cast<char*>(std::realloc(narrow_, size));
    if (!block) return "";
    narrow_ = block;
    narrowSize_ = size;
  }
  int written = length == 0 ? 0
                            : WideCharToMultiByte(CP_THREAD_ACP, 0, text, static_cast<int>(length), narrow_,
                                                  static_cast<int>(narrowSize_ - 1), nullptr, nullptr);
  narrow_[written > 0 ? written : 0] = '\0';
  return narrow_;
}

BSTR _buffs::bstr_copy(const wchar_t* text, std::size_t length) const {
  last_error_scope keep;
  if (!bstr_) {
    bstr_ = SysAllocStringLen(text, static_cast<UINT>(length));
  } else if (SysStringLen(bstr_) != length) {
    SysReAllocStringLen(&bstr_, text, static_cast<UINT>(length));
  } else {
    std::wmemcpy(bstr_, text, length);
  }
  return bstr_;
}

// The CRT's own wide formatting, where %s takes a wide string whatever the
// C99 compatibility settings of the compiler's runtime headers say.
int measure_format(const wchar_t* pattern, va_list args) { return _vscwprintf(pattern, args); }

void write_format(wchar_t* buffer, std::size_t size, const wchar_t* pattern, va_list args) {
  _vsnwprintf(buffer, size, pattern, args);
  buffer[size - 1] = L'\0';
}

_stringw temp_folder_path() {
  _stringw folder;
  DWORD length = GetTempPathW(MAX_PATH, folder.writable(MAX_PATH));
  if (length == 0) throw win32_exception();
  return _stringw::join(folder, L"\\");
}

}  // namespace yv
