#pragma once

// Results of loading the XML-change tables from an installer database. The
// costing action returns them to the installer as they are, so the values
// never change.
namespace DatabaseResult {
constexpr int kSuccess = 0;
// A YVXmlFile row whose file name resolved to an empty text.
constexpr int kFileNameEmpty = -1202;
// A YVXmlFile row whose folder property resolved to an empty text.
constexpr int kFolderEmpty = -1205;
// Rows the costing refuses before anything is changed: an element to create
// or an attribute whose name is not an XML name, an XPath the parser
// rejects, a SelectionNamespaces text it cannot read, and rows that give one
// XPath with different flags.
constexpr int kNotAnXmlName = -1221;
constexpr int kInvalidXPath = -1222;
constexpr int kInvalidSelectionNamespaces = -1223;
constexpr int kConflictingRows = -1224;
// A property exists in the Property table but its formatted value is empty.
constexpr int kPropertyEmpty = -1401;
// A property has no row in the Property table.
constexpr int kPropertyMissing = -1402;
}  // namespace DatabaseResult
