#include "MsiRecordText.h"

#include <msiquery.h>

#include <vector>

std::wstring MsiRecordText(MSIHANDLE record, UINT field) {
  DWORD size = 0;
  wchar_t empty[1] = L"";
  if (MsiRecordGetStringW(record, field, empty, &size) != ERROR_MORE_DATA) return std::wstring();
  std::vector<wchar_t> buffer(size + 1);
  size += 1;
  if (MsiRecordGetStringW(record, field, buffer.data(), &size) != ERROR_SUCCESS) return std::wstring();
  return std::wstring(buffer.data(), size);
}
