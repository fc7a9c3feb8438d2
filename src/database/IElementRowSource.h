#pragma once

#include <windows.h>
#include <msi.h>

#include <functional>
#include <memory>

#include "support/stringw.h"

// The columns of one YVXmlElement row that the element-tree walk and the
// loader use, as stored.
struct ElementRow {
  yv::_stringw key;      // field 1
  yv::_stringw step;     // field 4: XPath step, whole path, or root name
  yv::_stringw content;  // field 5
  int flags = 0;         // field 6
};

// The columns of one YVXmlElementAttrib row, as stored.
struct AttributeRow {
  yv::_stringw key;    // field 1
  yv::_stringw name;   // field 3
  yv::_stringw value;  // field 4
  int flags = 0;       // field 5
};

// Where the element-tree walk and the loader get their element and attribute
// rows from. Every source answers with the rows the installer's own queries
// would give, in the order those queries give them; sources differ only in
// how many queries they run.
class IElementRowSource {
 public:
  // The children of one element, in the order their query returns them.
  class ChildCursor {
   public:
    virtual ~ChildCursor() = default;
    // The next child row; false when there is none left.
    virtual bool Next(ElementRow& row) = 0;
  };

  virtual ~IElementRowSource() = default;

  // The first row of file `fileKey` whose parent is empty: the file's root.
  // Returns 0, or ERROR_NO_MORE_ITEMS when the file has no such row.
  virtual UINT FindRootRow(const yv::_stringw& fileKey, ElementRow& row) = 0;

  // The rows whose parent is `parentKey`, whatever file they name.
  virtual std::unique_ptr<ChildCursor> OpenChildren(const yv::_stringw& parentKey) = 0;

  // Whether YVXmlElementAttrib exists at all.
  virtual bool HasAttributeTable() = 0;

  // Whether element `elementKey` has at least one attribute row. Only asked
  // when the attribute table exists.
  virtual bool HasAttributes(const yv::_stringw& elementKey) = 0;

  // Calls `visit` for each attribute row of `elementKey`, in table order.
  // Only asked when the attribute table exists.
  virtual void ForEachAttribute(const yv::_stringw& elementKey,
                                const std::function<void(const AttributeRow&)>& visit) = 0;
};

// The walk's columns of a YVXmlElement record fetched with "SELECT *".
ElementRow ReadElementRow(MSIHANDLE record);
// The loader's columns of a YVXmlElementAttrib record fetched with "SELECT *".
AttributeRow ReadAttributeRow(MSIHANDLE record);
