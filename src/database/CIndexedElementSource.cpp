#include "database/CIndexedElementSource.h"

#include <msiquery.h>

#include "database/MsiQuery.h"

namespace {

// The 1-based position of column `column` in an executed "SELECT *" view.
// A table without it gets the installer's own answer to a query that names
// it, so the failure reads as it would for the per-element queries.
UINT ColumnPosition(MSIHANDLE view, MSIHANDLE database, const wchar_t* table, const wchar_t* column) {
  yv::MsiHandle names;
  ThrowIfMsiFailed(MsiViewGetColumnInfo(view, MSICOLINFO_NAMES, names.put()), L"MsiViewGetColumnInfo", table);
  UINT count = MsiRecordGetFieldCount(names);
  for (UINT field = 1; field <= count; ++field) {
    if (GetRecordString(names, field) == column) return field;
  }
  yv::MsiHandle probe;
  OpenView(probe, database, L"SELECT `%s` FROM `%s`", column, table);
  ThrowIfMsiFailed(ERROR_BAD_QUERY_SYNTAX, L"MsiOpenDatabaseView", table, column);
  return 0;
}

}  // namespace

class CIndexedElementSource::IndexedChildCursor : public IElementRowSource::ChildCursor {
 public:
  IndexedChildCursor(const std::vector<StoredElement>& elements, const RowList* children)
      : elements_(elements), children_(children) {}
  bool Next(ElementRow& row) override {
    if (!children_ || next_ >= children_->size()) return false;
    row = elements_[(*children_)[next_++]].row;
    return true;
  }

 private:
  const std::vector<StoredElement>& elements_;
  const RowList* children_;
  size_t next_ = 0;
};

CIndexedElementSource::CIndexedElementSource(MSIHANDLE database) : database_(database) {}

CIndexedElementSource::~CIndexedElementSource() = default;

void CIndexedElementSource::ReadElementTable() {
  if (elementsRead_) return;
  yv::MsiHandle view;
  OpenView(view, database_, L"SELECT * FROM `YVXmlElement`");
  UINT fileColumn = ColumnPosition(view, database_, L"YVXmlElement", L"YVXmlFile_");
  UINT parentColumn = ColumnPosition(view, database_, L"YVXmlElement", L"YVXmlElement_Parent");
  yv::MsiHandle record;
  while (msi_query::FetchRow(view, record)) {
    StoredElement element;
    element.row = ReadElementRow(record);
    element.file = GetRecordString(record, fileColumn);
    element.parent = GetRecordString(record, parentColumn);
    elements_.push_back(std::move(element));
  }
  for (size_t i = 0; i < elements_.size(); ++i) {
    const StoredElement& element = elements_[i];
    childrenByParent_[element.parent].push_back(i);
    if (element.parent.empty()) rootByFile_.emplace(element.file, i);  // the first one stays
  }
  elementsRead_ = true;
}

void CIndexedElementSource::ReadAttributeTable() {
  if (attributesRead_) return;
  hasAttributeTable_ = !msi_query::IsTableMissing(database_, L"YVXmlElementAttrib");
  if (hasAttributeTable_) {
    yv::MsiHandle view;
    OpenView(view, database_, L"SELECT * FROM `YVXmlElementAttrib`");
    UINT elementColumn = ColumnPosition(view, database_, L"YVXmlElementAttrib", L"YVXmlElement_");
    yv::MsiHandle record;
    while (msi_query::FetchRow(view, record)) {
      StoredAttribute attribute;
      attribute.row = ReadAttributeRow(record);
      attribute.element = GetRecordString(record, elementColumn);
      attributes_.push_back(std::move(attribute));
    }
    for (size_t i = 0; i < attributes_.size(); ++i) attributesByElement_[attributes_[i].element].push_back(i);
  }
  attributesRead_ = true;
}

UINT CIndexedElementSource::FindRootRow(const yv::_stringw& fileKey, ElementRow& row) {
  ReadElementTable();
  auto root = rootByFile_.find(fileKey);
  if (root == rootByFile_.end()) return ERROR_NO_MORE_ITEMS;
  row = elements_[root->second].row;
  return ERROR_SUCCESS;
}

std::unique_ptr<IElementRowSource::ChildCursor> CIndexedElementSource::OpenChildren(const yv::_stringw& parentKey) {
  ReadElementTable();
  auto children = childrenByParent_.find(parentKey);
  return std::make_unique<IndexedChildCursor>(elements_,
                                              children == childrenByParent_.end() ? nullptr : &children->second);
}

bool CIndexedElementSource::HasAttributeTable() {
  ReadAttributeTable();
  return hasAttributeTable_;
}

bool CIndexedElementSource::HasAttributes(const yv::_stringw& elementKey) {
  ReadAttributeTable();
  return attributesByElement_.count(elementKey) != 0;
}

void CIndexedElementSource::ForEachAttribute(const yv::_stringw& elementKey,
                                             const std::function<void(const AttributeRow&)>& visit) {
  ReadAttributeTable();
  auto rows = attributesByElement_.find(elementKey);
  if (rows == attributesByElement_.end()) return;
  for (size_t i : rows->second) visit(attributes_[i].row);
}
