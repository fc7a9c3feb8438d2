#pragma once

#include <string>

namespace xmlutils {

// How a file ends its lines.
enum class LineEnd { kUnknown, kLf, kCrLf };

// The kind of the first line end in `bytes` (the start of a file in any
// encoding the module writes: single- and multi-byte, UTF-16 either way);
// kUnknown when there is none.
LineEnd FirstLineEnd(const std::string& bytes);

// `bytes` with every line end written as `lineEnd`; the code unit size and
// order come from the byte-order mark. kUnknown leaves the bytes alone.
std::string WithLineEnds(const std::string& bytes, LineEnd lineEnd);

}  // namespace xmlutils
