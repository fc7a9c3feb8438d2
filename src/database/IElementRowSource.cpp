#include "database/IElementRowSource.h"

#include <msiquery.h>

#include "database/MsiQuery.h"

ElementRow ReadElementRow(MSIHANDLE record) {
  ElementRow row;
  row.key = GetRecordString(record, 1);
  row.step = GetRecordString(record, 4);
  row.content = GetRecordString(record, 5);
  row.flags = MsiRecordGetInteger(record, 6);
  return row;
}

AttributeRow ReadAttributeRow(MSIHANDLE record) {
  AttributeRow row;
  row.name = GetRecordString(record, 3);
  row.value = GetRecordString(record, 4);
  row.flags = MsiRecordGetInteger(record, 5);
  return row;
}
