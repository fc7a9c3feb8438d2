#include "xml/CYVXPathFragment.h"

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

}  // namespace xmlutils
