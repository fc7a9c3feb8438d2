#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "actions/CXmlCfgCosting.h"
#include "config/CXmlCfgComponentProp.h"
#include "config/CXmlCfgFileProp.h"
#include "config/CXmlCfgPropertyBag.h"
#include "config/CXmlCfgXPathAttribProp.h"
#include "config/CXmlCfgXPathProp.h"
#include "kit/ModuleLibrary.h"
#include "kit/RecordedSession.h"
#include "kit/TempFolder.h"
#include "kit/TestPackage.h"
#include "runtime_file/CXmlMsiIniLoader.h"
#include "unit/database/XmlTables.h"

namespace {

using namespace xml_tables;

constexpr const wchar_t* kActionProperties[] = {L"YVXmlCosting",  L"YVXmlInstall",  L"YVXmlUnInstall",
                                                L"YVXmlRollback", L"YVXmlFinalize", L"YVXmlCommit"};

// The costing export, called as the installer calls it.
UINT CallCostingExport(MSIHANDLE session) { return ModuleLibrary().CallAction("YVXmlCosting", session); }

std::wstring Property(MSIHANDLE session, const wchar_t* name) {
  wchar_t value[1024] = L"";
  DWORD size = 1024;
  MsiGetPropertyW(session, name, value, &size);
  return value;
}

std::set<std::wstring> RuntimeDataFiles() {
  std::set<std::wstring> names;
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((std::wstring(folder) + L"XML*.tmp").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return names;
  do names.insert(entry.cFileName);
  while (FindNextFileW(find, &entry));
  FindClose(find);
  return names;
}

std::wstring Text(const yv::_stringw& s) { return std::wstring(s.c_str(), s.size()); }

// A costing that finds no XML parser on the machine.
class CostingWithoutParser : public CXmlCfgCosting {
 public:
  using CXmlCfgCosting::CXmlCfgCosting;
  bool HasXmlParser() override { return false; }
};

class CostingTest : public ::testing::Test {
 protected:
  ~CostingTest() override {
    for (const std::wstring& path : written_) DeleteFileW(path.c_str());
  }

  // A package with one component, one file and a small element tree; the
  // caller may add to it before it is committed.
  std::wstring MakePackage(const wchar_t* name, const std::function<void(TestPackage&)>& extend = nullptr) {
    TestPackage package(folder_.File(name));
    MSIHANDLE db = package.database();
    CreateAllTables(db);
    AddProgressMessages(package);
    package.Property(L"XMLDIR", L"C:\\App\\").Property(L"PORT", L"8080");
    AddFile(db, L"Settings", L"settings.xml", L"CompA", L"XMLDIR", 0x1, L"", L"UTF-8");
    AddElement(db, L"Root", L"Settings", L"", L"configuration");
    AddElement(db, L"Item", L"Settings", L"Root", L"item", L"[PORT]", 0x11);
    AddAttribute(db, L"Attr", L"Item", L"value", L"on", 0x1);
    if (extend) extend(package);
    package.Commit();
    return package.path();
  }

  // Every action property, checked to name one and the same file; the file
  // is removed when the test ends.
  std::wstring PublishedPath(MSIHANDLE session) {
    std::wstring path = Property(session, kActionProperties[0]);
    for (const wchar_t* name : kActionProperties) EXPECT_EQ(Property(session, name), path) << name;
    if (!path.empty()) written_.push_back(path);
    return path;
  }

  TempFolder folder_;
  std::vector<std::wstring> written_;
};

TEST_F(CostingTest, ARunWritesTheRuntimeDataFileAndHandsItToEveryLaterAction) {
  RecordedSession session(MakePackage(L"costing.msi"));
  CXmlCfgCosting costing(session.handle());
  ASSERT_EQ(costing.Run(), 0);

  std::wstring path = PublishedPath(session.handle());
  wchar_t tempFolder[MAX_PATH];
  GetTempPathW(MAX_PATH, tempFolder);
  std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
  EXPECT_EQ(path.substr(0, path.find_last_of(L'\\') + 1), tempFolder);
  EXPECT_EQ(_wcsnicmp(name.c_str(), L"XML", 3), 0) << std::string(name.begin(), name.end());
  EXPECT_EQ(_wcsicmp(name.substr(name.size() - 4).c_str(), L".tmp"), 0);

  // What the deferred actions will read back.
  CXmlMsiIniLoader reader(path.c_str());
  CXmlCfgPropertyBag bag;
  ASSERT_EQ(bag.Load(reader), 0);
  const CXmlCfgFileProp& file = *bag.components.at(L"CompA")->files.at(L"Settings");
  EXPECT_EQ(Text(file.GetFullPath()), L"C:\\App\\settings.xml");
  EXPECT_EQ(Text(file.rootElementName), L"configuration");
  const CXmlCfgXPathProp& item = *file.xpaths.at(L"//item");
  EXPECT_EQ(Text(item.content), L"8080");
  EXPECT_EQ(Text(item.attributes.at(0)->value), L"on");
  EXPECT_EQ(Text(bag.GetProgressMessage(L"YV_PROGMSG_XML_COSTING")), L"Costing XML files");

  // Two steps of 5000 ticks, each action-data message worth one tick, and
  // the whole bar filled at the end.
  std::vector<RecordedMessage> progress = session.OfType(INSTALLMESSAGE_PROGRESS);
  ASSERT_GE(progress.size(), 3u);
  EXPECT_EQ(progress[0].IntField(1), 0);
  EXPECT_EQ(progress[0].IntField(2), 10000);
  EXPECT_EQ(progress[1].IntField(1), 1);
  EXPECT_EQ(progress[1].IntField(2), 1);
  int advanced = 0;
  for (const RecordedMessage& m : progress)
    if (m.IntField(1) == 2) advanced += m.IntField(2);
  EXPECT_EQ(advanced, 10000);

  std::vector<RecordedMessage> actionText = session.OfType(INSTALLMESSAGE_ACTIONSTART);
  ASSERT_EQ(actionText.size(), 1u);
  EXPECT_EQ(actionText[0].Field(1), L"Progress Custom Action");
  EXPECT_EQ(actionText[0].Field(2), L"Costing XML files");
  // Wine supplies an XML parser, so there is nothing to warn about.
  EXPECT_TRUE(costing.HasXmlParser());
  EXPECT_TRUE(session.LogLines().empty());
}

// The user cancels on the action text: nothing is read, written or
// published. The package's element table is broken, so reading it would
// have failed.
TEST_F(CostingTest, ACancelOnTheActionTextEndsTheRunBeforeTheTablesAreRead) {
  std::wstring path = MakePackage(L"cancel.msi", [](TestPackage& package) {
    RunSql(package.database(), L"DROP TABLE `YVXmlElement`");
    RunSql(package.database(), L"CREATE TABLE `YVXmlElement` (`YVXmlElement` CHAR(72) NOT NULL, "
                               L"`Broken` CHAR(72) PRIMARY KEY `YVXmlElement`)");
  });
  std::set<std::wstring> before = RuntimeDataFiles();
  RecordedSession session(path);
  session.AnswerProgress(IDCANCEL);
  CXmlCfgCosting costing(session.handle());
  EXPECT_EQ(costing.Run(), 1602);
  EXPECT_EQ(RuntimeDataFiles(), before);
  for (const wchar_t* name : kActionProperties) EXPECT_EQ(Property(session.handle(), name), L"") << name;
}

TEST_F(CostingTest, WithoutAnXmlParserTheCostingStillWritesTheFileAndSaysSo) {
  RecordedSession session(MakePackage(L"noparser.msi"));
  CostingWithoutParser costing(session.handle());
  EXPECT_EQ(costing.Run(), 0);
  EXPECT_EQ(session.LogLines(), std::vector<std::wstring>{L"MSXML is not currently installed..."});
  std::wstring path = PublishedPath(session.handle());
  EXPECT_FALSE(ReadFileBytes(path).empty());
}

// A loader code ends the run: no file is handed on and the bar is not
// filled.
TEST_F(CostingTest, ALoaderCodeIsTheResultAndNothingIsPublished) {
  RecordedSession session(MakePackage(L"nodir.msi", [](TestPackage& package) {
    AddFile(package.database(), L"Other", L"other.xml", L"CompA", L"UNSET_FOLDER", 0);
  }));
  std::set<std::wstring> before = RuntimeDataFiles();
  CXmlCfgCosting costing(session.handle());
  EXPECT_EQ(costing.Run(), -1205);
  EXPECT_EQ(RuntimeDataFiles(), before);
  for (const wchar_t* name : kActionProperties) EXPECT_EQ(Property(session.handle(), name), L"") << name;
  for (const RecordedMessage& m : session.OfType(INSTALLMESSAGE_PROGRESS)) EXPECT_NE(m.IntField(1), 2);
}

// Awkward but valid tables: keys and property names with apostrophes,
// brackets and non-ASCII characters, 2,000-character values, rows whose
// parent is missing or that name each other, and a file table without its
// optional columns. The export succeeds and hands on what the tables say.
// (Test packages carry no code page, so their non-ASCII texts stay within
// the system's ANSI code page.)
TEST_F(CostingTest, TheExportCostsAwkwardTablesCleanly) {
  std::wstring longValue(2000, L'w');
  std::wstring path;
  {
    TestPackage package(folder_.File(L"awkward.msi"));
    MSIHANDLE db = package.database();
    CreateFileTable(db, 5);
    CreateElementTable(db);
    CreateAttributeTable(db);
    AddProgressMessages(package);
    package.Property(L"DIR_[O'BRIEN]_\u00c5", L"C:\\O'Brien [\u00c5]\\").Property(L"YV_XML_FILE_ENCODING", L"UTF-16");
    AddFileOfFiveColumns(db, L"File'1(\u00e9)", L"o'brien.xml", L"Comp'\u00e6", L"DIR_[O'BRIEN]_\u00c5", 0);
    AddElement(db, L"Root'", L"File'1(\u00e9)", L"", L"people");
    AddElement(db, L"Person'[1]", L"File'1(\u00e9)", L"Root'", L"person[@name=\"O'Brien\"]", longValue, 0x11);
    AddAttribute(db, L"Attr'\u00df", L"Person'[1]", L"note", longValue, 0x1);
    AddElement(db, L"Orphan'", L"File'1(\u00e9)", L"Nobody'", L"lost", L"", 1);
    AddElement(db, L"LoopA", L"File'1(\u00e9)", L"LoopB", L"a", L"", 1);
    AddElement(db, L"LoopB", L"File'1(\u00e9)", L"LoopA", L"b", L"", 1);
    package.Commit();
    path = package.path();
  }
  RecordedSession session(path);
  ASSERT_EQ(CallCostingExport(session.handle()), 0u);

  CXmlMsiIniLoader reader(PublishedPath(session.handle()).c_str());
  CXmlCfgPropertyBag bag;
  ASSERT_EQ(bag.Load(reader), 0);
  ASSERT_EQ(bag.components.count(L"Comp'\u00e6"), 1u);
  ASSERT_EQ(bag.components.at(L"Comp'\u00e6")->files.count(L"File'1(\u00e9)"), 1u);
  const CXmlCfgFileProp& file = *bag.components.at(L"Comp'\u00e6")->files.at(L"File'1(\u00e9)");
  EXPECT_EQ(Text(file.path), L"C:\\O'Brien [\u00c5]\\");
  EXPECT_EQ(Text(file.encoding), L"UTF-16");
  ASSERT_EQ(file.xpaths.size(), 1u);
  const CXmlCfgXPathProp& person = *file.xpaths.begin()->second;
  EXPECT_EQ(Text(person.xpath), L"//person[@name=\"O'Brien\"]");
  EXPECT_EQ(Text(person.content), longValue);
  ASSERT_EQ(person.attributes.size(), 1u);
  EXPECT_EQ(Text(person.attributes.at(0)->value), longValue);
}

// The runtime data file names a file's section by its key, and a section
// name ends at the first ']'. Such a key is costed, but the deferred actions
// cannot find its section: they fail with the reader's code, cleanly.
TEST_F(CostingTest, AFileKeyWithAClosingBracketCannotTravelInTheRuntimeDataFile) {
  RecordedSession session(MakePackage(L"bracket.msi", [](TestPackage& package) {
    AddFile(package.database(), L"Bracket]Key", L"b.xml", L"CompA", L"XMLDIR", 0);
  }));
  ASSERT_EQ(CallCostingExport(session.handle()), 0u);
  CXmlMsiIniLoader reader(PublishedPath(session.handle()).c_str());
  CXmlCfgPropertyBag bag;
  EXPECT_EQ(bag.Load(reader), -1304);
}

// Failures reach the installer as result codes, never as an exception out
// of the module: a loader code as its unsigned form, a table the installer
// cannot query as a failed action with one log line.
TEST_F(CostingTest, TheExportReturnsFailuresAsCodes) {
  {
    RecordedSession session(MakePackage(L"emptydir.msi", [](TestPackage& package) {
      package.Property(L"EMPTYDIR", L"[NOT_SET]");
      AddFile(package.database(), L"Zed", L"z.xml", L"CompA", L"EMPTY'DIR", 0);
    }));
    EXPECT_EQ(CallCostingExport(session.handle()), 0xFFFFFB4Bu);  // -1205
  }
  RecordedSession session(MakePackage(L"broken.msi", [](TestPackage& package) {
    RunSql(package.database(), L"DROP TABLE `YVXmlElement`");
    RunSql(package.database(), L"CREATE TABLE `YVXmlElement` (`YVXmlElement` CHAR(72) NOT NULL, "
                               L"`Broken` CHAR(72) PRIMARY KEY `YVXmlElement`)");
  }));
  EXPECT_EQ(CallCostingExport(session.handle()), static_cast<UINT>(ERROR_INSTALL_FAILURE));
  EXPECT_EQ(session.LogLines(), std::vector<std::wstring>{L"An unhandled exception occurred in YVXmlCosting function"});
  for (const wchar_t* name : kActionProperties) EXPECT_EQ(Property(session.handle(), name), L"") << name;
}

}  // namespace
