#pragma once

#include <windows.h>

// Copies `source` into a caller's buffer of `bufferSize` characters, cut to
// fit and always terminated, and returns the full length of `source` so that
// a caller whose buffer was too short can ask again with enough room. This is
// the rule every text-returning interface of the module follows.
DWORD CopyToCallerBuffer(const wchar_t* source, wchar_t* buffer, DWORD bufferSize);
