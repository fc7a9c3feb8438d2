#pragma once

#include <windows.h>
#include <oleauto.h>

#include "support/stringw.h"

// The text as a BSTR owned by `text`, for a COM input. Throws com_exception
// (E_OUTOFMEMORY) when the BSTR cannot be allocated, so a COM call never sees
// a null string it did not ask for.
BSTR RequireBstr(const yv::_stringw& text);

// Owns one VARIANT and clears it when it goes, so a BSTR or interface it
// carries is freed exactly once.
class ComVariant {
 public:
  ComVariant() noexcept { VariantInit(&value_); }
  ~ComVariant() { VariantClear(&value_); }
  ComVariant(const ComVariant&) = delete;
  ComVariant& operator=(const ComVariant&) = delete;
  ComVariant(ComVariant&& other) noexcept;

  // A VT_BSTR copy of `text`. Throws com_exception (E_OUTOFMEMORY) when the
  // BSTR cannot be allocated.
  static ComVariant FromText(const yv::_stringw& text);
  static ComVariant FromI2(SHORT value) noexcept;
  static ComVariant FromI4(LONG value) noexcept;
  // A VT_DISPATCH that holds its own reference on `object`.
  static ComVariant FromDispatch(IDispatch* object) noexcept;
  // A VT_UNKNOWN that holds its own reference on `object`.
  static ComVariant FromUnknown(IUnknown* object) noexcept;

  // For getters that fill a VARIANT: clears the old value first.
  VARIANT* put() noexcept;
  const VARIANT& get() const noexcept { return value_; }

  // The value as text (VariantChangeType to VT_BSTR); empty when it has
  // none or cannot be converted.
  yv::_stringw ToText() const;

 private:
  VARIANT value_;
};
