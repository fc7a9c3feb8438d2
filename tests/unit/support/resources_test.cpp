#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/stringw.h"

namespace {

struct ExpectedText {
  UINT id;
  const wchar_t* text;
};

const ExpectedText kTexts[] = {
    {1, L"Yelvin XML runtime"},
    {2, L"Updating XML file: %s"},
    {3, L"Error getting property %s from Property table. Error:  %d"},
    {4, L"%s table not found, skipping"},
    {5, L"Loading data for XML file %s"},
    {6, L"Using SelectionNamespaces:  %s"},
    {7, L"Setting root element name to '%s'. Namespace = '%s'"},
    {8, L"Unable to set root name '%s'"},
    {9, L"Saving XML file '%s'"},
    {10, L"MSXML 4 not installed, using MSXML 3..."},
    {11, L"MSXML 3 not installed, can't contiue..."},
    {12, L"Error setting SelectionLanguage property. Error Code = 0x%lx"},
    {13, L"Error setting SelectionNamespaces property. Error Code = 0x%lx"},
    {14, L"Error calling put_resolveExternals. Error Code = 0x%lx"},
    {15, L"Error calling put_validateOnParse. Error Code = 0x%lx"},
    {16, L"Xml file %s has no root element"},
    {17, L"XML file '%s' does not exist. Creating using root element <%s>..."},
    {18, L"Processing XPath '%s'"},
    {19, L"XPath '%s' contains invalid characters, skipping"},
    {20, L"XPath '%s' not found, creating"},
    {21, L"Checking XPath '%s'"},
    {22, L"CYVXmlFile::CreateXPathElements - QueryInterface for element %s failed"},
    {23, L"CYVXmlFile::CreateXPathElements ->createElement(%s)"},
    {24, L"CYVXmlFile::CreateXPathElements ->appendChild failed"},
    {25, L"No text node found for node %s"},
    {26, L"Creating text node %s"},
    {27, L"No current node set. Unable to get element content."},
    {28, L"No current node set. Unable to update attribute '%s'"},
    {29, L"Node name: '%s'  --> Attribute name = '%s', Current Value = '%s', Operation = '%d'"},
    {30, L"Node name: '%s'  - Attribute name = '%s', Old Value = '%s',  New value = '%s', Actual New Value = '%s'"},
    {31, L"No current node set. Unable to get the value for attribute '%s'"},
    {32, L"Node name: '%s'  --> Attribute name = '%s', Value = '%s'"},
    {33, L"Removing element"},
    {34, L"Formatting XML document"},
    {35, L"Couldn't create XML doc object for stylesheet"},
    {36, L"Loading stylesheet"},
    {37, L"Unable to load style sheet, skipping transformation"},
    {38, L"No stylesheet XML, skipping transformation"},
    {39, L"Successfully loaded stylesheet"},
    {40, L"Couldn't load style sheet"},
    {41, L"Couldn't create XML doc object"},
    {42, L"transformNodeToObject failed. Error Code =  %d"},
    {43, L"Done Formatting XML document"},
    {44, L"Installing XML Component '%s'"},
    {45, L"UnInstalling XML Component '%s'"},
    {46, L"Installing XML file '%s'"},
    {47, L"XML File '%s' does not exist and should not be created. Skipping..."},
    {48, L"UnInstalling XML file '%s'"},
    {49, L"Unable to remove XML file %s"},
    {50, L"Rolling back XML file: '%s'"},
    {51, L"Temp XML file copy is located at: '%s'"},
    {52, L"Unable to restore backup XML file"},
    {53, L"Installing %d XML component(s)"},
    {54, L"Uninstalling %d xml components"},
    {55, L"An unhandled exception occurred in %s function"},
    {56, L"CXmlCfgEngine::DoFinalize() - Error removing file:  %s"},
    {57, L"<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\"><xsl:output method=\"xml\" %1 indent=\"yes\" /><xsl:template match=\"*\"><xsl:copy>\r\n\r\n<xsl:copy-of select=\"@*\" /><xsl:apply-templates /></xsl:copy>\r\n\r\n</xsl:template><xsl:template match=\"comment()|processing-instruction()\"><xsl:copy/>\r\n\r\n</xsl:template></xsl:stylesheet>"},
    {58, L"No namespace for prefix %s found"},
    {59, L"Using MSXML version %d"},
    {60, L"Using encoding %s"},
    {61, L"Creating element:  Name=%s, Namespace=%s"},
    {62, L"XML test returned: %d"},
};

std::wstring ModuleBesideThisProgram() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self);
  return path.substr(0, path.find_last_of(L'\\') + 1) + L"YVXmlCfg.dll";
}

