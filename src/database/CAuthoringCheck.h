#pragma once

#include <windows.h>

#include <optional>

#include "support/stringw.h"
#include "xml/CXPathCompiler.h"

// Refuses, while the costing reads the tables, the rows that would change a
// file wrongly or leave it unreadable: names that are not XML names, XPaths
// the parser rejects, SelectionNamespaces texts it cannot read. Each refusal
// logs one line naming the table, the row, the column and the fault, and
// returns a DatabaseResult code; nothing has been changed at that point.
class CAuthoringCheck {
 public:
  // Texts that are templates still to be translated (the build-time INI
  // builder's) are not checked.
  void SetEnabled(bool enabled) { enabled_ = enabled; }

  // Starts the checks of one YVXmlFile row: its SelectionNamespaces text,
  // which its XPaths are then compiled with.
  int BeginFile(const yv::_stringw& fileKey, const yv::_stringw& selectionNamespaces);

  // The name a created file's root element gets from root row `rowKey`.
  int CheckRootName(const yv::_stringw& rowKey, const yv::_stringw& name);

  // The XPath of element row `rowKey` and, when its flags create the
  // element, the name of its last step.
  int CheckElement(const yv::_stringw& rowKey, const yv::_stringw& xpath, DWORD flags);

  // The name of attribute row `rowKey`.
  int CheckAttribute(const yv::_stringw& rowKey, const yv::_stringw& name);

 private:
  int RefuseName(const wchar_t* table, const yv::_stringw& rowKey, const wchar_t* column, const yv::_stringw& name);

  bool enabled_ = true;
  std::optional<xmlutils::CXPathCompiler> compiler_;
};
