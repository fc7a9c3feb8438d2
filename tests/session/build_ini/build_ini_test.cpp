#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "config/CXmlCfgComponentProp.h"
#include "config/CXmlCfgFileProp.h"
#include "config/CXmlCfgPropertyBag.h"
#include "config/CXmlCfgXPathAttribProp.h"
#include "config/CXmlCfgXPathProp.h"
#include "kit/ModuleLibrary.h"
#include "kit/TempFolder.h"
#include "kit/TestPackage.h"
#include "runtime_file/CIniFile.h"
#include "runtime_file/CProIniBuilder.h"
#include "runtime_file/CXmlIniWriter.h"
#include "runtime_file/CXmlMsiIniLoader.h"
#include "runtime_file/CXmlProIniLoader.h"
#include "unit/database/XmlTables.h"
#include "yvxmlcfg/IXmlBuildHost.h"

namespace {

using namespace xml_tables;

// A build process as the module sees it: one database, one output folder,
// and folders written in the host's own bracketed form.
class TestBuildHost : public IXmlBuildHost {
 public:
  TestBuildHost(MSIHANDLE database, std::wstring outputFolder)
      : database_(database), outputFolder_(std::move(outputFolder)) {}

  MSIHANDLE GetDatabase() override { return database_; }
  HRESULT TranslatePath(BSTR input, BSTR* output) override {
    std::wstring in(input ? input : L"");
    translated.push_back(in);
    // A folder the build does not know has no form.
    *output = in.empty() || in == L"UNKNOWN" ? nullptr : SysAllocString((L"<" + in + L">").c_str());
    return S_OK;
  }
  HRESULT GetOutputFolder(BSTR* output) override {
    *output = SysAllocString(outputFolder_.c_str());
    return S_OK;
  }

  std::vector<std::wstring> translated;

 private:
  MSIHANDLE database_;
  std::wstring outputFolder_;
};

// The project database of a build, read-only as a build opens it.
class ProjectDatabase {
 public:
  explicit ProjectDatabase(const std::wstring& path) {
    if (MsiOpenDatabaseW(path.c_str(), MSIDBOPEN_READONLY, handle_.put()) != ERROR_SUCCESS)
      throw std::runtime_error("the project database cannot be opened");
  }
  MSIHANDLE handle() const { return handle_; }

