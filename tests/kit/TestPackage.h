#pragma once

#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <string>
#include <vector>

#include "support/msi_handle.h"

// One value of an inserted row: a text or an integer (the installer stores
// an empty text as null).
struct Cell {
  Cell(const wchar_t* value) : text(value) {}
  Cell(std::wstring value) : text(std::move(value)) {}
  Cell(int value) : isInteger(true), integer(value) {}
  std::wstring text;
  bool isInteger = false;
  int integer = 0;
};

// The one way tests write to a package database: a statement, or a row
// inserted through '?' markers so that quotes and brackets need no escaping.
// Both throw, naming the statement, when the installer refuses it.
void RunSql(MSIHANDLE database, const std::wstring& statement);
void InsertRow(MSIHANDLE database, const std::wstring& table, const std::vector<std::wstring>& columns,
               const std::vector<Cell>& cells);

// A real installer package database, made with the installer's own API, with
// a Property table and the summary information a session needs. Commit()
// before opening it as a session.
class TestPackage {
 public:
  explicit TestPackage(std::wstring path);
  const std::wstring& path() const { return path_; }
  MSIHANDLE database() const { return database_; }

  TestPackage& Sql(const std::wstring& statement) {
    RunSql(database_, statement);
    return *this;
  }
  TestPackage& Row(const std::wstring& table, const std::vector<std::wstring>& columns,
                   const std::vector<Cell>& cells) {
    InsertRow(database_, table, columns, cells);
    return *this;
  }
  TestPackage& Property(const std::wstring& name, const std::wstring& value) {
    return Row(L"Property", {L"Property", L"Value"}, {name, value});
  }
  // The Error table rows the installer needs to show the document's load and
  // save prompts (without them it answers Abort at once).
  TestPackage& ErrorPromptRows();
  // Writes the package and closes it: the installer refuses to open a
  // package that is still open for writing.
  void Commit();

 private:
  std::wstring path_;
  yv::MsiHandle database_;
};
