#pragma once

// The XML-change tables of a test package, written through the package
// kit's row builder. Header only: each test folder is its own program.

#include "kit/TestPackage.h"

namespace xml_tables {

inline void CreateFileTable(MSIHANDLE database) {
  RunSql(database, L"CREATE TABLE `YVXmlFile` (`YVXmlFile` CHAR(72) NOT NULL, `FileName` LONGCHAR NOT NULL, "
                   L"`Component_` CHAR(72) NOT NULL, `Directory` CHAR(72) NOT NULL, `Attributes` LONG, "
                   L"`SelectionNamespaces` LONGCHAR, `Encoding` CHAR(64) PRIMARY KEY `YVXmlFile`)");
}

// `keyColumns` lets a test make the key unique only together with the file,
// which a real package never does.
inline void CreateElementTable(MSIHANDLE database, const std::wstring& keyColumns = L"`YVXmlElement`") {
  RunSql(database, L"CREATE TABLE `YVXmlElement` (`YVXmlElement` CHAR(255) NOT NULL, `YVXmlFile_` CHAR(255) NOT "
                   L"NULL, `YVXmlElement_Parent` CHAR(255), `ElementPath` LONGCHAR, `Text` LONGCHAR, `Flags` LONG "
                   L"PRIMARY KEY " +
                       keyColumns + L")");
}

inline void CreateAttributeTable(MSIHANDLE database) {
  RunSql(database, L"CREATE TABLE `YVXmlElementAttrib` (`YVXmlElementAttrib` CHAR(255) NOT NULL, `YVXmlElement_` "
                   L"CHAR(255) NOT NULL, `Name` LONGCHAR, `Value` LONGCHAR, `Flags` LONG PRIMARY KEY "
                   L"`YVXmlElementAttrib`)");
}

inline void CreateAllTables(MSIHANDLE database) {
  CreateFileTable(database);
  CreateElementTable(database);
  CreateAttributeTable(database);
}

inline void AddFile(MSIHANDLE database, const std::wstring& key, const std::wstring& fileName,
                    const std::wstring& component, const std::wstring& folderProperty, int flags,
                    const std::wstring& selectionNamespaces = L"", const std::wstring& encoding = L"") {
  InsertRow(
      database, L"YVXmlFile",
      {L"YVXmlFile", L"FileName", L"Component_", L"Directory", L"Attributes", L"SelectionNamespaces", L"Encoding"},
      {key, fileName, component, folderProperty, flags, selectionNamespaces, encoding});
}

inline void AddElement(MSIHANDLE database, const std::wstring& key, const std::wstring& file,
                       const std::wstring& parent, const std::wstring& step, const std::wstring& content = L"",
                       int flags = 0) {
  InsertRow(database, L"YVXmlElement",
            {L"YVXmlElement", L"YVXmlFile_", L"YVXmlElement_Parent", L"ElementPath", L"Text", L"Flags"},
            {key, file, parent, step, content, flags});
}

inline void AddAttribute(MSIHANDLE database, const std::wstring& key, const std::wstring& element,
                         const std::wstring& name, const std::wstring& value, int flags) {
  InsertRow(database, L"YVXmlElementAttrib", {L"YVXmlElementAttrib", L"YVXmlElement_", L"Name", L"Value", L"Flags"},
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
