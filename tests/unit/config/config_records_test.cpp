#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/CXmlCfgPropertyBag.h"

// Components, files and XPath entries are processed in key order: ordinal,
// by UTF-16 code unit, so a path comes before the paths that extend it and
// no culture's collation changes the order of the changes. A surrogate pair
// (U+1F600) sorts before U+FF01 although its code point is larger.
TEST(ConfigRecords, KeysSortByCodeUnit) {
  CXmlCfgPropertyBag bag;
  CXmlCfgFileProp* file = bag.GetOrAddComponent(L"C")->AddFile(L"F");
  for (const wchar_t* n : {L"\xFF01", L"\xD83D\xDE00", L"\x4E2D", L"\x00E9", L"z", L"Z"}) bag.GetOrAddComponent(n);
  for (const wchar_t* xpath : {L"/a/c", L"/a/b", L"/a", L"/B", L"/a/b/c"}) file->AddXPath(xpath);
  std::vector<std::wstring> components, xpaths;
  for (const auto& entry : bag.components) components.emplace_back(entry.first.c_str());
  for (const auto& entry : file->xpaths) xpaths.emplace_back(entry.first.c_str());
  EXPECT_EQ(components,
            (std::vector<std::wstring>{L"C", L"Z", L"z", L"\x00E9", L"\x4E2D", L"\xD83D\xDE00", L"\xFF01"}));
  EXPECT_EQ(xpaths, (std::vector<std::wstring>{L"/B", L"/a", L"/a/b", L"/a/b/c", L"/a/c"}));
}
