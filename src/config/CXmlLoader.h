#pragma once

#include <windows.h>

class CXmlCfgPropertyBag;

// Fills a property bag from one source of configuration (the installer
// database, a runtime data file, a script-project file). The bag calls Load
// with itself.
class CXmlLoader {
 public:
  // Returns 0, or the first error code met; the bag keeps what was filled.
  virtual int Load(CXmlCfgPropertyBag& bag) = 0;

  // Turns a stored value of `kind` into its final text in `buffer` (at most
  // `bufferSize` characters, terminator included) and returns the number of
  // characters the whole result needs, terminator included, so that a caller
  // whose buffer was too small can ask again with enough room.
  virtual DWORD ResolveValue(int kind, const wchar_t* text, wchar_t* buffer, DWORD bufferSize) = 0;

  // What a value stands for, as handed to ResolveValue.
  static constexpr int kKindText = 1;
  static constexpr int kKindPath = 2;  // the name of a folder property
  static constexpr int kKindXPath = 8;
  static constexpr int kKindFormattedText = 16;

 protected:
  ~CXmlLoader() = default;
};
