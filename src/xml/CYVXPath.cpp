#include "xml/CYVXPath.h"

#include "xml/SplitText.h"

namespace xmlutils {

int CYVXPath::GetLastFragment(yv::_stringw& step) const {
  if (empty()) return -1;
  std::size_t slash = rfind(L'/');
  std::size_t open = rfind(L'[');
  std::size_t close = rfind(L']');
  // Unsigned comparisons on purpose: a missing ']' (npos) lies beyond every
  // slash, so a slash after the last '[' of an unclosed predicate is skipped
  // too; a missing '[' ends the loop at once.
  while (slash != npos && open < slash && slash < close) {
    slash = slash == 0 ? npos : rfind(L'/', slash - 1);
  }
  if (slash == npos) {
    step = *this;
    return -1;
  }
  step = substr(slash + 1);
  return static_cast<int>(slash);
}

CYVXPathFragment CYVXPath::SplitLast() {
  yv::_stringw step;
  if (!empty()) {
    int slash = GetLastFragment(step);
    resize(slash > 0 ? static_cast<std::size_t>(slash) : 0);
  }
  return CYVXPathFragment(step);
}

std::vector<CYVXPathFragment> CYVXPath::GetFragments() const {
  std::vector<CYVXPathFragment> steps;
  for (const yv::_stringw& token : SplitText(*this, L'/', false, 1)) steps.emplace_back(token);
  return steps;
}

}  // namespace xmlutils
