#pragma once

#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <string>
#include <vector>

#include "support/msi_handle.h"

// A real installer package database, made with the installer's own API, for
// tests that need a session or a database. Build it with SQL and property
// rows, then Commit() before opening it as a session.
class TestPackage {
 public:
  // Creates `path` with a Property table and the summary information an
  // installer session needs.
  explicit TestPackage(std::wstring path);

  const std::wstring& path() const { return path_; }
  MSIHANDLE database() const { return database_; }

  // Runs one SQL statement; fails the test when the installer refuses it.
  TestPackage& Sql(const std::wstring& statement);
  TestPackage& Property(const std::wstring& name, const std::wstring& value);
  // Adds a row to a table with string columns only ('?' markers are filled
  // from the values, so quotes need no escaping).
  TestPackage& Row(const std::wstring& table, const std::vector<std::wstring>& columns,
                   const std::vector<std::wstring>& values);
  // The Error table rows that the installer needs to show the document's
  // load and save prompts (without them it answers Abort at once).
  TestPackage& ErrorPromptRows();
  // Writes the package and closes it; the builder is done after this.
  void Commit();

 private:
  std::wstring path_;
  yv::MsiHandle database_;
};