 private:
  yv::MsiHandle handle_;
};

std::wstring LongText(size_t length) {
  std::wstring text;
  while (text.size() < length) text += L"0123456789##";
  return text.substr(0, length);
}

// Two components, three files; the texts carry "#" runs of every length up
// to five, so that the pair removal shows in every kind of value. A broken
// attribute table lacks the column that ties an attribute to its element,
// which fails the installer's query for it.
void BuildProject(const std::wstring& path, bool brokenAttributeTable = false) {
  TestPackage package(path);
  package.Property(L"YV_PROGMSG_XML_COSTING", L"Costing XML files")
      .Property(L"YV_PROGMSG_XML_FILES", L"Configuring ##XML## files")
      .Property(L"YV_PROGMSG_XML_CREATE_FILE", L"Creating %s")
      .Property(L"YV_PROGMSG_XML_UPDATE_FILE", L"Updating %s")
      .Property(L"YV_PROGMSG_XML_REMOVE_FILE", L"Removing %s")
      .Property(L"YV_PROGMSG_XML_ROLLBACK_FILES", L"Rolling back XML files");
  MSIHANDLE db = package.database();
  CreateFileTable(db);
  CreateElementTable(db);
  if (brokenAttributeTable) {
    RunSql(db, L"CREATE TABLE `YVXmlElementAttrib` (`YVXmlElementAttrib` CHAR(72) NOT NULL, `Element` CHAR(72), "
               L"`Name` LONGCHAR, `Value` LONGCHAR, `Flags` LONG PRIMARY KEY `YVXmlElementAttrib`)");
  } else {
    CreateAttributeTable(db);
  }
  AddFile(db, L"Settings", L"a##b##c", L"CompA", L"APP##DIR", 1, L"xmlns:m='urn:m'", L"UTF-8");
  AddFile(db, L"Logging", L"log.xml", L"CompA", L"LOGDIR", 0);
  AddFile(db, L"Other", L"other.xml", L"CompB", L"OTHERDIR", 4);
  AddElement(db, L"SRoot", L"Settings", L"", L"configuration", L"", 1);
  AddElement(db, L"SItem", L"Settings", L"SRoot", L"it###em", L"####", 0x11);
  AddElement(db, L"SLong", L"Settings", L"SRoot", L"long", LongText(400), 0x11);
  if (!brokenAttributeTable) {
    AddAttribute(db, L"A1", L"SItem", L"key", L"a##b##c", 5);
    AddAttribute(db, L"A2", L"SItem", L"va##lue", L"###", 5);
    AddAttribute(db, L"A3", L"SItem", L"empty", L"#####", 9);
  }
  AddElement(db, L"LRoot", L"Logging", L"", L"log", L"", 1);
  AddElement(db, L"ORoot", L"Other", L"", L"other", L"x", 0);
  package.Commit();
}

std::wstring Value(const CIniFile& ini, const wchar_t* section, const wchar_t* key) {
  yv::_stringw value;
  ini.GetString(section, key, L"<no section>", value);
  return std::wstring(value.c_str());
}

// The XPath section that the file section `file` lists for `expression`.
std::wstring XPathSection(const CIniFile& ini, const wchar_t* file, const std::wstring& expression) {
  for (int i : ini.IndexedKeys(file, L"xp%d")) {
    yv::_stringw section;
    ini.GetIndexedString(file, L"xp%d", i, L"", section);
    if (Value(ini, section.c_str(), L"XPath") == expression) return section.c_str();
  }
  return L"<none>";
}

std::map<std::wstring, std::pair<std::wstring, int>> Attributes(const CIniFile& ini, const std::wstring& xpath) {
  std::map<std::wstring, std::pair<std::wstring, int>> attributes;
  for (int i : ini.IndexedKeys(xpath.c_str(), L"a%d")) {
    yv::_stringw section;
    ini.GetIndexedString(xpath.c_str(), L"a%d", i, L"", section);
    attributes[Value(ini, section.c_str(), L"Name")] = {Value(ini, section.c_str(), L"Value"),
                                                       ini.GetInt(section.c_str(), L"Action", -1)};
  }
  return attributes;
}

// Every record and field of a bag, one line each, with the XPaths passed
// through `mapXPath` (the script-project reader rebuilds them).
std::wstring Describe(const CXmlCfgPropertyBag& bag, std::wstring (*mapXPath)(const std::wstring&) = nullptr) {
  std::wstring out;
  for (const auto& [name, component] : bag.components) {
    out += L"component " + std::wstring(name.c_str()) + L" state " + std::to_wstring(component->actionState) + L"\n";
    for (const auto& [key, file] : component->files) {
      out += L" file " + std::wstring(key.c_str()) + L" path=" + file->path.c_str() + L" name=" +
             file->fileName.c_str() + L" uninst=" + file->uninstPath.c_str() + L" fattr=" +
             std::to_wstring(file->fileAttributes) + L" attr=" + std::to_wstring(file->attributes) + L" root=" +
             file->rootElementName.c_str() + L" ns=" + file->selectionNamespaces.c_str() + L" enc=" +
             file->encoding.c_str() + L" temp=" + file->tempFilePath.c_str() + L" created=" +
             std::to_wstring(file->createdOnInstall) + L"\n";
      for (const auto& [expression, xpath] : file->xpaths) {
        std::wstring shown(expression.c_str());
        if (mapXPath) shown = mapXPath(shown);
        out += L"  xpath " + shown + L" action=" + std::to_wstring(xpath->action) + L" content=" +
               xpath->content.c_str() + L"\n";
        for (const auto& attribute : xpath->attributes)
          out += L"   attribute " + std::wstring(attribute->name.c_str()) + L"=" + attribute->value.c_str() +
                 L" action=" + std::to_wstring(attribute->action) + L"\n";
      }
    }
  }
  for (const auto& [name, text] : bag.progressMessages)
    out += L"message " + std::wstring(name.c_str()) + L"=" + text.c_str() + L"\n";
  return out;
}

class BuildIniTest : public ::testing::Test {
 protected:
  void SetUp() override { BuildProject(folder_.File(L"project.msi")); }

