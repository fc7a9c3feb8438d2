#include "kit/TestPackage.h"

#include <gtest/gtest.h>

#include <msidefs.h>
#include <propidl.h>

#include <stdexcept>

namespace {

void Check(UINT result, const std::wstring& what) {
  if (result != ERROR_SUCCESS) {
    std::string narrow(what.begin(), what.end());
    throw std::runtime_error("installer call failed (" + std::to_string(result) + "): " + narrow);
  }
}

}  // namespace

TestPackage::TestPackage(std::wstring path) : path_(std::move(path)) {
  DeleteFileW(path_.c_str());
  Check(MsiOpenDatabaseW(path_.c_str(), MSIDBOPEN_CREATE, database_.put()), L"MsiOpenDatabase " + path_);
  yv::MsiHandle summary;
  Check(MsiGetSummaryInformationW(database_, nullptr, 20, summary.put()), L"MsiGetSummaryInformation");
  MsiSummaryInfoSetPropertyW(summary, PID_TITLE, VT_LPSTR, 0, nullptr, L"Installation Database");
  MsiSummaryInfoSetPropertyW(summary, PID_TEMPLATE, VT_LPSTR, 0, nullptr, L"x64;1033");
  MsiSummaryInfoSetPropertyW(summary, PID_REVNUMBER, VT_LPSTR, 0, nullptr,
                             L"{5B4E3E06-8D9C-4D0B-9F51-6A9A7D3C1F20}");
  MsiSummaryInfoSetPropertyW(summary, PID_PAGECOUNT, VT_I4, 200, nullptr, nullptr);
  MsiSummaryInfoSetPropertyW(summary, PID_WORDCOUNT, VT_I4, 2, nullptr, nullptr);
  Check(MsiSummaryInfoPersist(summary), L"MsiSummaryInfoPersist");
  Sql(L"CREATE TABLE `Property` (`Property` CHAR(72) NOT NULL, `Value` LONGCHAR NOT NULL LOCALIZABLE "
      L"PRIMARY KEY `Property`)");
}

TestPackage& TestPackage::Sql(const std::wstring& statement) {
  yv::MsiHandle view;
  Check(MsiDatabaseOpenViewW(database_, statement.c_str(), view.put()), statement);
  Check(MsiViewExecute(view, 0), statement);
  MsiViewClose(view);
  return *this;
}

TestPackage& TestPackage::Property(const std::wstring& name, const std::wstring& value) {
  return Row(L"Property", {L"Property", L"Value"}, {name, value});
}

TestPackage& TestPackage::Row(const std::wstring& table, const std::vector<std::wstring>& columns,
                              const std::vector<std::wstring>& values) {
  std::wstring names, markers;
  for (size_t i = 0; i < columns.size(); ++i) {
    names += (i ? L", `" : L"`") + columns[i] + L"`";
    markers += i ? L", ?" : L"?";
  }
  std::wstring statement = L"INSERT INTO `" + table + L"` (" + names + L") VALUES (" + markers + L")";
  yv::MsiHandle record(MsiCreateRecord(static_cast<UINT>(values.size())));
  for (size_t i = 0; i < values.size(); ++i)
    MsiRecordSetStringW(record, static_cast<UINT>(i + 1), values[i].c_str());
  yv::MsiHandle view;
  Check(MsiDatabaseOpenViewW(database_, statement.c_str(), view.put()), statement);
  Check(MsiViewExecute(view, record), statement);
  MsiViewClose(view);
  return *this;
}

TestPackage& TestPackage::ErrorPromptRows() {
  Sql(L"CREATE TABLE `Error` (`Error` SHORT NOT NULL, `Message` LONGCHAR LOCALIZABLE PRIMARY KEY `Error`)");
  Sql(L"INSERT INTO `Error` (`Error`, `Message`) VALUES (27519, 'Error saving XML file [2]. Error: [3]')");
  Sql(L"INSERT INTO `Error` (`Error`, `Message`) VALUES (27520, 'Error loading XML file [2]. Error: [3]')");
  return *this;
}

void TestPackage::Commit() {
  Check(MsiDatabaseCommit(database_), L"MsiDatabaseCommit");
  // The installer opens the package itself: a handle still open for writing
  // here would make it refuse.
  database_.reset();
}
