#include "xml/CXmlSelectionNamespaceString.h"

namespace xmlutils {

namespace {
constexpr std::size_t kPrefixStart = 6;  // length of "xmlns:"
}  // namespace

yv::_stringw CXmlSelectionNamespaceString::GetURI() const {
  std::size_t equals = find(L'=');
  if (empty() || equals == npos) return yv::_stringw();
  yv::_stringw uri = substr(equals + 1);
  if (!uri.empty() && uri.front() == L'\'') uri.erase(0, 1);
  if (!uri.empty() && uri.back() == L'\'') uri.pop_back();
  return uri;
}

yv::_stringw CXmlSelectionNamespaceString::GetPrefix() const {
  if (size() <= kPrefixStart) return yv::_stringw();
  std::size_t equals = find(L'=');
  if (equals != npos && equals >= kPrefixStart) return substr(kPrefixStart, equals - kPrefixStart);
  return substr(kPrefixStart);
}

}  // namespace xmlutils
