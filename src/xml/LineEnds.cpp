#include "xml/LineEnds.h"

namespace xmlutils {

namespace {

// Bytes per code unit and where a unit's low byte sits, from the mark.
struct CodeUnits {
  size_t size;
  size_t low;
};

CodeUnits UnitsOf(const std::string& bytes) {
  if (bytes.compare(0, 2, "\xFF\xFE") == 0) return {2, 0};
  if (bytes.compare(0, 2, "\xFE\xFF") == 0) return {2, 1};
  return {1, 0};
}

// The code unit at `at` when it is a plain character (a byte of an
// ASCII-compatible encoding, which no lead or trail byte of the multi-byte
// ones is for CR and LF); 0 otherwise.
char UnitAt(const std::string& bytes, size_t at, CodeUnits units) {
  if (units.size == 2 && bytes[at + 1 - units.low] != '\0') return 0;
  return bytes[at + units.low];
}

}  // namespace

LineEnd FirstLineEnd(const std::string& bytes) {
  CodeUnits units = UnitsOf(bytes);
  for (size_t at = 0; at + units.size <= bytes.size(); at += units.size) {
    char unit = UnitAt(bytes, at, units);
    if (unit == '\n') return LineEnd::kLf;
    if (unit == '\r') return LineEnd::kCrLf;
  }
  return LineEnd::kUnknown;
}

std::string WithLineEnds(const std::string& bytes, LineEnd lineEnd) {
  if (lineEnd == LineEnd::kUnknown) return bytes;
  CodeUnits units = UnitsOf(bytes);
  auto unitOf = [&](char c) {
    std::string unit(units.size, '\0');
    unit[units.low] = c;
    return unit;
  };
  const std::string cr = unitOf('\r'), lf = unitOf('\n');
  std::string result;
  result.reserve(bytes.size() + bytes.size() / 16);
  size_t at = 0;
  for (; at + units.size <= bytes.size(); at += units.size) {
    char unit = UnitAt(bytes, at, units);
    bool crlf = unit == '\r' && at + 2 * units.size <= bytes.size() && UnitAt(bytes, at + units.size, units) == '\n';
    if (unit == '\n' || crlf) {
      if (lineEnd == LineEnd::kCrLf) result += cr;
      result += lf;
      if (crlf) at += units.size;
    } else {
      result.append(bytes, at, units.size);
    }
  }
  return result.append(bytes, at, std::string::npos);
}

}  // namespace xmlutils
