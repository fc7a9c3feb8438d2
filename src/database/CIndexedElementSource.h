#pragma once

#include <windows.h>
#include <msi.h>

#include <string_view>
#include <unordered_map>
#include <vector>

#include "database/IElementRowSource.h"

// Element and attribute rows read with one query per table, then answered
// from memory. The answers are those of the per-question queries, in the same
// order: a query on one table returns its rows in table order, so the
// children of an element are its rows in table order, and a file's root is
// its first row with an empty parent. The cost of a whole walk is linear in
// the number of rows. Keys never go into SQL text, so any key can be looked
// up.
class CIndexedElementSource : public IElementRowSource {
 public:
  explicit CIndexedElementSource(MSIHANDLE database);
  ~CIndexedElementSource() override;
  CIndexedElementSource(const CIndexedElementSource&) = delete;
  CIndexedElementSource& operator=(const CIndexedElementSource&) = delete;

  UINT FindRootRow(const yv::_stringw& fileKey, ElementRow& row) override;
  std::unique_ptr<ChildCursor> OpenChildren(const yv::_stringw& parentKey) override;
  bool HasAttributeTable() override;
  bool HasAttributes(const yv::_stringw& elementKey) override;
  void ForEachAttribute(const yv::_stringw& elementKey, const std::function<void(const AttributeRow&)>& visit) override;

 private:
  using RowList = std::vector<size_t>;
  // Views point into the stored rows, which do not move once read.
  using RowIndex = std::unordered_map<std::wstring_view, RowList>;

  struct StoredElement {
    ElementRow row;
    yv::_stringw file;
    yv::_stringw parent;
  };
  struct StoredAttribute {
    AttributeRow row;
    yv::_stringw element;
  };

  class IndexedChildCursor;

  // Each table is read on the first question that needs it, so a package
  // whose walk never gets that far pays nothing.
  void ReadElementTable();
  void ReadAttributeTable();

  MSIHANDLE database_;
  bool elementsRead_ = false;
  std::vector<StoredElement> elements_;
  RowIndex childrenByParent_;
  std::unordered_map<std::wstring_view, size_t> rootByFile_;

  bool attributesRead_ = false;
  bool hasAttributeTable_ = false;
  std::vector<StoredAttribute> attributes_;
  RowIndex attributesByElement_;
};
