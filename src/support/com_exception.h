#pragma once

#include <windows.h>

#include <exception>

#include "support/stringw.h"

// A failed COM or installer call: the HRESULT and the error information that
// the thread carried when it was thrown.
class com_exception : public std::exception {
 public:
  explicit com_exception(HRESULT result);

  HRESULT result() const noexcept { return result_; }
  const GUID& interfaceId() const noexcept { return interfaceId_; }
  const GUID& sourceClassId() const noexcept { return sourceClassId_; }
  const yv::_stringw& description() const noexcept { return description_; }
  const yv::_stringw& source() const noexcept { return source_; }
  const char* what() const noexcept override { return description_.narrow(); }

 private:
  HRESULT result_;
  GUID interfaceId_{};
  GUID sourceClassId_{};
  yv::_stringw description_;
  yv::_stringw source_;
};
