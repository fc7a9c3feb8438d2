#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <oleauto.h>

#include "support/MessageLog.h"
#include "support/UniqueHandle.h"
#include "support/com_exception.h"
#include "support/com_ptr.h"
#include "support/msi_handle.h"

namespace {

HRESULT HresultFromInstallerResult(UINT result) {
  HRESULT hr = static_cast<HRESULT>(result);
  if (hr > 0) hr = static_cast<HRESULT>(0x80070000u | (result & 0xFFFFu));
  return hr < 0 ? hr : E_UNEXPECTED;
}

// The installer's own text for the thread's last error, or the system's text
// for the code when the installer kept no error record.
yv::_stringw InstallerErrorText(HRESULT hr) {
  yv::MsiHandle record(MsiGetLastErrorRecord());
  if (record) {
    if (MsiRecordIsNull(record, 0)) {
      ThrowIfMsiFailed(MsiRecordSetStringW(record, 0, L"Windows Installer Error [1]: [2]{, [3]}{, [4]}{, [5]}\n"),
                       L"MsiRecordSetString");
    }
    yv::_stringw text;
    DWORD size = 1024;
    {
      auto buffer = text.writable(size);
      MsiFormatRecordW(0, record, buffer, &size);
    }
    return text;
  }
  yv::UniqueLocalMemory<wchar_t*> message;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                 static_cast<DWORD>(hr), 0, reinterpret_cast<LPWSTR>(message.put()), 0, nullptr);
  return yv::_stringw(message.get());
}

// Publishes the description as the thread's COM error information, where the
// com_exception constructor picks it up.
void PublishErrorInfo(const yv::_stringw& description) {
  yv::ComPtr<ICreateErrorInfo> creator;
  HRESULT hr = CreateErrorInfo(creator.put());
  if (FAILED(hr)) throw com_exception(hr);
  hr = creator->SetDescription(const_cast<LPOLESTR>(description.c_str()));
  if (FAILED(hr)) throw com_exception(hr);
  yv::ComPtr<IErrorInfo> info;
  hr = creator.As(IID_IErrorInfo, info);
  if (FAILED(hr)) throw com_exception(hr);
  hr = SetErrorInfo(0, info.get());
  if (FAILED(hr)) throw com_exception(hr);
}

}  // namespace

void ThrowIfMsiFailed(UINT result, const wchar_t* operation, const wchar_t* argument1, const wchar_t* argument2) {
  if (result == ERROR_SUCCESS) return;
  HRESULT hr = HresultFromInstallerResult(result);
  yv::_stringw errorText = InstallerErrorText(hr);
  yv::_stringw first(argument1), second(argument2);
  yv::_stringw description;
  if (first.empty()) {
    description.format(L"%s%s()", errorText.c_str(), operation ? operation : L"");
  } else if (second.empty()) {
    description.format(L"%s%s(%s)", errorText.c_str(), operation ? operation : L"", first.c_str());
  } else {
    description.format(L"%s%s(%s, %s)", errorText.c_str(), operation ? operation : L"", first.c_str(), second.c_str());
  }
  PublishErrorInfo(description);
  throw com_exception(hr);
}
