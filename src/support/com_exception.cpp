#include "support/com_exception.h"

#include <oleauto.h>

#include "support/UniqueHandle.h"
#include "support/com_ptr.h"

namespace {

yv::_stringw SystemMessageFor(HRESULT result) {
  yv::UniqueLocalMemory<wchar_t*> text;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                 static_cast<DWORD>(result), 0, reinterpret_cast<LPWSTR>(text.put()), 0, nullptr);
  return yv::_stringw(text.get());
}

}  // namespace

com_exception::com_exception(HRESULT result) : result_(result) {
  yv::ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.put()) == S_OK && info) {
    info->GetDescription(description_.out());
    info->GetGUID(&interfaceId_);
    info->GetSource(source_.out());
    if (source_.empty() || FAILED(CLSIDFromProgID(source_.c_str(), &sourceClassId_))) sourceClassId_ = GUID{};
    return;
  }
  description_ = SystemMessageFor(result);
  if (description_.empty()) description_ = L"Unknown error";
}
