#pragma once

#include <vector>

#include "support/stringw.h"
#include "xml/XmlChange.h"

class CYVXmlFile;

// Puts back what recorded changes replaced, newest first, so that each undo
// finds the document as its change left it. What is no longer as the
// installation wrote it was changed since (by an administrator, say): a
// value or text is then left as it is, an element the installation created
// stays whole, with what the installation put into it; one log line names
// the file, the XPath, the element and the attribute.
class CXmlChangeUndo {
 public:
  // `filePath` names the file in the log lines.
  CXmlChangeUndo(CYVXmlFile& document, const yv::_stringw& filePath);

  // Returns how many changes were left as they are (each logged), counting
  // an element the installation created, with all that was changed inside
  // it, as one.
  int UndoAll(const XmlChangeList& changes);

 private:
  // Which changes were made inside an element the installation created:
  // they go with that element, or stay with it.
  static std::vector<bool> InsideCreatedElements(const XmlChangeList& changes);
  bool Undo(const XmlChange& change);

  CYVXmlFile& document_;
  yv::_stringw filePath_;
};
