#pragma once

#include "xml/IXmlChangeObserver.h"
#include "xml/XmlChange.h"

// Keeps every change a document reports, in the order they were made: what
// the install leaves on record for a file with the file flag 0x10. Changes
// of one attribute, or of one element's first text, made one after the
// other are kept as one, from what was there first to what was written last,
// so that an edit made since shows as one change.
class CXmlChangeRecorder : public IXmlChangeObserver {
 public:
  void OnXmlChange(XmlChange change) override;
  // Completes the record of the created elements with what they say once
  // the install is done with the document (CYVXmlFile::ReadContent), one
  // text per element in the order they were created.
  void NoteCreatedContent(const std::vector<yv::_stringw>& content);
  const XmlChangeList& changes() const noexcept { return changes_; }

 private:
  XmlChangeList changes_;
};
