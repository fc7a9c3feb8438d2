#pragma once

#include <windows.h>

// Positions of the XML-change tables' columns in a "SELECT *" record, in the
// order the tables are authored. Everything that reads these tables takes
// the positions from here.
namespace XmlFileColumn {
constexpr UINT kKey = 1;
constexpr UINT kFileName = 2;
constexpr UINT kComponent = 3;
constexpr UINT kFolderProperty = 4;
constexpr UINT kFlags = 5;
// The two last columns are optional: older packages end after the flags.
constexpr UINT kSelectionNamespaces = 6;
constexpr UINT kEncoding = 7;
}  // namespace XmlFileColumn

namespace XmlElementColumn {
constexpr UINT kKey = 1;
constexpr UINT kStep = 4;
constexpr UINT kText = 5;
constexpr UINT kFlags = 6;
}  // namespace XmlElementColumn

namespace XmlAttributeColumn {
constexpr UINT kKey = 1;
constexpr UINT kName = 3;
constexpr UINT kValue = 4;
constexpr UINT kFlags = 5;
}  // namespace XmlAttributeColumn
