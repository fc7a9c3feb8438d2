#include "xml/XmlDeclarationText.h"

#include <cwctype>

namespace {

bool IsXmlSpace(wchar_t ch) { return ch == L' ' || ch == L'\t' || ch == L'\r' || ch == L'\n'; }

std::size_t SkipSpace(const yv::_stringw& text, std::size_t pos) {
  while (pos < text.size() && IsXmlSpace(text[pos])) ++pos;
  return pos;
}

// True when a declaration starts at `pos`: "<?xml" followed by whitespace or
// the end of the instruction, not a longer target name.
bool DeclarationAt(const yv::_stringw& text, std::size_t pos) {
  if (text.compare(pos, 5, L"<?xml") != 0) return false;
  if (pos + 5 >= text.size()) return false;
  wchar_t next = text[pos + 5];
  return IsXmlSpace(next) || next == L'?';
}

}  // namespace

yv::_stringw StripLeadingXmlDeclarations(const yv::_stringw& text) {
  std::size_t pos = 0;
  // A byte-order mark that survived decoding is no part of the markup.
  if (!text.empty() && text[0] == 0xFEFF) pos = 1;
  for (pos = SkipSpace(text, pos); DeclarationAt(text, pos); pos = SkipSpace(text, pos)) {
    std::size_t end = text.find(L"?>", pos);
    if (end == yv::_stringw::npos) return yv::_stringw();
    pos = end + 2;
  }
  return text.substr(pos);
}
