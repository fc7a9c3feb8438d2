#pragma once

#include <vector>

#include "support/stringw.h"
#include "xml/CYVXPathFragment.h"

namespace xmlutils {

// A whole XPath as text, cut into steps at its slashes. Finding the last step
// protects slashes inside the last predicate (`a/b[@p='x/y']`); the full step
// list does not.
class CYVXPath : public yv::_stringx {
 public:
  using yv::_stringx::_stringx;
  CYVXPath() = default;
  CYVXPath(const yv::_stringw& text) : yv::_stringx(text) {}
  virtual ~CYVXPath() = default;
  CYVXPath(const CYVXPath&) = default;
  CYVXPath& operator=(const CYVXPath&) = default;

  // Puts the last step into `step` and returns the position of the slash in
  // front of it, or -1 when the whole XPath is one step. An empty XPath
  // returns -1 and leaves `step` alone.
  int GetLastFragment(yv::_stringw& step) const;
  // Removes the last step (and its slash) from this XPath and returns it.
  CYVXPathFragment SplitLast();
  // Every step in order; `//a` gives two empty steps before `a`.
  std::vector<CYVXPathFragment> GetFragments() const;
};

}  // namespace xmlutils
