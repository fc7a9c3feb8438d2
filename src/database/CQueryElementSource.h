#pragma once

#include <windows.h>
#include <msi.h>

#include "database/IElementRowSource.h"

// Element and attribute rows fetched with one installer query per question:
// the children of an element, its attributes, a file's root. Simple and
// faithful to the tables, but every query scans its whole table, so a walk
// over n elements costs n table scans. Keys go into the SQL text verbatim: a
// key holding an apostrophe makes the installer refuse the query.
class CQueryElementSource : public IElementRowSource {
 public:
  explicit CQueryElementSource(MSIHANDLE database);
  ~CQueryElementSource() override;

  UINT FindRootRow(const yv::_stringw& fileKey, ElementRow& row) override;
  std::unique_ptr<ChildCursor> OpenChildren(const yv::_stringw& parentKey) override;
  bool HasAttributeTable() override;
  bool HasAttributes(const yv::_stringw& elementKey) override;
  void ForEachAttribute(const yv::_stringw& elementKey, const std::function<void(const AttributeRow&)>& visit) override;

 private:
  MSIHANDLE database_;
};