  std::wstring IniPath() const { return output_.File(L"XMLRT.ini"); }

  TempFolder folder_;
  TempFolder output_;
};

}  // namespace

TEST(RemoveHashPairs, EachPairGoesAndTheSearchResumesWhereThePairWas) {
  TestBuildHost host(0, L"");
  CProIniBuilder builder(host);
  struct Case {
    const wchar_t* text;
    const wchar_t* result;
  } cases[] = {
      {L"a##b##c", L"abc"}, {L"#", L"#"},           {L"##", L""},       {L"###", L"#"},
      {L"####", L""},       {L"#####", L"#"},       {L"x###y", L"x#y"}, {L"no hash", L"no hash"},
      {L"", L""},           {L"#a#b#", L"#a#b#"},   {L"C##", L"C"},
  };
  for (const Case& c : cases) {
    wchar_t buffer[32];
    wmemset(buffer, L'?', 32);
    EXPECT_EQ(builder.RemoveHashPairs(c.text, buffer, 32), wcslen(c.text) + 1) << c.text;
    EXPECT_STREQ(buffer, c.result) << c.text;
  }

  // A buffer too small for the result is left alone; the answer is enough
  // room for the whole text, so a second call with that size succeeds.
  wchar_t small[4] = {L'?', L'?', L'?', L'?'};
  DWORD needed = builder.RemoveHashPairs(L"abcd##", small, 4);
  EXPECT_EQ(needed, 7u);
  EXPECT_EQ(small[0], L'?');
  // "ab##" leaves "ab", which fits four characters with its terminator.
  EXPECT_EQ(builder.RemoveHashPairs(L"ab####", small, 4), 7u);
  EXPECT_STREQ(small, L"ab");

  // Texts longer than the first buffer reach the caller whole.
  std::wstring longText = LongText(700);
  std::wstring expected = longText;
  for (size_t at = expected.find(L"##"); at != std::wstring::npos; at = expected.find(L"##", at)) expected.erase(at, 2);
  std::vector<wchar_t> buffer(800);
  EXPECT_EQ(builder.ResolveValue(CXmlLoader::kKindText, longText.c_str(), buffer.data(), 800),
            expected.size() + 1);
  EXPECT_EQ(std::wstring(buffer.data()), expected);
}

