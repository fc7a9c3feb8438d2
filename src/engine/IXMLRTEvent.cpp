#include "engine/IXMLRTEvent.h"

#include "support/CallerBuffer.h"

DWORD IXMLRTEvent::ResolveString(int kind, const wchar_t* source, wchar_t* buffer, DWORD bufferSize) {
  (void)kind;
  return CopyToCallerBuffer(source, buffer, bufferSize);
}
