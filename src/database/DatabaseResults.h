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
// A property exists in the Property table but its formatted value is empty.
constexpr int kPropertyEmpty = -1401;
// A property has no row in the Property table.
constexpr int kPropertyMissing = -1402;
}  // namespace DatabaseResult
