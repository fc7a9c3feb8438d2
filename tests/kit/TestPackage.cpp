#include "kit/TestPackage.h"

#include <msidefs.h>

#include <stdexcept>

namespace {

void Check(UINT result, const std::wstring& what) {
  if (result != ERROR_SUCCESS)
    throw std::runtime_error("installer call failed (" + std::to_string(result) +
                             "): " + std::string(what.begin(), what.end()));
}

void Execute(MSIHANDLE database, const std::wstring& statement, MSIHANDLE record) {
  yv::MsiHandle view;
  Check(MsiDatabaseOpenViewW(database, statement.c_str(), view.put()), statement);
  Check(MsiViewExecute(view, record), statement);
  MsiViewClose(view);
}

}  // namespace

void RunSql(MSIHANDLE database, const std::wstring& statement) { Execute(database, statement, 0); }

void InsertRow(MSIHANDLE database, const std::wstring& table, const std::vector<std::wstring>& columns,
               const std::vector<Cell>& cells) {
  std::wstring names, markers;
  yv::MsiHandle record(MsiCreateRecord(static_cast<UINT>(cells.size())));
  for (UINT i = 0; i < columns.size(); ++i) {
    names += (i ? L", `" : L"`") + columns[i] + L"`";
    markers += i ? L", ?" : L"?";
    if (cells[i].isInteger) MsiRecordSetInteger(record, i + 1, cells[i].integer);
    if (!cells[i].isInteger) MsiRecordSetStringW(record, i + 1, cells[i].text.c_str());
  }
  Execute(database, L"INSERT INTO `" + table + L"` (" + names + L") VALUES (" + markers + L")", record);
}

TestPackage::TestPackage(std::wstring path) : path_(std::move(path)) {
  DeleteFileW(path_.c_str());
  Check(MsiOpenDatabaseW(path_.c_str(), MSIDBOPEN_CREATE, database_.put()), L"MsiOpenDatabase " + path_);
  yv::MsiHandle summary;
  Check(MsiGetSummaryInformationW(database_, nullptr, 20, summary.put()), L"MsiGetSummaryInformation");
  MsiSummaryInfoSetPropertyW(summary, PID_TITLE, VT_LPSTR, 0, nullptr, L"Installation Database");
  MsiSummaryInfoSetPropertyW(summary, PID_TEMPLATE, VT_LPSTR, 0, nullptr, L"x64;1033");
  MsiSummaryInfoSetPropertyW(summary, PID_REVNUMBER, VT_LPSTR, 0, nullptr, L"{5B4E3E06-8D9C-4D0B-9F51-6A9A7D3C1F20}");
  MsiSummaryInfoSetPropertyW(summary, PID_PAGECOUNT, VT_I4, 200, nullptr, nullptr);
  MsiSummaryInfoSetPropertyW(summary, PID_WORDCOUNT, VT_I4, 2, nullptr, nullptr);
  Check(MsiSummaryInfoPersist(summary), L"MsiSummaryInfoPersist");
  Sql(L"CREATE TABLE `Property` (`Property` CHAR(72) NOT NULL, `Value` LONGCHAR NOT NULL LOCALIZABLE PRIMARY KEY "
      L"`Property`)");
}

TestPackage& TestPackage::ErrorPromptRows() {
  Sql(L"CREATE TABLE `Error` (`Error` SHORT NOT NULL, `Message` LONGCHAR LOCALIZABLE PRIMARY KEY `Error`)");
  Row(L"Error", {L"Error", L"Message"}, {27519, L"Error saving XML file [2]. Error: [3]"});
  return Row(L"Error", {L"Error", L"Message"}, {27520, L"Error loading XML file [2]. Error: [3]"});
}

void TestPackage::Commit() {
  Check(MsiDatabaseCommit(database_), L"MsiDatabaseCommit");
  database_.reset();
}
