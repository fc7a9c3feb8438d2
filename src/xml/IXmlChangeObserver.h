#pragma once

#include "xml/XmlChange.h"

// Told of every change a CYVXmlFile makes to its document, right after it
// is made: whoever needs to undo the changes later keeps them.
class IXmlChangeObserver {
 public:
  virtual void OnXmlChange(XmlChange change) = 0;

 protected:
  ~IXmlChangeObserver() = default;
};