class ModuleHandle {
 public:
  explicit ModuleHandle(HMODULE module) : module_(module) {}
  ~ModuleHandle() {
    if (module_) FreeLibrary(module_);
  }
  HMODULE get() const { return module_; }

 private:
  HMODULE module_;
};

std::wstring LoadFrom(HMODULE module, UINT id) {
  std::vector<wchar_t> buffer(2048);
  int length = LoadStringW(module, id, buffer.data(), static_cast<int>(buffer.size()));
  return std::wstring(buffer.data(), length > 0 ? length : 0);
}

}  // namespace

TEST(ModuleResources, TheBuiltModuleCarriesEveryMessageText) {
  ModuleHandle module(LoadLibraryW(ModuleBesideThisProgram().c_str()));
  ASSERT_NE(module.get(), nullptr) << "YVXmlCfg.dll must sit beside the test program";
  ASSERT_EQ(sizeof(kTexts) / sizeof(kTexts[0]), 62u);
  for (const auto& expected : kTexts) {
    EXPECT_EQ(LoadFrom(module.get(), expected.id), expected.text) << "string id " << expected.id;
  }
}

TEST(ModuleResources, TheStylesheetIsTheIndentingIdentityTransform) {
  ModuleHandle module(LoadLibraryW(ModuleBesideThisProgram().c_str()));
  ASSERT_NE(module.get(), nullptr);
  std::wstring sheet = LoadFrom(module.get(), 57);
  ASSERT_EQ(sheet.size(), 344u);
  const std::wstring breakText = L"\r\n\r\n";
  const std::wstring pieces[] = {
      L"<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">",
      L"<xsl:output method=\"xml\" %1 indent=\"yes\" /><xsl:template match=\"*\"><xsl:copy>" + breakText,
      L"<xsl:copy-of select=\"@*\" /><xsl:apply-templates /></xsl:copy>" + breakText,
      L"</xsl:template><xsl:template match=\"comment()|processing-instruction()\"><xsl:copy/>" + breakText,
      L"</xsl:template></xsl:stylesheet>",
  };
  size_t at = 0;
  for (const auto& piece : pieces) {
    EXPECT_EQ(sheet.compare(at, piece.size(), piece), 0) << "piece at " << at;
    at += piece.size();
  }
  EXPECT_EQ(at, sheet.size());
}

TEST(ModuleResources, VersionResourceDescribesTheModule) {
  std::wstring path = ModuleBesideThisProgram();
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));
  wchar_t* description = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\StringFileInfo\\040904B0\\FileDescription",
                             reinterpret_cast<void**>(&description), &length));
  EXPECT_STREQ(description, L"YVXML Runtime Module");
}

TEST(ModuleResources, TheModuleIsA64BitDllThatNeedsOnlyWindowsOwnLibraries) {
  ModuleHandle module(LoadLibraryExW(ModuleBesideThisProgram().c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES));
  ASSERT_NE(module.get(), nullptr);
  auto base = reinterpret_cast<const BYTE*>(module.get());
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
  EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
  EXPECT_TRUE(nt->FileHeader.Characteristics & IMAGE_FILE_DLL);
  const auto& importDir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  ASSERT_NE(importDir.VirtualAddress, 0u);
  for (auto entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + importDir.VirtualAddress); entry->Name;
       ++entry) {
    std::string name(reinterpret_cast<const char*>(base + entry->Name));
    for (auto& c : name) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    EXPECT_TRUE(name == "kernel32.dll" || name == "msvcrt.dll" || name == "msi.dll" || name == "ole32.dll" ||
                name == "oleaut32.dll" || name == "user32.dll" || name == "advapi32.dll" || name == "shlwapi.dll")
        << "unexpected dependency " << name;
  }
}
