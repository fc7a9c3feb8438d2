#pragma once

#include "support/stringw.h"

namespace xmlutils {

// One token of a SelectionNamespaces text, `xmlns:prefix='uri'`. The first
// six characters are taken to be `xmlns:` without looking at them, and only
// apostrophes are stripped from the URI.
class CXmlSelectionNamespaceString : public yv::_stringx {
 public:
  using yv::_stringx::_stringx;
  CXmlSelectionNamespaceString() = default;
  CXmlSelectionNamespaceString(const yv::_stringw& text) : yv::_stringx(text) {}
  virtual ~CXmlSelectionNamespaceString() = default;
  CXmlSelectionNamespaceString(const CXmlSelectionNamespaceString&) = default;
  CXmlSelectionNamespaceString& operator=(const CXmlSelectionNamespaceString&) = default;

  // The text after the first '=', without one apostrophe at each end.
  yv::_stringw GetURI() const;
  // The text from position 6 up to the first '=' (or to the end).
  yv::_stringw GetPrefix() const;
};

}  // namespace xmlutils
