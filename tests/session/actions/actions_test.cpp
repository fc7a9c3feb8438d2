#include <gtest/gtest.h>

#include <functional>

#include "actions/CXmlCfgActionBase.h"
#include "actions/CXmlCfgCosting.h"
#include "config/CXmlCfgPropertyBag.h"
#include "kit/BagTestKit.h"
#include "kit/ModuleLibrary.h"
#include "kit/RecordedSession.h"
#include "kit/TempFolder.h"
#include "kit/XmlTables.h"
#include "runtime_file/CXmlMsiIniLoader.h"
#include "runtime_file/RuntimeDataReference.h"
#include "support/Sha256.h"

namespace {

using namespace xml_tables;
using Texts = std::vector<std::wstring>;

// A millisecond counter the test sets by hand, so the 200 ms throttle can be
// checked exactly, including across the counter's wrap.
DWORD g_fakeNow = 0;

struct ClockedAction : CXmlCfgActionBase {
  explicit ClockedAction(MSIHANDLE session) : CXmlCfgActionBase(session, [] { return g_fakeNow; }) {}
};

// The costing action's properties, each the CustomActionData of the action
// of the same name.
Texts PublishedData(MSIHANDLE session) {
  Texts paths;
  for (const wchar_t* name :
       {L"YVXmlCosting", L"YVXmlInstall", L"YVXmlUnInstall", L"YVXmlRollback", L"YVXmlFinalize", L"YVXmlCommit"}) {
    wchar_t value[1024] = L"";
    DWORD size = 1024;
    paths.push_back(MsiGetPropertyW(session, name, value, &size) == 0 ? value : L"?");
  }
  return paths;
}

// A package with one file of CompA (a component the installer's costing
// gives a requested state) and an element that takes its content from a
// property; the caller may change it before it is committed.
std::wstring MakePackage(const TempFolder& folder, const wchar_t* name,
                         const std::function<void(TestPackage&)>& extend = nullptr) {
  TestPackage package(folder.File(name));
  MSIHANDLE db = package.database();
  CreateAllTables(db);
  AddProgressMessages(package);
  package.Property(L"XMLDIR", L"%YV_COSTING_TEST_ROOT%\\App\\").Property(L"PORT", L"8080");
  AddFile(db, L"Settings", L"[PORT].xml", L"CompA", L"XMLDIR", 0x1, L"xmlns:a='[PORT]'", L"UTF-8");
  AddElement(db, L"Root", L"Settings", L"", L"configuration");
  AddElement(db, L"Item", L"Settings", L"Root", L"item[@port='[PORT]']", L"[PORT]", 0x11);
  package.Property(L"TARGETDIR", folder.File(L"target\\"))
      .Sql(L"CREATE TABLE `Directory` (`Directory` CHAR(72) NOT NULL, `Directory_Parent` CHAR(72), `DefaultDir` "
           L"CHAR(255) NOT NULL PRIMARY KEY `Directory`)")
      .Sql(L"CREATE TABLE `Component` (`Component` CHAR(72) NOT NULL, `ComponentId` CHAR(38), `Directory_` CHAR(72) "
           L"NOT NULL, `Attributes` SHORT NOT NULL, `Condition` CHAR(255), `KeyPath` CHAR(72) PRIMARY KEY `Component`)")
      .Sql(L"CREATE TABLE `Feature` (`Feature` CHAR(38) NOT NULL, `Feature_Parent` CHAR(38), `Title` CHAR(64), "
           L"`Description` CHAR(255), `Display` SHORT, `Level` SHORT NOT NULL, `Directory_` CHAR(72), `Attributes` "
           L"SHORT NOT NULL PRIMARY KEY `Feature`)")
      .Sql(L"CREATE TABLE `FeatureComponents` (`Feature_` CHAR(38) NOT NULL, `Component_` CHAR(72) NOT NULL PRIMARY "
           L"KEY `Feature_`, `Component_`)")
      .Row(L"Directory", {L"Directory", L"DefaultDir"}, {L"TARGETDIR", L"SourceDir"})
      .Row(L"Feature", {L"Feature", L"Level", L"Attributes"}, {L"Main", 1, 0})
      .Row(L"Component", {L"Component", L"ComponentId", L"Directory_", L"Attributes"},
           {L"CompA", L"{6F1C2D3E-4A5B-4C6D-8E9F-000000000001}", L"TARGETDIR", 256})
      .Row(L"FeatureComponents", {L"Feature_", L"Component_"}, {L"Main", L"CompA"});
  if (extend) extend(package);
  package.Commit();
  return package.path();
}

}  // namespace

