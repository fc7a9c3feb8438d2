#include "database/CQueryElementSource.h"

#include <msiquery.h>

#include "database/MsiQuery.h"

namespace {

// The executed children query of one element; fetches on demand so that a
// walk holds one open view per level, as deep as the tree goes.
class QueryChildCursor : public IElementRowSource::ChildCursor {
 public:
  QueryChildCursor(MSIHANDLE database, const yv::_stringw& parentKey) {
    OpenView(view_, database, L"SELECT * FROM `YVXmlElement` WHERE `YVXmlElement_Parent`='%s'", parentKey);
  }
  bool Next(ElementRow& row) override {
    yv::MsiHandle record;
    if (!msi_query::FetchRow(view_, record)) return false;
    row = ReadElementRow(record);
    return true;
  }

 private:
  yv::MsiHandle view_;
};

}  // namespace

CQueryElementSource::CQueryElementSource(MSIHANDLE database) : database_(database) {}

CQueryElementSource::~CQueryElementSource() = default;

UINT CQueryElementSource::FindRootRow(const yv::_stringw& fileKey, ElementRow& row) {
  yv::MsiHandle view, record;
  UINT result = OpenQuery(view, database_, record,
                          L"SELECT * FROM `YVXmlElement` WHERE `YVXmlElement_Parent`='' AND `YVXmlFile_`='%s'",
                          fileKey);
  if (result == ERROR_SUCCESS) row = ReadElementRow(record);
  return result;
}

std::unique_ptr<IElementRowSource::ChildCursor> CQueryElementSource::OpenChildren(const yv::_stringw& parentKey) {
  return std::make_unique<QueryChildCursor>(database_, parentKey);
}

bool CQueryElementSource::HasAttributeTable() { return !msi_query::IsTableMissing(database_, L"YVXmlElementAttrib"); }

bool CQueryElementSource::HasAttributes(const yv::_stringw& elementKey) {
  yv::MsiHandle view, record;
  return OpenQuery(view, database_, record, L"SELECT * FROM `YVXmlElementAttrib` WHERE `YVXmlElement_` = '%s'",
                   elementKey) == ERROR_SUCCESS;
}

void CQueryElementSource::ForEachAttribute(const yv::_stringw& elementKey,
                                           const std::function<void(const AttributeRow&)>& visit) {
  yv::MsiHandle view;
  OpenView(view, database_, L"SELECT * FROM `YVXmlElementAttrib` WHERE `YVXmlElement_` = '%s'", elementKey);
  yv::MsiHandle record;
  while (msi_query::FetchRow(view, record)) visit(ReadAttributeRow(record));
}
