#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <thread>

#include "config/CXmlCfgPropertyBag.h"
#include "kit/BagTestKit.h"
#include "kit/ModuleLibrary.h"
#include "kit/TempFolder.h"
#include "kit/XmlTables.h"
#include "runtime_file/CXmlMsiIniLoader.h"
#include "runtime_file/CXmlProIniLoader.h"
#include "yvxmlcfg/IXmlBuildHost.h"

namespace {

using namespace xml_tables;
using Texts = std::vector<std::wstring>;

// A build process as the module sees it: one database, one output folder,
// and folders written in the host's own bracketed form.
struct TestBuildHost : IXmlBuildHost {
  TestBuildHost(MSIHANDLE database, std::wstring output) : database(database), output(std::move(output)) {}
  MSIHANDLE GetDatabase() override { return database; }
  HRESULT TranslatePath(BSTR input, BSTR* translation) override {
    translated.push_back(input ? input : L"");
    *translation = SysAllocString((L"<" + translated.back() + L">").c_str());
    return S_OK;
  }
  HRESULT GetOutputFolder(BSTR* folder) override {
    *folder = SysAllocString(output.c_str());
    return S_OK;
  }
  MSIHANDLE database;
  std::wstring output;
  Texts translated;
};

// Two components, two files; the texts carry "#" runs of every length up to
// five, so that the pair removal shows in every kind of value. A broken
// attribute table lacks the columns the walk reads, which fails the
// installer's query for it. The export runs over the database opened
// read-only, as a build opens it, on a thread that never entered a COM
// apartment.
TestBuildHost Build(const TempFolder& folder, const std::wstring& output, bool brokenAttributeTable) {
  TestPackage package(folder.File(L"project.msi"));
  AddProgressMessages(package);
  MSIHANDLE db = package.database();
  CreateFileTable(db);
  CreateElementTable(db);
  if (brokenAttributeTable) {
    RunSql(db, L"CREATE TABLE `YVXmlElementAttrib` (`YVXmlElementAttrib` CHAR(72) PRIMARY KEY `YVXmlElementAttrib`)");
  } else {
    CreateAttributeTable(db);
    AddAttribute(db, L"A1", L"SItem", L"key", L"a##b##c", 5);
    AddAttribute(db, L"A2", L"SItem", L"va##lue", L"###", 5);
    AddAttribute(db, L"A3", L"SItem", L"empty", L"#####", 9);
  }
  AddFile(db, L"Settings", L"a##b##c", L"CompA", L"APP##DIR", 1, L"xmlns:m='urn:m'", L"UTF-8");
  AddFile(db, L"Other", L"other.xml", L"CompB", L"OTHERDIR", 4);
  AddElement(db, L"SRoot", L"Settings", L"", L"configuration", L"", 1);
  AddElement(db, L"SItem", L"Settings", L"SRoot", L"it###em", L"####", 0x11);
  AddElement(db, L"SLong", L"Settings", L"SRoot", L"long", std::wstring(200, L'#') + std::wstring(300, L'x'), 0x11);
  package.Commit();

  yv::MsiHandle database;
  EXPECT_EQ(MsiOpenDatabaseW(package.path().c_str(), MSIDBOPEN_READONLY, database.put()), 0u);
  TestBuildHost host(database, output);
  ModuleLibrary module;
  auto build = module.Export<CreateProIniFileForBuildFunction>("CreateProIniFileForBuild");
  std::thread([&] { build(&host); }).join();
  build(nullptr);
  return host;
}

}  // namespace

// Every component is written as installed, every text without its "##"
// pairs (however long), every folder as the host's text, pairs and all; an
// earlier build's file, of a bigger project, is replaced whole. The
// script-project reader reads what was built as the deferred actions'
// reader does, but joins an XPath step by step, so a leading "//" goes.
TEST(BuildIni, TheExportWritesTheProjectAsInstalledWithoutHashPairsAndNeverFails) {
  TempFolder folder;
  const std::wstring ini = folder.File(L"XMLRT.ini");
  WriteFileBytes(ini, "[Components]\r\nCount=3\r\nc3=Removed\r\n[Removed]\r\nActionState=3\r\n");
  Texts translated = Build(folder, folder.path(), false).translated;
  std::sort(translated.begin(), translated.end());
  EXPECT_EQ(translated, (Texts{L"APP##DIR", L"OTHERDIR"})) << "one translation per file row";
  EXPECT_EQ(ReadFileBytes(ini).substr(0, 2), "\xFF\xFE") << "the runtime data file's format: UTF-16 with its mark";
  EXPECT_EQ(ReadFileBytes(ini).find(Utf16Bytes(L"Removed")), std::string::npos) << "nothing of the earlier file";

  CXmlCfgPropertyBag bag, asScript;
  CXmlMsiIniLoader reader(ini.c_str());
  ASSERT_EQ(bag.Load(reader), 0);
  ASSERT_EQ(bag.components.size(), 2u);
  EXPECT_EQ(bag.components.at(L"CompA")->actionState + bag.components.at(L"CompB")->actionState, 3 + 3);
  const CXmlCfgFileProp& settings = *bag.components.at(L"CompA")->files.at(L"Settings");
  EXPECT_EQ(Plain(settings.fileName) + L" " + Plain(settings.path) + L" " + Plain(settings.selectionNamespaces),
            L"abc <APP##DIR> xmlns:m='urn:m'");
  const CXmlCfgXPathProp& item = *settings.xpaths.at(L"//it#em");  // "###" in a step keeps one '#'
  EXPECT_EQ(Plain(item.content), L"") << "a run of four '#' disappears";
  Texts attributes;
  for (const auto& a : item.attributes) attributes.push_back(Plain(a->name) + L"=" + Plain(a->value));
  EXPECT_EQ(attributes, (Texts{L"key=abc", L"value=#", L"empty=#"}));
  EXPECT_EQ(Plain(settings.xpaths.at(L"//long")->content), std::wstring(300, L'x'));

  CXmlProIniLoader scriptReader(ini.c_str());
  ASSERT_EQ(asScript.Load(scriptReader), 0);
  std::wstring joined = std::regex_replace(DescribeBag(bag), std::wregex(L"(xpath[ =]\")/+"), L"$1");
  EXPECT_EQ(DescribeBag(asScript), joined);
  EXPECT_NE(joined.find(L"xpath \"it#em\""), std::wstring::npos) << joined;

  // A load that fails on an installer call leaves an empty file, an output
  // folder that does not exist gets nothing, and a missing host nothing
  // either: no failure ever reaches the build process.
  Build(folder, folder.path(), true);
  EXPECT_TRUE(FileExists(ini));
  EXPECT_EQ(ReadFileBytes(ini), "");
  Build(folder, folder.File(L"missing"), false);
  EXPECT_FALSE(FileExists(folder.File(L"missing\\XMLRT.ini")));
}