// The runtime data file holds what the running installation makes of the
// tables, and is handed to every later action. Names, contents and attribute
// values are installer-formatted, however long; a folder comes from the
// property the row names, expanded from the environment; XPaths, selection
// namespaces and encodings are taken as stored. Each component gets the
// action state the installer's costing requested.
TEST(Costing, TheRuntimeDataFileHoldsWhatTheInstallationMakesOfTheTables) {
  TempFolder folder;
  std::wstring longValue(3000, L'v'), costingText(2500, L'c');
  RecordedSession session(MakePackage(folder, L"costing.msi", [&](TestPackage& package) {
    package.Property(L"LONGPROP", longValue)
        .Sql(L"UPDATE `Property` SET `Value`='" + costingText + L"' WHERE `Property`='YV_PROGMSG_XML_COSTING'");
    AddAttribute(package.database(), L"A2", L"Item", L"p[PORT]", longValue + L"[LONGPROP]", 0x5);
    // A second row of the same XPath adds its changes to the first one's.
    AddElement(package.database(), L"Item2", L"Settings", L"Root", L"item[@port='[PORT]']");
    AddAttribute(package.database(), L"A3", L"Item2", L"second", L"2", 0x1);
  }));
  SetEnvironmentVariableW(L"YV_COSTING_TEST_ROOT", L"C:\\Expanded");
  for (const wchar_t* action : {L"CostInitialize", L"FileCost", L"CostFinalize"})
    ASSERT_EQ(MsiDoActionW(session.handle(), action), 0u) << action;
  session.Clear();
  std::set<std::wstring> before = TemporaryModuleFiles();
  ASSERT_EQ(CXmlCfgCosting(session.handle()).Run(), 0);
  std::wstring data = PublishedData(session.handle())[0];
  EXPECT_EQ(PublishedData(session.handle()), Texts(6, data));
  // The path, the digest of the bytes written there and a token that is new
  // for each costing.
  RuntimeDataReference reference;
  ASSERT_TRUE(RuntimeDataReference::Parse(data.c_str(), reference)) << data;
  std::wstring path = reference.path.c_str();
  EXPECT_TRUE(TemporaryModuleFiles().count(path) == 1 && before.count(path) == 0) << "a new XML*.tmp file";
  std::string bytes = ReadFileBytes(path);
  EXPECT_EQ(std::wstring(reference.digest.c_str()), yv::Sha256::HexOf(bytes.data(), bytes.size()).c_str());

  CXmlCfgPropertyBag bag;
  CXmlMsiIniLoader reader(path.c_str());
  ASSERT_EQ(bag.Load(reader), 0);
  DeleteFileW(path.c_str());
  EXPECT_EQ(bag.components.at(L"CompA")->actionState, INSTALLSTATE_LOCAL);
  const CXmlCfgFileProp& file = *bag.components.at(L"CompA")->files.at(L"Settings");
  EXPECT_EQ(Plain(file.GetFullPath()) + L" " + Plain(file.selectionNamespaces) + L" " + Plain(file.encoding),
            L"C:\\Expanded\\App\\8080.xml xmlns:a='[PORT]' UTF-8");
  const CXmlCfgXPathProp& item = *file.xpaths.at(L"//item[@port='[PORT]']");
  EXPECT_EQ(Plain(item.content) + L" " + Plain(item.attributes.at(0)->name) + L"=" + Plain(item.attributes[0]->value),
            L"8080 p8080=" + longValue + longValue);
  EXPECT_EQ(item.attributes.size() == 2 ? Plain(item.attributes[1]->name) : L"?", L"second");
  // The action text is read whole, however long the property.
  EXPECT_EQ(session.OfType(INSTALLMESSAGE_ACTIONSTART).at(0).Field(2), costingText);
}

