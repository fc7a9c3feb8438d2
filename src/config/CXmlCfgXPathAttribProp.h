#pragma once

#include <windows.h>

#include "config/CXmlCfgPropBase.h"
#include "support/stringw.h"

// One attribute change of an element. An attribute named "xmlns" is a
// namespace declaration, which its element keeps apart from the others.
class CXmlCfgXPathAttribProp : public CXmlCfgPropBase {
 public:
  explicit CXmlCfgXPathAttribProp(yv::_stringw attributeName);
  ~CXmlCfgXPathAttribProp() override;

  yv::_stringw name;
  yv::_stringw value;
  // XmlAttributeFlags.
  DWORD action = 0;
  // The value holds the value of a hidden installer property: no log line
  // may show it.
  bool valueHidden = false;
};
