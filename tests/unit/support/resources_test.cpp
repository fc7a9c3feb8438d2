#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

// What the built YVXmlCfg.dll beside this program carries. The resource
// compiler has its own escapes ("" for a quote, \r\n, %), so the texts most
// likely to be mangled are read back: the stylesheet documents are
// pretty-printed with and texts with apostrophes and format specifiers. A
// clean Windows has no MinGW runtime, so the module may import from the
// system's own libraries only.
TEST(ModuleResources, TheModuleCarriesItsTextsAndVersionAndNeedsOnlyWindowsOwnLibraries) {
  wchar_t self[MAX_PATH];
  std::wstring path(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
  path = path.substr(0, path.find_last_of(L'\\') + 1) + L"YVXmlCfg.dll";
  std::unique_ptr<std::remove_pointer_t<HMODULE>, decltype(&FreeLibrary)> module(LoadLibraryW(path.c_str()),
                                                                                 &FreeLibrary);
  ASSERT_NE(module, nullptr) << "YVXmlCfg.dll must sit beside the test program";
  for (const auto& [id, text] : std::vector<std::pair<UINT, std::wstring>>{
           {11, L"MSXML 3 not installed, can't contiue..."},
           {12, L"Error setting SelectionLanguage property. Error Code = 0x%lx"},
           {57, L"<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\"><xsl:output "
                L"method=\"xml\" %1 indent=\"yes\" /><xsl:template match=\"*\"><xsl:copy>\r\n\r\n<xsl:copy-of "
                L"select=\"@*\" /><xsl:apply-templates /></xsl:copy>\r\n\r\n</xsl:template><xsl:template "
                L"match=\"comment()|processing-instruction()\"><xsl:copy/>\r\n\r\n</xsl:template></xsl:stylesheet>"}}) {
    wchar_t buffer[1024];
    EXPECT_EQ(std::wstring(buffer, std::max(0, LoadStringW(module.get(), id, buffer, 1024))), text) << id;
  }

  DWORD ignored = 0;
  std::vector<BYTE> block(GetFileVersionInfoSizeW(path.c_str(), &ignored));
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
  wchar_t* description = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\StringFileInfo\\040904B0\\FileDescription",
                             reinterpret_cast<void**>(&description), &length));
  EXPECT_STREQ(description, L"YVXML Runtime Module");

  auto base = reinterpret_cast<const BYTE*>(module.get());
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
  EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
  EXPECT_TRUE(nt->FileHeader.Characteristics & IMAGE_FILE_DLL);
  const auto& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       imports.VirtualAddress && entry->Name; ++entry) {
    std::string name = CharLowerA(std::string(reinterpret_cast<const char*>(base + entry->Name)).data());
    EXPECT_TRUE(name == "kernel32.dll" || name == "msvcrt.dll" || name == "msi.dll" || name == "ole32.dll" ||
                name == "oleaut32.dll" || name == "user32.dll" || name == "advapi32.dll" || name == "shlwapi.dll" ||
                name == "shell32.dll" || name == "bcrypt.dll")
        << "unexpected dependency " << name;
  }
}