TEST_F(BuildIniTest, TheExportWritesEveryComponentAsInstalledWithHashPairsRemovedAndHostFolders) {
  ProjectDatabase database(folder_.File(L"project.msi"));
  TestBuildHost host(database.handle(), output_.path());
  ModuleLibrary module;
  auto build = module.Export<CreateProIniFileForBuildFunction>("CreateProIniFileForBuild");
  build(&host);

  std::string bytes = ReadFileBytes(IniPath());
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), std::string("\xFF\xFE")) << "the runtime data file format: UTF-16 with its mark";

  CIniFile ini(IniPath().c_str());
  ASSERT_TRUE(ini.Load());
  EXPECT_EQ(ini.GetInt(L"Components", L"Count", -1), 2);
  EXPECT_EQ(Value(ini, L"Components", L"c1"), L"CompA");
  EXPECT_EQ(Value(ini, L"Components", L"c2"), L"CompB");
  EXPECT_EQ(ini.GetInt(L"CompA", L"ActionState", -99), 3);
  EXPECT_EQ(ini.GetInt(L"CompB", L"ActionState", -99), 3);
  EXPECT_EQ(ini.GetInt(L"CompA", L"Count", -1), 2);

  // Texts lose their pairs; the folder is the host's text, pairs and all.
  EXPECT_EQ(Value(ini, L"Settings", L"FileName"), L"abc");
  EXPECT_EQ(Value(ini, L"Settings", L"Path"), L"<APP##DIR>");
  EXPECT_EQ(Value(ini, L"Logging", L"Path"), L"<LOGDIR>");
  EXPECT_EQ(Value(ini, L"Other", L"Path"), L"<OTHERDIR>");
  std::sort(host.translated.begin(), host.translated.end());
  EXPECT_EQ(host.translated, (std::vector<std::wstring>{L"APP##DIR", L"LOGDIR", L"OTHERDIR"}))
      << "one translation per file row, handed the folder property's name";
  EXPECT_EQ(Value(ini, L"Settings", L"SelectionNamespaces"), L"xmlns:m='urn:m'");
  EXPECT_EQ(Value(ini, L"Settings", L"RootElementName"), L"configuration");
  EXPECT_EQ(ini.GetInt(L"Settings", L"Attributes", -1), 1);
  EXPECT_EQ(ini.GetInt(L"Other", L"Attributes", -1), 4);

  std::wstring item = XPathSection(ini, L"Settings", L"//it#em");
  ASSERT_NE(item, L"<none>") << "a run of three '#' in an XPath step keeps one";
  EXPECT_EQ(Value(ini, item.c_str(), L"Content"), L"\"\"") << "a run of four '#' disappears";
  EXPECT_EQ(ini.GetInt(item.c_str(), L"Action", -1), 0x11);
  auto attributes = Attributes(ini, item);
  EXPECT_EQ(attributes[L"key"], std::make_pair(std::wstring(L"\"abc\""), 5));
  EXPECT_EQ(attributes[L"value"], std::make_pair(std::wstring(L"\"#\""), 5));
  EXPECT_EQ(attributes[L"empty"], std::make_pair(std::wstring(L"\"#\""), 9));

  std::wstring longSection = XPathSection(ini, L"Settings", L"//long");
  std::wstring longContent = LongText(400);
  for (size_t at = longContent.find(L"##"); at != std::wstring::npos; at = longContent.find(L"##", at))
    longContent.erase(at, 2);
  EXPECT_EQ(Value(ini, longSection.c_str(), L"Content"), L"\"" + longContent + L"\"")
      << "a content longer than the first buffer is written whole";

  EXPECT_EQ(Value(ini, L"ProgressMessages", L"YV_PROGMSG_XML_FILES"), L"Configuring XML files");
  EXPECT_EQ(Value(ini, L"ProgressMessages", L"YV_PROGMSG_XML_CREATE_FILE"), L"Creating %s");
}

TEST_F(BuildIniTest, AnEarlierFileIsReplacedWholeAndTheExportAndTheBuilderWriteTheSameBytes) {
  ProjectDatabase database(folder_.File(L"project.msi"));
  TestBuildHost host(database.handle(), output_.path());

  CProIniBuilder builder(host);
  builder.Build(output_.path().c_str());
  std::string fresh = ReadFileBytes(IniPath());
  ASSERT_FALSE(fresh.empty());

  // An earlier build of a bigger project, with sections this one never sets
  // and a list longer than the new one.
  {
    CIniFile stale;
    stale.SetString(L"Components", L"Count", L"3");
    stale.SetString(L"Components", L"c3", L"Removed");
    stale.SetString(L"Removed", L"ActionState", L"3");
    stale.SetString(L"Stale", L"Note", std::wstring(5000, L'x').c_str());
    stale.SetString(L"Settings", L"UninstPath", L"C:\\old");
    ASSERT_TRUE(stale.Save(IniPath().c_str()));
  }
  ASSERT_GT(ReadFileBytes(IniPath()).size(), fresh.size());

  ModuleLibrary module;
  auto build = module.Export<CreateProIniFileForBuildFunction>("CreateProIniFileForBuild");
  // A build process need not have entered a COM apartment.
  std::thread([&] { build(&host); }).join();
  EXPECT_EQ(ReadFileBytes(IniPath()), fresh) << "nothing of the earlier file survives";
}

