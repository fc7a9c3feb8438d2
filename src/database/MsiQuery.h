#pragma once

#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <cstdarg>

#include "support/MessageLog.h"
#include "support/msi_handle.h"
#include "support/stringw.h"

// Query helpers over an installer database. Every failed installer call
// leaves as a com_exception (ThrowIfMsiFailed) naming the call; only the end
// of the rows (ERROR_NO_MORE_ITEMS) is an ordinary result.

namespace msi_query {

// The SQL text is built in a buffer of this many characters, terminator
// included. Keys and property names are far shorter; a longer query is
// refused instead of being cut into a different one.
constexpr size_t kSqlBufferSize = 2048;
// The first read of a record field goes through a buffer of this size.
constexpr DWORD kRecordStringBufferSize = 2048;

// True when `table` is neither a persistent nor a temporary table of the
// database (MsiDatabaseIsTablePersistent answers "none" or "error").
bool IsTableMissing(MSIHANDLE database, const wchar_t* table);

// The formatted query text; refused (com_exception) when it does not fit.
yv::_stringw FormatSql(const wchar_t* sqlFormat, va_list args);

UINT OpenQueryV(yv::MsiHandle& view, MSIHANDLE database, yv::MsiHandle& record, const wchar_t* sqlFormat, va_list args);
void OpenViewV(yv::MsiHandle& view, MSIHANDLE database, const wchar_t* sqlFormat, va_list args);
UINT OpenQueryF(yv::MsiHandle& view, MSIHANDLE database, yv::MsiHandle& record, const wchar_t* sqlFormat, ...);
void OpenViewF(yv::MsiHandle& view, MSIHANDLE database, const wchar_t* sqlFormat, ...);

// Fetches the next row of an executed view into `record`. Returns false at
// the end of the rows.
bool FetchRow(MSIHANDLE view, yv::MsiHandle& record);

}  // namespace msi_query

// Runs a printf-style query (arguments: the module's strings, wide texts,
// integers) and fetches its first row. Any view handle already in `view` is
// closed first. Returns 0 with the row in `record`, or ERROR_NO_MORE_ITEMS
// when the query has no row.
template <class... Args>
UINT OpenQuery(yv::MsiHandle& view, MSIHANDLE database, yv::MsiHandle& record, const wchar_t* sqlFormat,
               const Args&... args) {
  return msi_query::OpenQueryF(view, database, record, sqlFormat, yv::detail::LogArgument(args)...);
}

// Runs a printf-style query and leaves the executed view in `view` for the
// caller to fetch from.
template <class... Args>
void OpenView(yv::MsiHandle& view, MSIHANDLE database, const wchar_t* sqlFormat, const Args&... args) {
  msi_query::OpenViewF(view, database, sqlFormat, yv::detail::LogArgument(args)...);
}

// The value of property `name` of a running installation, however long it
// is; `result` receives the installer's answer (empty value on failure).
yv::_stringw GetSessionProperty(MSIHANDLE install, const wchar_t* name, UINT* result = nullptr);

// The text of `field` of `record`, however long it is.
yv::_stringw GetRecordString(MSIHANDLE record, UINT field);
