#pragma once

#include <windows.h>
#include <msi.h>

#include <map>
#include <string>

// The property values a preview formats text with, where an installation
// would ask the installer: the package's Property table, overridden by the
// folders and the properties of the command line.
//
// Formatting follows the installer's formatted-text rules as far as they
// make sense without an installation: [NAME] a property (empty when unknown),
// [%NAME] an environment variable, [\c] the character c, [~] nothing, and
// brackets nest ([[NAME]]). File, component and directory references ([#..],
// [!..], [$..]) need the installer's costing and come out empty.
class CPreviewProperties {
 public:
  // Reads every row of the database's Property table, if it has one.
  void LoadPropertyTable(MSIHANDLE database);
  void Set(const std::wstring& name, const std::wstring& value) { values_[name] = value; }
  // Empty when the property has no value.
  std::wstring Get(const std::wstring& name) const;

  std::wstring Format(const std::wstring& text) const;

 private:
  // Formats text from `pos` up to the bracket that closes the one opened
  // before it (or to the end when `nested` is false), moving `pos` past it.
  // False when a nested bracket is never closed.
  bool FormatUntilClose(const std::wstring& text, size_t& pos, bool nested, std::wstring& out) const;
  std::wstring Evaluate(const std::wstring& key) const;

  std::map<std::wstring, std::wstring> values_;
};
