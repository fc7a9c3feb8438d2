#pragma once

#include "support/stringw.h"

// One element that the element-tree walk emits: its full XPath, the flags
// and the content of its YVXmlElement row (content as stored; the loader
// formats it later).
class CXPathObj {
 public:
  CXPathObj(const yv::_stringw& xpath, int flags, const yv::_stringw& content);
  virtual ~CXPathObj();
  CXPathObj(const CXPathObj&) = delete;
  CXPathObj& operator=(const CXPathObj&) = delete;

  yv::_stringw xpath;
  int flags;
  yv::_stringw content;
};
