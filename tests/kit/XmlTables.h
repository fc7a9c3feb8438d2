#pragma once

// Builds the XML-change tables of a test package with the installer's own
// API. Shared by the database, costing and benchmark programs (header only:
// each test folder is its own program).

#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "kit/TestPackage.h"
#include "support/msi_handle.h"

namespace xml_tables {

// One value of an inserted row: a text, an integer, or null.
struct Cell {
  enum class Kind { kText, kInteger, kNull } kind;
  std::wstring text;
  int integer = 0;

  Cell(const wchar_t* value) : kind(Kind::kText), text(value) {}
  Cell(std::wstring value) : kind(Kind::kText), text(std::move(value)) {}
  Cell(int value) : kind(Kind::kInteger), integer(value) {}
  static Cell Null() {
    Cell cell(0);
    cell.kind = Kind::kNull;
    return cell;
  }
};

inline void Check(UINT result, const std::wstring& what) {
  if (result != ERROR_SUCCESS)
    throw std::runtime_error("installer call failed (" + std::to_string(result) + "): " +
                             std::string(what.begin(), what.end()));
}

inline void RunSql(MSIHANDLE database, const std::wstring& statement) {
  yv::MsiHandle view;
  Check(MsiDatabaseOpenViewW(database, statement.c_str(), view.put()), statement);
  Check(MsiViewExecute(view, 0), statement);
}

// Inserts one row with '?' markers, so quotes and brackets need no care.
inline void Insert(MSIHANDLE database, const std::wstring& table, const std::vector<std::wstring>& columns,
                   const std::vector<Cell>& cells) {
  std::wstring names, markers;
  for (size_t i = 0; i < columns.size(); ++i) {
    names += (i ? L", `" : L"`") + columns[i] + L"`";
    markers += i ? L", ?" : L"?";
  }
  std::wstring statement = L"INSERT INTO `" + table + L"` (" + names + L") VALUES (" + markers + L")";
  yv::MsiHandle record(MsiCreateRecord(static_cast<UINT>(cells.size())));
  for (size_t i = 0; i < cells.size(); ++i) {
    UINT field = static_cast<UINT>(i + 1);
    switch (cells[i].kind) {
      case Cell::Kind::kText: MsiRecordSetStringW(record, field, cells[i].text.c_str()); break;
      case Cell::Kind::kInteger: MsiRecordSetInteger(record, field, cells[i].integer); break;
      case Cell::Kind::kNull: break;  // a field never set is null
    }
  }
  yv::MsiHandle view;
  Check(MsiDatabaseOpenViewW(database, statement.c_str(), view.put()), statement);
  Check(MsiViewExecute(view, record), statement);
}

// YVXmlFile with 5, 6 or 7 columns.
inline void CreateFileTable(MSIHANDLE database, int columns = 7) {
  std::wstring sql =
      L"CREATE TABLE `YVXmlFile` (`YVXmlFile` CHAR(72) NOT NULL, `FileName` LONGCHAR NOT NULL, "
      L"`Component_` CHAR(72) NOT NULL, `Directory` CHAR(72) NOT NULL, `Attributes` LONG";
  if (columns >= 6) sql += L", `SelectionNamespaces` LONGCHAR";
  if (columns >= 7) sql += L", `Encoding` CHAR(64)";
  RunSql(database, sql + L" PRIMARY KEY `YVXmlFile`)");
}

// YVXmlElement; `keyColumns` lets a test make the key unique only together
// with the file, which a real package never does.
inline void CreateElementTable(MSIHANDLE database, const std::wstring& keyColumns = L"`YVXmlElement`") {
  RunSql(database,
         L"CREATE TABLE `YVXmlElement` (`YVXmlElement` CHAR(255) NOT NULL, `YVXmlFile_` CHAR(255) NOT NULL, "
         L"`YVXmlElement_Parent` CHAR(255), `ElementPath` LONGCHAR, `Text` LONGCHAR, `Flags` LONG "
         L"PRIMARY KEY " +
             keyColumns + L")");
}

inline void CreateAttributeTable(MSIHANDLE database) {
  RunSql(database,
         L"CREATE TABLE `YVXmlElementAttrib` (`YVXmlElementAttrib` CHAR(255) NOT NULL, "
         L"`YVXmlElement_` CHAR(255) NOT NULL, `Name` LONGCHAR, `Value` LONGCHAR, `Flags` LONG "
         L"PRIMARY KEY `YVXmlElementAttrib`)");
}

inline void CreateAllTables(MSIHANDLE database) {
  CreateFileTable(database);
  CreateElementTable(database);
  CreateAttributeTable(database);
}

inline void AddFile(MSIHANDLE database, const std::wstring& key, const std::wstring& fileName,
                    const std::wstring& component, const std::wstring& folderProperty, int flags,
                    const std::wstring& selectionNamespaces = L"", const std::wstring& encoding = L"") {
  Insert(database, L"YVXmlFile",
         {L"YVXmlFile", L"FileName", L"Component_", L"Directory", L"Attributes", L"SelectionNamespaces", L"Encoding"},
         {key, fileName, component, folderProperty, flags, selectionNamespaces, encoding});
}

// For YVXmlFile tables without the two optional columns.
inline void AddFileOfFiveColumns(MSIHANDLE database, const std::wstring& key, const std::wstring& fileName,
                                 const std::wstring& component, const std::wstring& folderProperty, int flags) {
  Insert(database, L"YVXmlFile", {L"YVXmlFile", L"FileName", L"Component_", L"Directory", L"Attributes"},
         {key, fileName, component, folderProperty, flags});
}

inline void AddElement(MSIHANDLE database, const std::wstring& key, const std::wstring& file,
                       const std::wstring& parent, const std::wstring& step, const std::wstring& content = L"",
                       int flags = 0) {
  Insert(database, L"YVXmlElement",
         {L"YVXmlElement", L"YVXmlFile_", L"YVXmlElement_Parent", L"ElementPath", L"Text", L"Flags"},
         {key, file, parent, step, content, flags});
}

inline void AddAttribute(MSIHANDLE database, const std::wstring& key, const std::wstring& element,
                         const std::wstring& name, const std::wstring& value, int flags) {
  Insert(database, L"YVXmlElementAttrib", {L"YVXmlElementAttrib", L"YVXmlElement_", L"Name", L"Value", L"Flags"},
         {key, element, name, value, flags});
}

// The six progress texts that every complete package carries.
inline void AddProgressMessages(TestPackage& package) {
  package.Property(L"YV_PROGMSG_XML_COSTING", L"Costing XML files")
      .Property(L"YV_PROGMSG_XML_FILES", L"Configuring XML files")
      .Property(L"YV_PROGMSG_XML_CREATE_FILE", L"Creating %s")
      .Property(L"YV_PROGMSG_XML_UPDATE_FILE", L"Updating %s")
      .Property(L"YV_PROGMSG_XML_REMOVE_FILE", L"Removing %s")
      .Property(L"YV_PROGMSG_XML_ROLLBACK_FILES", L"Rolling back XML files");
}

}  // namespace xml_tables
