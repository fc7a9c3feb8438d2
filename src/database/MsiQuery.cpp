#include "database/MsiQuery.h"

#include <oleauto.h>

#include "support/com_exception.h"

namespace msi_query {

bool IsTableMissing(MSIHANDLE database, const wchar_t* table) {
  return MsiDatabaseIsTablePersistentW(database, table) >= MSICONDITION_NONE;
}

yv::_stringw FormatSql(const wchar_t* sqlFormat, va_list args) {
  va_list measureArgs;
  va_copy(measureArgs, args);
  int length = yv::measure_format(sqlFormat, measureArgs);
  va_end(measureArgs);
  if (length < 0 || static_cast<size_t>(length) >= kSqlBufferSize) {
    // The installer would refuse a cut query too, or worse, run a different
    // one: report it the way it reports a query it cannot parse.
    ThrowIfMsiFailed(ERROR_BAD_QUERY_SYNTAX, L"MsiOpenDatabaseView", L"query longer than 2047 characters");
  }
  yv::_stringw sql;
  {
    auto buffer = sql.writable(kSqlBufferSize);
    yv::write_format(buffer, kSqlBufferSize, sqlFormat, args);
  }
  return sql;
}

void OpenViewV(yv::MsiHandle& view, MSIHANDLE database, const wchar_t* sqlFormat, va_list args) {
  yv::_stringw sql = FormatSql(sqlFormat, args);
  view.reset();
  ThrowIfMsiFailed(MsiDatabaseOpenViewW(database, sql.c_str(), view.put()), L"MsiOpenDatabaseView", sql.c_str());
  ThrowIfMsiFailed(MsiViewExecute(view, 0), L"MsiViewExecute", sql.c_str());
}

UINT OpenQueryV(yv::MsiHandle& view, MSIHANDLE database, yv::MsiHandle& record, const wchar_t* sqlFormat,
                va_list args) {
  OpenViewV(view, database, sqlFormat, args);
  return FetchRow(view, record) ? ERROR_SUCCESS : ERROR_NO_MORE_ITEMS;
}

void OpenViewF(yv::MsiHandle& view, MSIHANDLE database, const wchar_t* sqlFormat, ...) {
  va_list args;
  va_start(args, sqlFormat);
  try {
    OpenViewV(view, database, sqlFormat, args);
  } catch (...) {
    va_end(args);
    throw;
  }
  va_end(args);
}

UINT OpenQueryF(yv::MsiHandle& view, MSIHANDLE database, yv::MsiHandle& record, const wchar_t* sqlFormat, ...) {
  va_list args;
  va_start(args, sqlFormat);
  UINT result;
  try {
    result = OpenQueryV(view, database, record, sqlFormat, args);
  } catch (...) {
    va_end(args);
    throw;
  }
  va_end(args);
  return result;
}

bool FetchRow(MSIHANDLE view, yv::MsiHandle& record) {
  UINT result = MsiViewFetch(view, record.put());
  if (result == ERROR_NO_MORE_ITEMS) return false;
  ThrowIfMsiFailed(result, L"MsiViewFetch");
  return true;
}

}  // namespace msi_query

yv::_stringw GetRecordString(MSIHANDLE record, UINT field) {
  // The first read goes to the stack: tables are read row by row, field by
  // field, and most fields are short.
  wchar_t first[msi_query::kRecordStringBufferSize];
  DWORD size = msi_query::kRecordStringBufferSize;
  UINT result = MsiRecordGetStringW(record, field, first, &size);
  if (result == ERROR_SUCCESS) return yv::_stringw(first, size);
  yv::_stringw text;
  if (result == ERROR_MORE_DATA) {
    // The data size is in bytes for some field types and characters for
    // others; twice it covers either.
    size = 2 * MsiRecordDataSize(record, field) + 1;
    auto buffer = text.writable(size);
    result = MsiRecordGetStringW(record, field, buffer, &size);
  }
  ThrowIfMsiFailed(result, L"MsiRecordGetString");
  return text;
}

yv::_stringw GetSessionProperty(MSIHANDLE install, const wchar_t* name, UINT* result) {
  yv::_stringw value;
  DWORD size = msi_query::kRecordStringBufferSize;
  UINT answer;
  {
    auto buffer = value.writable(size);
    answer = MsiGetPropertyW(install, name ? name : L"", buffer, &size);
  }
  if (answer == ERROR_MORE_DATA) {
    size += 1;
    auto buffer = value.writable(size);
    answer = MsiGetPropertyW(install, name ? name : L"", buffer, &size);
  }
  if (answer != ERROR_SUCCESS) value.clear();
  if (result) *result = answer;
  return value;
}
