#include "runtime_file/CXmlMsiIniLoader.h"

#include "support/CallerBuffer.h"

CXmlMsiIniLoader::CXmlMsiIniLoader(const yv::_stringw& runtimeDataPath) { SetPath(runtimeDataPath); }

CXmlMsiIniLoader::~CXmlMsiIniLoader() = default;

DWORD CXmlMsiIniLoader::ResolveValue(int kind, const wchar_t* text, wchar_t* buffer, DWORD bufferSize) {
  (void)kind;
  return CopyToCallerBuffer(text, buffer, bufferSize) + 1;
}
