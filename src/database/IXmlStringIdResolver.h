#pragma once

#include <windows.h>

// Turns a text read from the element tables into its final form, in place.
// The database loader and the element-tree walk share this step for element
// steps and attribute names and values.
class IXmlStringIdResolver {
 public:
  // `buffer` holds a terminated text and has room for `capacity` characters.
  // The text may be rewritten in place (cut to fit). Returns the number of
  // characters the full result needs, terminator included; a caller whose
  // buffer was too small asks again with that many.
  virtual DWORD Resolve(wchar_t* buffer, DWORD capacity) = 0;
  virtual ~IXmlStringIdResolver() = default;
};
