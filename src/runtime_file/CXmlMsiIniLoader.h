#pragma once

#include <windows.h>

#include "runtime_file/CXmlIniLoader.h"
#include "support/stringw.h"

// The reader of the deferred actions. The costing action resolved every
// value against the installation before writing the file, so values are
// taken exactly as stored.
class CXmlMsiIniLoader : public CXmlIniLoader {
 public:
  explicit CXmlMsiIniLoader(const yv::_stringw& runtimeDataPath);
  ~CXmlMsiIniLoader() override;

  // Copies `text` into the buffer, cut to bufferSize - 1 characters (nothing
  // is written for a size of 0), and returns its length plus one.
  DWORD ResolveValue(int kind, const wchar_t* text, wchar_t* buffer, DWORD bufferSize) override;
};
