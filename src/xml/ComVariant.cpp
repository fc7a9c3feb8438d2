#include "xml/ComVariant.h"

#include "support/com_exception.h"

BSTR RequireBstr(const yv::_stringw& text) {
  BSTR value = text.bstr();
  if (!value) throw com_exception(E_OUTOFMEMORY);
  return value;
}

ComVariant::ComVariant(ComVariant&& other) noexcept : value_(other.value_) { VariantInit(&other.value_); }

ComVariant ComVariant::FromText(const yv::_stringw& text) {
  ComVariant result;
  BSTR copy = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (!copy) throw com_exception(E_OUTOFMEMORY);
  result.value_.vt = VT_BSTR;
  result.value_.bstrVal = copy;
  return result;
}

ComVariant ComVariant::FromI2(SHORT value) noexcept {
  ComVariant result;
  result.value_.vt = VT_I2;
  result.value_.iVal = value;
  return result;
}

ComVariant ComVariant::FromI4(LONG value) noexcept {
  ComVariant result;
  result.value_.vt = VT_I4;
  result.value_.lVal = value;
  return result;
}

ComVariant ComVariant::FromDispatch(IDispatch* object) noexcept {
  ComVariant result;
  result.value_.vt = VT_DISPATCH;
  result.value_.pdispVal = object;
  if (object) object->AddRef();
  return result;
}

ComVariant ComVariant::FromUnknown(IUnknown* object) noexcept {
  ComVariant result;
  result.value_.vt = VT_UNKNOWN;
  result.value_.punkVal = object;
  if (object) object->AddRef();
  return result;
}

VARIANT* ComVariant::put() noexcept {
  VariantClear(&value_);
  return &value_;
}

yv::_stringw ComVariant::ToText() const {
  if (value_.vt == VT_BSTR) return yv::_stringw(value_.bstrVal, value_.bstrVal ? SysStringLen(value_.bstrVal) : 0);
  VARIANT converted;
  VariantInit(&converted);
  yv::_stringw text;
  if (SUCCEEDED(VariantChangeType(&converted, const_cast<VARIANT*>(&value_), 0, VT_BSTR)) && converted.vt == VT_BSTR) {
    text = yv::_stringw(converted.bstrVal, SysStringLen(converted.bstrVal));
  }
  VariantClear(&converted);
  return text;
}
