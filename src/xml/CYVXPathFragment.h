#pragma once

#include <utility>
#include <vector>

#include "support/stringw.h"

namespace xmlutils {

// One step of an XPath, such as `cfg:Item[@id='1']`: an optional prefix, a
// name and an optional predicate. These are text rules only: nothing is
// validated or unescaped.
class CYVXPathFragment : public yv::_stringx {
 public:
  using yv::_stringx::_stringx;
  CYVXPathFragment() = default;
  CYVXPathFragment(const yv::_stringw& text) : yv::_stringx(text) {}
  virtual ~CYVXPathFragment() = default;
  CYVXPathFragment(const CYVXPathFragment&) = default;
  CYVXPathFragment& operator=(const CYVXPathFragment&) = default;

  // The step without its predicate; without the prefix too unless asked for.
  // A colon inside the predicate is not a prefix separator.
  yv::_stringw GetName(bool withPrefix) const;
  // The attributes an element needs to match the step's predicates, when
  // they are made only of `@name='value'` equalities joined by `and`
  // (`add[@key='a' and @mode="on"]`, `add[@key='a'][@x='1']`); false, with
  // `attributes` empty, for any other predicate. A step without one gives
  // true and none.
  using AttributeList = std::vector<std::pair<yv::_stringw, yv::_stringw>>;
  bool GetPredicateAttributes(AttributeList& attributes) const;

  // The text before the first ':' when that colon comes before any '['.
  yv::_stringw GetPrefix() const;
};

}  // namespace xmlutils
