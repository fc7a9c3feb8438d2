#include "xml/CYVXPathFragment.h"

#include <cwchar>

#include "xml/XmlName.h"

namespace xmlutils {

yv::_stringw CYVXPathFragment::GetName(bool withPrefix) const {
  if (empty()) return yv::_stringw();
  std::size_t colon = find(L':');
  std::size_t bracket = find(L'[');
  // npos is the largest position, so "colon < bracket" also holds when there
  // is a colon and no predicate.
  if (!withPrefix && colon < bracket) {
    std::size_t start = colon + 1;
    return substr(start, bracket == npos ? npos : bracket - start);
  }
  return substr(0, bracket);
}

yv::_stringw CYVXPathFragment::GetPrefix() const {
  if (empty()) return yv::_stringw();
  std::size_t colon = find(L':');
  std::size_t bracket = find(L'[');
  if (colon != npos && (bracket == npos || colon <= bracket)) return substr(0, colon);
  return yv::_stringw();
}

bool CYVXPathFragment::GetPredicateAttributes(AttributeList& attributes) const {
  attributes.clear();
  std::size_t at = find(L'[');
  auto skipBlanks = [&] {
    while (at < size() && std::wcschr(L" \t\r\n", (*this)[at]) && (*this)[at] != L'\0') ++at;
  };
  auto accept = [&](std::wstring_view token) {
    skipBlanks();
    if (compare(at, token.size(), token.data(), token.size()) != 0) return false;
    at += token.size();
    return true;
  };
  // One equality: @name = 'value' or "value".
  auto equality = [&] {
    if (!accept(L"@")) return false;
    std::size_t nameStart = at;
    while (at < size() && !std::wcschr(L" \t\r\n=]", (*this)[at])) ++at;
    yv::_stringw name = substr(nameStart, at - nameStart);
    if (!IsXmlName(name) || !accept(L"=")) return false;
    skipBlanks();
    if (at >= size() || ((*this)[at] != L'\'' && (*this)[at] != L'"')) return false;
    std::size_t close = find((*this)[at], at + 1);
    if (close == npos) return false;
    attributes.emplace_back(name, substr(at + 1, close - at - 1));
    at = close + 1;
    return true;
  };
  bool wellFormed = true;
  while (wellFormed && at < size()) {
    wellFormed = accept(L"[") && equality();
    while (wellFormed && !accept(L"]")) wellFormed = accept(L"and") && equality();
  }
  if (!wellFormed) attributes.clear();
  return wellFormed;
}

}  // namespace xmlutils