TEST_F(BuildIniTest, ALoadThatStopsEarlyIsWrittenAsFarAsItGot) {
  TestPackage package(folder_.File(L"unknown.msi"));
  AddProgressMessages(package);
  CreateAllTables(package.database());
  AddFile(package.database(), L"Lost", L"lost.xml", L"CompA", L"UNKNOWN", 0);
  package.Commit();
  ProjectDatabase database(package.path());
  TestBuildHost host(database.handle(), output_.path());
  ModuleLibrary module;
  auto build = module.Export<CreateProIniFileForBuildFunction>("CreateProIniFileForBuild");
  build(&host);

  // The empty folder stopped the load at the file row: the component and
  // the file record made before it are written, the progress texts that
  // come after it are not.
  CIniFile ini(IniPath().c_str());
  ASSERT_TRUE(ini.Load());
  EXPECT_EQ(Value(ini, L"Components", L"c1"), L"CompA");
  EXPECT_EQ(ini.GetInt(L"CompA", L"ActionState", -99), 3);
  EXPECT_EQ(Value(ini, L"CompA", L"f1"), L"Lost");
  EXPECT_TRUE(ini.HasSection(L"Lost"));
  EXPECT_EQ(Value(ini, L"Lost", L"Path"), L"");
  EXPECT_FALSE(ini.HasSection(L"ProgressMessages"));
}

TEST_F(BuildIniTest, AFailedInstallerCallLeavesAnEmptyFileAndNeverReachesTheBuildProcess) {
  // The installer refuses the query for the attribute rows: the load ends
  // with an exception, which must stay inside the module.
  BuildProject(folder_.File(L"broken.msi"), /*brokenAttributeTable=*/true);
  WriteFileBytes(IniPath(), "[Stale]\r\nKey=1\r\n");
  ProjectDatabase database(folder_.File(L"broken.msi"));
  TestBuildHost host(database.handle(), output_.path());
  ModuleLibrary module;
  auto build = module.Export<CreateProIniFileForBuildFunction>("CreateProIniFileForBuild");
  build(&host);
  EXPECT_TRUE(FileExists(IniPath()));
  EXPECT_EQ(ReadFileBytes(IniPath()), "");

  // A folder that does not exist: nothing is written, nothing is thrown.
  TestBuildHost nowhere(database.handle(), output_.File(L"missing\\folder"));
  build(&nowhere);
  EXPECT_FALSE(FileExists(output_.File(L"missing\\folder\\XMLRT.ini")));
  build(nullptr);
}

namespace {

// What the script-project reader makes of an XPath that it joins step by
// step: leading separators go, an empty step between two others stays, and
// a final separator goes.
std::wstring JoinedSteps(const std::wstring& xpath) {
  size_t start = xpath.find_first_not_of(L'/');
  std::wstring joined = start == std::wstring::npos ? L"" : xpath.substr(start);
  if (!joined.empty() && joined.back() == L'/') joined.pop_back();
  return joined;
}

}  // namespace

TEST_F(BuildIniTest, TheScriptProjectReaderGivesBackTheBuiltBagWithItsXPathsJoinedStepByStep) {
  ProjectDatabase database(folder_.File(L"project.msi"));
  TestBuildHost host(database.handle(), output_.path());
  CProIniBuilder builder(host);
  builder.Build(output_.path().c_str());

  // The bag the build wrote, loaded again with the same builder.
  CXmlCfgPropertyBag built;
  builder.SetDatabase(database.handle());
  ASSERT_EQ(built.Load(builder), 0);

  CXmlCfgPropertyBag read;
  CXmlProIniLoader reader(IniPath().c_str());
  ASSERT_EQ(read.Load(reader), 0);
  EXPECT_EQ(Describe(read), Describe(built, JoinedSteps));
  EXPECT_NE(Describe(read).find(L"xpath it#em action=17"), std::wstring::npos) << Describe(read);

  // Only the XPaths differ from what the deferred actions' reader gives.
  CXmlCfgPropertyBag asInstalled;
  CXmlMsiIniLoader installedReader(IniPath().c_str());
  ASSERT_EQ(asInstalled.Load(installedReader), 0);
  EXPECT_EQ(Describe(read), Describe(asInstalled, JoinedSteps));
}

