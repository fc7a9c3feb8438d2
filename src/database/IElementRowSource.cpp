#include "database/IElementRowSource.h"

#include <msiquery.h>

#include "database/MsiQuery.h"
#include "database/XmlTableColumns.h"

ElementRow ReadElementRow(MSIHANDLE record) {
  ElementRow row;
  row.key = GetRecordString(record, XmlElementColumn::kKey);
  row.step = GetRecordString(record, XmlElementColumn::kStep);
  row.content = GetRecordString(record, XmlElementColumn::kText);
  row.flags = MsiRecordGetInteger(record, XmlElementColumn::kFlags);
  return row;
}

AttributeRow ReadAttributeRow(MSIHANDLE record) {
  AttributeRow row;
  row.key = GetRecordString(record, XmlAttributeColumn::kKey);
  row.name = GetRecordString(record, XmlAttributeColumn::kName);
  row.value = GetRecordString(record, XmlAttributeColumn::kValue);
  row.flags = MsiRecordGetInteger(record, XmlAttributeColumn::kFlags);
  return row;
}