// A cancel on the action text ends the run before the tables are read (they
// are broken here, so reading them would fail); a loader code (here a folder
// property that formats to nothing) reaches the installer in its unsigned
// form; an installer call that fails becomes a failed action with one log
// line. No file is written or published and the bar is never advanced.
TEST(Costing, AFailedOrCancelledRunPublishesNothing) {
  auto breakElementTable = [](TestPackage& package) {
    package.Sql(L"DROP TABLE `YVXmlElement`")
        .Sql(L"CREATE TABLE `YVXmlElement` (`YVXmlElement` CHAR(72) NOT NULL, `Broken` CHAR(72) PRIMARY KEY "
             L"`YVXmlElement`)");
  };
  struct Case {
    const wchar_t* package;
    std::function<void(TestPackage&)> extend;
    bool cancel;
    UINT result;
    Texts log;
  } cases[] = {
      {L"cancel.msi", breakElementTable, true, 1602, {}},
      {L"emptydir.msi",
       [](TestPackage& package) {
         package.Property(L"EMPTYDIR", L"[NOT_SET]");
         AddFile(package.database(), L"Zed", L"z.xml", L"CompA", L"EMPTY'DIR", 0);
       },
       false,
       static_cast<UINT>(-1205),
       {L"Table YVXmlFile, row 'Zed', column Directory: the folder property 'EMPTY'DIR' is empty. Nothing was "
        L"changed"}},
      // Authoring mistakes are refused before any file is touched, each with
      // the table, row and column to mend.
      {L"badname.msi",
       [](TestPackage& p) { AddAttribute(p.database(), L"Bad", L"Item", L"a b", L"1", 1); },
       false,
       static_cast<UINT>(-1221),
       {L"Table YVXmlElementAttrib, row 'Bad', column Name: 'a b' is not an XML name. Nothing was changed"}},
      {L"badstep.msi",
       [](TestPackage& p) { AddElement(p.database(), L"New", L"Settings", L"Root", L"1bad", L"", 1); },
       false,
       static_cast<UINT>(-1221),
       {L"Table YVXmlElement, row 'New', column ElementPath: '1bad' is not an XML name. Nothing was changed"}},
      {L"badxpath.msi",
       [](TestPackage& p) { AddElement(p.database(), L"Open", L"Settings", L"Root", L"add[@key='x'", L"", 1); },
       false,
       static_cast<UINT>(-1222),
       {L"Table YVXmlElement, row 'Open', column ElementPath: the parser rejects the XPath '//add[@key='x''. Nothing "
        L"was changed"}},
      {L"badns.msi",
       [](TestPackage& p) { AddFile(p.database(), L"Zed", L"z.xml", L"CompA", L"XMLDIR", 0, L"xmlns:a=urn:x"); },
       false,
       static_cast<UINT>(-1223),
       {L"Table YVXmlFile, row 'Zed', column SelectionNamespaces: 'xmlns:a=urn:x' is not a list of xmlns:prefix='uri' "
        L"declarations. Nothing was changed"}},
      {L"twice.msi",
       [](TestPackage& p) {
         AddElement(p.database(), L"Item2", L"Settings", L"Root", L"item[@port='[PORT]']", L"", 0x1);
       },
       false,
       static_cast<UINT>(-1224),
       {L"Table YVXmlElement, rows 'Item' and 'Item2' give the same XPath '//item[@port='[PORT]']' with different "
        L"flags. Nothing was changed"}},
      {L"broken.msi",
       breakElementTable,
       false,
       ERROR_INSTALL_FAILURE,
       {L"An unhandled exception occurred in YVXmlCosting function"}},
  };
  TempFolder folder;
  ModuleLibrary module;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::wstring(c.package));
    std::set<std::wstring> before = TemporaryModuleFiles();
    RecordedSession session(MakePackage(folder, c.package, c.extend));
    if (c.cancel) session.AnswerProgress(IDCANCEL);
    EXPECT_EQ(module.CallAction("YVXmlCosting", session.handle()), c.result);
    Texts lines = session.LogLines();
    if (!c.log.empty()) lines.erase(lines.begin(), lines.end() - std::min(lines.size(), c.log.size()));
    EXPECT_EQ(lines, c.log) << "no line, or these last lines";
    EXPECT_EQ(PublishedData(session.handle()), Texts(6, L""));
    for (const RecordedMessage& m : session.OfType(INSTALLMESSAGE_PROGRESS)) EXPECT_NE(m.IntField(1), 2);
    // Programs running side by side share the temporary folder: no new file
    // may hold this package's file name.
    for (const std::wstring& path : TemporaryModuleFiles())
      EXPECT_TRUE(before.count(path) || ReadFileBytes(path).find(Utf16Bytes(L"8080.xml")) == std::string::npos) << path;
  }
}

// Progress goes to the installer at most once every 200 ms; the steps
// counted in between go out with the next report, or with the rest of the
// bar when it is completed.
TEST(Progress, ReportsAtMostOnceEvery200MillisecondsAcrossTheCounterWrap) {
  TempFolder folder;
  RecordedSession session(MakePackage(folder, L"progress.msi"));
  ClockedAction action(session.handle());
  auto sent = [&] {
    Texts reports;
    for (const auto& m : session.OfType(INSTALLMESSAGE_PROGRESS)) reports.push_back(m.Field(1) + L":" + m.Field(2));
    session.Clear();
    return reports;
  };
  g_fakeNow = 10000;
  action.SetupProgressBar(0, 7);
  EXPECT_EQ(sent(), (Texts{L"0:7", L"1:1"})) << "0 steps count as one; action data is worth one tick";
  action.SetupProgressBar(6, 10);
  sent();
  action.IncrementProgressBar();  // the first one always reports
  g_fakeNow += 50;
  action.IncrementProgressBar();
  g_fakeNow += 149;
  action.IncrementProgressBar();
  action.IncrementProgressBar();  // three counted within 199 ms of the report
  EXPECT_EQ(sent(), Texts{L"2:10"});
  action.CompleteProgressBar();  // the unreported steps go out with the rest
  action.CompleteProgressBar();  // and then nothing is left
  EXPECT_EQ(sent(), Texts{L"2:50"});

  action.SetupProgressBar(10, 1);
  sent();
  g_fakeNow = 0xFFFFFFF0u;
  action.IncrementProgressBar();
  g_fakeNow = 0x00000050u;  // 96 ms later, across the wrap
  action.IncrementProgressBar();
  g_fakeNow = 0x000000C0u;  // 208 ms after the report
  action.IncrementProgressBar();
  EXPECT_EQ(sent(), (Texts{L"2:1", L"2:2"})) << "the step counted in between goes out too";
}