TEST(ScriptProjectReader, WithoutSubstitutionTextsStayAndXPathsAreJoinedStepByStep) {
  TempFolder folder;
  std::wstring path = folder.File(L"XMLRT.ini");
  {
    CXmlCfgPropertyBag bag;
    CXmlCfgComponentProp* component = bag.GetOrAddComponent(L"Main");
    component->actionState = 3;
    CXmlCfgFileProp* file = component->AddFile(L"Config");
    file->path = L"%ROOT%\\app";
    file->fileName = L"IDS_NAME";
    file->rootElementName = L"configuration";
    const wchar_t* expressions[] = {L"/a/b/c", L"a//b", L"a/b/", L"//x", L"/a//b/", L"a///b", L"p/IDS_NAME"};
    for (const wchar_t* expression : expressions) {
      CXmlCfgXPathProp* xpath = file->AddXPath(expression);
      xpath->action = 1;
      xpath->content = L" %USER% ";
      xpath->AddAttribute(L"name")->value = L"IDS_NAME";
    }
    file->xpaths[L"/a/b/c"]->content = std::wstring(600, L'c');
    CXmlIniWriter writer(path.c_str());
    ASSERT_EQ(bag.Save(writer), 0);
  }

  // No module, a module without the functions, and the right module without
  // a context value: all take the texts as stored.
  HMODULE withoutFunctions = GetModuleHandleW(L"kernel32.dll");
  int context = 0;
  struct Setup {
    HMODULE module;
    void* context;
  } setups[] = {{nullptr, nullptr}, {withoutFunctions, &context}, {GetModuleHandleW(nullptr), nullptr}};
  for (const Setup& setup : setups) {
    CXmlCfgPropertyBag bag;
    CXmlProIniLoader reader(path.c_str());
    reader.SetHostModule(setup.module, setup.context);
    ASSERT_EQ(bag.Load(reader), 0);
    CXmlCfgFileProp& file = *bag.components[L"Main"]->files[L"Config"];
    EXPECT_EQ(file.path, L"%ROOT%\\app");
    EXPECT_EQ(file.fileName, L"IDS_NAME");
    std::vector<std::wstring> keys;
    for (const auto& [expression, xpath] : file.xpaths) keys.push_back(expression.c_str());
    EXPECT_EQ(keys, (std::vector<std::wstring>{L"a///b", L"a//b", L"a/b", L"a/b/c", L"p/IDS_NAME", L"x"}))
        << "a leading '/' or '//' goes, '//' between steps stays, a final '/' goes";
    EXPECT_EQ(std::wstring(file.xpaths[L"a/b/c"]->content.c_str()), std::wstring(600, L'c'))
        << "a text longer than the first buffer is not cut";
    EXPECT_EQ(file.xpaths[L"a//b"]->content, L" %USER% ");
    EXPECT_EQ(file.xpaths[L"x"]->attributes[0]->value, L"IDS_NAME");
  }
}

// The host module of a script project: the test program itself exports the
// two functions the reader looks up.
namespace {

struct HostStrings {
  std::map<std::wstring, std::wstring> table;
  std::map<std::wstring, std::wstring> substitutions;
  int loadCalls = 0;
  int substituteCalls = 0;
};

}  // namespace

extern "C" __declspec(dllexport) int __stdcall __LoadString(void* context, const wchar_t* text, wchar_t* buffer,
                                                            DWORD bufferSize) {
  auto* strings = static_cast<HostStrings*>(context);
  ++strings->loadCalls;
  auto found = strings->table.find(text);
  if (found == strings->table.end()) return -1;
  if (found->second.size() + 1 > bufferSize) return static_cast<int>(found->second.size() + 1);
  wcscpy(buffer, found->second.c_str());
  return 0;
}

