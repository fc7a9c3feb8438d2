#include "support/CallerBuffer.h"

#include <cwchar>

DWORD CopyToCallerBuffer(const wchar_t* source, wchar_t* buffer, DWORD bufferSize) {
  if (!source) source = L"";
  DWORD length = static_cast<DWORD>(std::wcslen(source));
  if (bufferSize == 0 || !buffer) return length;
  // A size with the top bit set is no real buffer size: it is taken as a
  // caller's mistake and answered with an empty text.
  if (bufferSize >= 0x80000000u) {
    buffer[0] = L'\0';
    return length;
  }
  DWORD copied = length < bufferSize - 1 ? length : bufferSize - 1;
  std::wmemcpy(buffer, source, copied);
  buffer[copied] = L'\0';
  return length;
}
