#include "xml/XmlName.h"

namespace xmlutils {

namespace {

struct CodeRange {
  char32_t first;
  char32_t last;
};

constexpr CodeRange kNameStartRanges[] = {
    {U':', U':'},     {U'A', U'Z'},     {U'_', U'_'},     {U'a', U'z'},       {0xC0, 0xD6},     {0xD8, 0xF6},
    {0xF8, 0x2FF},    {0x370, 0x37D},   {0x37F, 0x1FFF},  {0x200C, 0x200D},   {0x2070, 0x218F}, {0x2C00, 0x2FEF},
    {0x3001, 0xD7FF}, {0xF900, 0xFDCF}, {0xFDF0, 0xFFFD}, {0x10000, 0xEFFFF},
};

constexpr CodeRange kNameOnlyRanges[] = {
    {U'-', U'-'}, {U'.', U'.'}, {U'0', U'9'}, {0xB7, 0xB7}, {0x300, 0x36F}, {0x203F, 0x2040},
};

template <std::size_t N>
bool InRanges(char32_t code, const CodeRange (&ranges)[N]) {
  for (const CodeRange& range : ranges) {
    if (code >= range.first && code <= range.last) return true;
  }
  return false;
}

// Decodes the code point at `position` and moves past it; an unpaired
// surrogate decodes to 0, which no range holds.
char32_t NextCodePoint(std::wstring_view text, std::size_t& position) {
  char32_t unit = text[position++];
  if (unit < 0xD800 || unit > 0xDFFF) return unit;
  if (unit > 0xDBFF || position == text.size()) return 0;
  char32_t low = text[position];
  if (low < 0xDC00 || low > 0xDFFF) return 0;
  ++position;
  return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
}

bool IsNcName(std::wstring_view name) { return IsXmlName(name) && name.find(L':') == std::wstring_view::npos; }

}  // namespace

bool IsXmlName(std::wstring_view name) {
  std::size_t position = 0;
  bool first = true;
  while (position < name.size()) {
    char32_t code = NextCodePoint(name, position);
    bool allowed = InRanges(code, kNameStartRanges) || (!first && InRanges(code, kNameOnlyRanges));
    if (!allowed) return false;
    first = false;
  }
  return !first;
}

bool IsXmlSpace(std::wstring_view text) { return text.find_first_not_of(L" \t\r\n") == std::wstring_view::npos; }

bool IsSelectionNamespaceList(std::wstring_view text) {
  constexpr std::wstring_view kDeclarationStart = L"xmlns:";
  std::size_t position = 0;
  while (position < text.size()) {
    if (text[position] == L' ') {
      ++position;
      continue;
    }
    std::size_t end = text.find(L' ', position);
    std::wstring_view token = text.substr(position, end == std::wstring_view::npos ? text.npos : end - position);
    position += token.size();
    // The URI may hold no space or apostrophe: the text is split at spaces
    // and only apostrophes are taken off the URI.
    std::size_t equals = token.find(L'=');
    if (token.substr(0, kDeclarationStart.size()) != kDeclarationStart || equals == std::wstring_view::npos ||
        !IsNcName(token.substr(kDeclarationStart.size(), equals - kDeclarationStart.size())))
      return false;
    std::wstring_view uri = token.substr(equals + 1);
    if (uri.size() < 2 || uri.front() != L'\'' || uri.back() != L'\'' ||
        uri.substr(1, uri.size() - 2).find(L'\'') != std::wstring_view::npos)
      return false;
  }
  return true;
}

bool IsNamespaceDeclaration(std::wstring_view name) { return name == L"xmlns" || name.substr(0, 6) == L"xmlns:"; }

}  // namespace xmlutils