extern "C" __declspec(dllexport) HRESULT __stdcall TextSubSubstitute(void* context, BSTR* text) {
  auto* strings = static_cast<HostStrings*>(context);
  ++strings->substituteCalls;
  std::wstring value(*text, SysStringLen(*text));
  for (const auto& [marker, replacement] : strings->substitutions) {
    for (size_t at = value.find(marker); at != std::wstring::npos; at = value.find(marker, at + replacement.size()))
      value.replace(at, marker.size(), replacement);
  }
  SysReAllocStringLen(text, value.c_str(), static_cast<UINT>(value.size()));
  return S_OK;
}

TEST(ScriptProjectReader, AHostModuleNamesStringsInTextsAndSubstitutesTextsAndFolders) {
  TempFolder folder;
  std::wstring path = folder.File(L"XMLRT.ini");
  {
    CXmlCfgPropertyBag bag;
    CXmlCfgComponentProp* component = bag.GetOrAddComponent(L"Main");
    component->actionState = 3;
    CXmlCfgFileProp* file = component->AddFile(L"Config");
    file->path = L"%ROOT%\\IDS_NAME";
    file->fileName = L"IDS_NAME";
    CXmlCfgXPathProp* xpath = file->AddXPath(L"/IDS_ROOT/add[@key='%USER%']");
    xpath->action = 1;
    xpath->content = L"IDS_LONG";
    CXmlCfgXPathAttribProp* attribute = xpath->AddAttribute(L"IDS_ATTRIBUTE");
    attribute->value = L"Hello, %USER%";
    attribute->action = 5;
    CXmlIniWriter writer(path.c_str());
    ASSERT_EQ(bag.Save(writer), 0);
  }

  HostStrings strings;
  strings.table = {{L"IDS_NAME", L"orders.config"},
                   {L"IDS_ROOT", L"configuration"},
                   {L"IDS_ATTRIBUTE", L"owner"},
                   {L"IDS_LONG", std::wstring(700, L'L') + L" by %USER%"}};
  strings.substitutions = {{L"%USER%", L"Ana"}, {L"%ROOT%", L"C:\\Orders"}};

  CXmlCfgPropertyBag bag;
  CXmlProIniLoader reader(path.c_str());
  reader.SetHostModule(GetModuleHandleW(nullptr), &strings);
  ASSERT_EQ(bag.Load(reader), 0);
  CXmlCfgFileProp& file = *bag.components[L"Main"]->files[L"Config"];
  EXPECT_EQ(file.fileName, L"orders.config");
  EXPECT_EQ(file.path, L"C:\\Orders\\IDS_NAME") << "a folder is substituted but never looked up as a string";
  ASSERT_EQ(file.xpaths.size(), 1u);
  const auto& [expression, xpath] = *file.xpaths.begin();
  EXPECT_EQ(expression, L"configuration/add[@key='Ana']") << "each step looked up and substituted on its own";
  EXPECT_EQ(std::wstring(xpath->content.c_str()), std::wstring(700, L'L') + L" by Ana")
      << "a string longer than the first buffer is asked for again with the size the module gave";
  ASSERT_EQ(xpath->attributes.size(), 1u);
  EXPECT_EQ(xpath->attributes[0]->name, L"owner");
  EXPECT_EQ(xpath->attributes[0]->value, L"Hello, Ana");
  EXPECT_GT(strings.loadCalls, 0);
  EXPECT_GT(strings.substituteCalls, 0);

  // The reader's texts, one by one.
  wchar_t buffer[64];
  EXPECT_EQ(reader.ResolveText(L"IDS_ROOT", buffer, 64), 64u);
  EXPECT_STREQ(buffer, L"configuration");
  EXPECT_EQ(reader.ResolveText(L"IDS_LONG", buffer, 64), 711u) << "the size the module asks for comes back as is";
  EXPECT_EQ(reader.ResolveText(L"x %USER%", buffer, 64), 64u);
  EXPECT_STREQ(buffer, L"x Ana");
  EXPECT_EQ(reader.ResolvePath(L"%ROOT%", buffer, 64), 64u);
  EXPECT_STREQ(buffer, L"C:\\Orders");
  yv::_stringw out;
  EXPECT_EQ(reader.SubstituteText(L"%USER%!", out), 5u);
  EXPECT_EQ(out, L"Ana!");
}
