#include "support/win32_exception.h"

namespace yv {

win32_exception::win32_exception() : win32_exception(GetLastError()) {}

win32_exception::win32_exception(DWORD code) : code_(code), shared_(new shared_text) {}

win32_exception::win32_exception(const win32_exception& other) noexcept
    : std::exception(other), code_(other.code_), shared_(other.shared_) {
  InterlockedIncrement(&shared_->references);
}

win32_exception& win32_exception::operator=(const win32_exception& other) noexcept {
  if (this != &other) {
    InterlockedIncrement(&other.shared_->references);
    release();
    code_ = other.code_;
    shared_ = other.shared_;
  }
  return *this;
}

win32_exception::~win32_exception() { release(); }

void win32_exception::release() noexcept {
  if (InterlockedDecrement(&shared_->references) == 0) {
    if (shared_->text) LocalFree(shared_->text);
    delete shared_;
  }
}

const wchar_t* win32_exception::message() const {
  if (!shared_->lookedUp && code_ != 0) {
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                   code_, 0, reinterpret_cast<LPWSTR>(&shared_->text), 0, nullptr);
    shared_->lookedUp = true;
  }
  return shared_->text ? shared_->text : L"";
}

}  // namespace yv
