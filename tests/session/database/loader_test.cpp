#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "config/CXmlCfgComponentProp.h"
#include "config/CXmlCfgFileProp.h"
#include "config/CXmlCfgPropertyBag.h"
#include "config/CXmlCfgXPathAttribProp.h"
#include "config/CXmlCfgXPathProp.h"
#include "database/CXmlMsiMsiLoader.h"
#include "database/DatabaseResults.h"
#include "engine/IXMLRTEvent.h"
#include "kit/RecordedSession.h"
#include "kit/TempFolder.h"
#include "kit/TestPackage.h"
#include "support/MessageLog.h"
#include "unit/database/XmlTables.h"

namespace {

using namespace xml_tables;
using Lines = std::vector<std::wstring>;

// Receives the numbered messages the loader logs while it is registered.
class MessageSink : public IXMLRTEvent {
 public:
  MessageSink() { SetLogSink(this); }
  ~MessageSink() { SetLogSink(nullptr); }
  void OnLogMessage(const wchar_t* text) override { lines.push_back(text ? text : L""); }
  Lines lines;
};

std::wstring Text(const yv::_stringw& s) { return std::wstring(s.c_str(), s.size()); }

const CXmlCfgFileProp& FileOf(const CXmlCfgPropertyBag& bag, const wchar_t* component, const wchar_t* key) {
  return *bag.components.at(component)->files.at(key);
}

// Adds what the installer's costing needs to give components a requested
// action state: a folder, a feature at install level, and its components.
void AddInstallableComponents(TestPackage& package, const TempFolder& folder,
                              const std::vector<std::wstring>& components) {
  MSIHANDLE db = package.database();
  RunSql(db, L"CREATE TABLE `Directory` (`Directory` CHAR(72) NOT NULL, `Directory_Parent` CHAR(72), "
             L"`DefaultDir` CHAR(255) NOT NULL LOCALIZABLE PRIMARY KEY `Directory`)");
  RunSql(db, L"CREATE TABLE `Component` (`Component` CHAR(72) NOT NULL, `ComponentId` CHAR(38), "
             L"`Directory_` CHAR(72) NOT NULL, `Attributes` SHORT NOT NULL, `Condition` CHAR(255), "
             L"`KeyPath` CHAR(72) PRIMARY KEY `Component`)");
  RunSql(db, L"CREATE TABLE `Feature` (`Feature` CHAR(38) NOT NULL, `Feature_Parent` CHAR(38), `Title` CHAR(64), "
             L"`Description` CHAR(255), `Display` SHORT, `Level` SHORT NOT NULL, `Directory_` CHAR(72), "
             L"`Attributes` SHORT NOT NULL PRIMARY KEY `Feature`)");
  RunSql(db, L"CREATE TABLE `FeatureComponents` (`Feature_` CHAR(38) NOT NULL, `Component_` CHAR(72) NOT NULL "
             L"PRIMARY KEY `Feature_`, `Component_`)");
  Insert(db, L"Directory", {L"Directory", L"DefaultDir"}, {L"TARGETDIR", L"SourceDir"});
  Insert(db, L"Feature", {L"Feature", L"Level", L"Attributes"}, {L"Main", 1, 0});
  int n = 0;
  for (const std::wstring& component : components) {
    wchar_t guid[39];
    swprintf(guid, 39, L"{6F1C2D3E-4A5B-4C6D-8E9F-%012d}", ++n);
    Insert(db, L"Component", {L"Component", L"ComponentId", L"Directory_", L"Attributes"},
           {component, guid, L"TARGETDIR", 256});
    Insert(db, L"FeatureComponents", {L"Feature_", L"Component_"}, {L"Main", component});
  }
  package.Property(L"TARGETDIR", folder.path() + L"\\target\\");
}

class LoaderSessionTest : public ::testing::Test {
 protected:
  LoaderSessionTest() : package_(folder_.File(L"loader.msi")) {}
  MSIHANDLE db() { return package_.database(); }

  TempFolder folder_;
  TestPackage package_;
};

// Names and contents are installer-formatted text; a folder comes from the
// property the row names, expanded from the environment; XPath steps,
// selection namespaces and encodings are taken as stored.
TEST_F(LoaderSessionTest, ValuesAreResolvedAgainstTheRunningInstallation) {
  CreateAllTables(db());
  AddProgressMessages(package_);
  package_.Property(L"BASENAME", L"web")
      .Property(L"VERSION", L"4.2")
      .Property(L"ATTRNAME", L"release")
      .Property(L"EXPANDDIR", L"%YV_LOADER_TEST_ROOT%\\App\\")
      .Property(L"PLAINDIR", L"C:\\Plain 100%\\")
      .Property(L"ORDNER_\u00c4", L"C:\\\u00c4rger\\");
  AddFile(db(), L"Web", L"[BASENAME].config", L"CompA", L"EXPANDDIR", 0x1, L"xmlns:a='[VERSION]'", L"UTF-8");
  AddFile(db(), L"Plain", L"plain.xml", L"CompA", L"PLAINDIR", 0);
  AddFile(db(), L"Umlaut", L"u.xml", L"CompA", L"ORDNER_\u00c4", 0);
  AddElement(db(), L"Root", L"Web", L"", L"configuration");
  AddAttribute(db(), L"NS", L"Root", L"xmlns", L"urn:[BASENAME]", 1);
  AddElement(db(), L"Add", L"Web", L"Root", L"add[@key='[VERSION]']", L"v[VERSION]", 0x11);
  AddAttribute(db(), L"A2", L"Add", L"[ATTRNAME]", L"[VERSION]", 0x5);
  AddAttribute(db(), L"A1", L"Add", L"xmlns", L"urn:add", 0x1);
  AddAttribute(db(), L"A3", L"Add", L"plain", L"[NOSUCHPROPERTY]x", 0x9);
  package_.Commit();

  SetEnvironmentVariableW(L"YV_LOADER_TEST_ROOT", L"C:\\Expanded");
  RecordedSession session(package_.path());
  CXmlMsiMsiLoader loader;
  loader.SetInstallHandle(session.handle());
  CXmlCfgPropertyBag bag;
  ASSERT_EQ(bag.Load(loader), 0);

  const CXmlCfgFileProp& web = FileOf(bag, L"CompA", L"Web");
  EXPECT_EQ(Text(web.fileName), L"web.config");
  EXPECT_EQ(Text(web.path), L"C:\\Expanded\\App\\");
  EXPECT_EQ(Text(web.selectionNamespaces), L"xmlns:a='[VERSION]'");
  EXPECT_EQ(Text(web.encoding), L"UTF-8");
  EXPECT_EQ(web.fileAttributes, 0xFFFFFFFFu);
  EXPECT_EQ(web.attributes, 0x1u);
  EXPECT_EQ(Text(web.rootElementName), L"configuration");
  // The root's namespace is kept as stored: the walk does not format.
  EXPECT_EQ(Text(web.rootElementNamespace), L"urn:[BASENAME]");
  // The root carries an attribute (its namespace), so it has a record too,
  // whose namespace declaration is formatted like every attribute value.
  ASSERT_EQ(web.xpaths.size(), 2u);
  EXPECT_EQ(Text(web.xpaths.at(L"//")->GetNamespace()), L"urn:web");
  const CXmlCfgXPathProp& add = *web.xpaths.at(L"//add[@key='[VERSION]']");
  EXPECT_EQ(Text(add.xpath), L"//add[@key='[VERSION]']");
  EXPECT_EQ(Text(add.sectionName), L"Add");
  EXPECT_EQ(add.action, 0x11u);
  EXPECT_EQ(Text(add.content), L"v4.2");
  EXPECT_EQ(Text(add.GetNamespace()), L"urn:add");
  ASSERT_EQ(add.attributes.size(), 2u);
  // Table order (by key here), with the namespace declaration held apart.
  EXPECT_EQ(Text(add.attributes[0]->name), L"release");
  EXPECT_EQ(Text(add.attributes[0]->value), L"4.2");
  EXPECT_EQ(add.attributes[0]->action, 0x5u);
  EXPECT_EQ(Text(add.attributes[1]->name), L"plain");
  EXPECT_EQ(Text(add.attributes[1]->value), L"x");

  EXPECT_EQ(Text(FileOf(bag, L"CompA", L"Plain").path), L"C:\\Plain 100%\\");
  EXPECT_EQ(Text(FileOf(bag, L"CompA", L"Umlaut").path), L"C:\\\u00c4rger\\");
  EXPECT_EQ(Text(bag.GetProgressMessage(L"YV_PROGMSG_XML_UPDATE_FILE")), L"Updating %s");
  EXPECT_EQ(bag.progressMessages.size(), 6u);
}

// Without an installation the stored texts are used as they are and every
// component counts as installed locally.
TEST_F(LoaderSessionTest, WithoutAnInstallationValuesAreTakenAsStored) {
  CreateAllTables(db());
  AddProgressMessages(package_);
  AddFile(db(), L"F", L"[BASENAME].xml", L"Comp", L"SOMEDIR", 0);
  AddElement(db(), L"R", L"F", L"", L"r", L"[VERSION]");
  CXmlMsiMsiLoader loader;
  loader.SetDatabase(db());
  CXmlCfgPropertyBag bag;
  ASSERT_EQ(bag.Load(loader), 0);
  EXPECT_EQ(bag.components.at(L"Comp")->actionState, 3);
  const CXmlCfgFileProp& file = FileOf(bag, L"Comp", L"F");
  EXPECT_EQ(Text(file.fileName), L"[BASENAME].xml");
  EXPECT_EQ(Text(file.path), L"SOMEDIR");
  EXPECT_EQ(Text(file.xpaths.begin()->second->content), L"[VERSION]");
}

// Each component gets the action state the installer's costing requested;
// a component the installer does not know gets none that any host acts on.
TEST_F(LoaderSessionTest, ComponentStatesAreTheInstallersRequestedActions) {
  CreateAllTables(db());
  AddProgressMessages(package_);
  AddInstallableComponents(package_, folder_, {L"Known"});
  package_.Property(L"XMLDIR", L"C:\\x\\");
  AddFile(db(), L"F1", L"a.xml", L"Known", L"XMLDIR", 0);
  AddFile(db(), L"F2", L"b.xml", L"Known", L"XMLDIR", 0);
  AddFile(db(), L"F3", L"c.xml", L"Unknown", L"XMLDIR", 0);
  package_.Commit();

  RecordedSession session(package_.path());
  for (const wchar_t* action : {L"CostInitialize", L"FileCost", L"CostFinalize"})
    ASSERT_EQ(MsiDoActionW(session.handle(), action), static_cast<UINT>(ERROR_SUCCESS)) << action;
  CXmlMsiMsiLoader loader;
  loader.SetInstallHandle(session.handle());
  CXmlCfgPropertyBag bag;
  ASSERT_EQ(bag.Load(loader), 0);
  ASSERT_EQ(bag.components.size(), 2u);
  EXPECT_EQ(bag.components.at(L"Known")->actionState, INSTALLSTATE_LOCAL);
  EXPECT_EQ(bag.components.at(L"Known")->files.size(), 2u);
  EXPECT_EQ(bag.components.at(L"Unknown")->actionState, INSTALLSTATE_UNKNOWN);
}

TEST_F(LoaderSessionTest, PropertyValuesAreFormattedCutAndReportedWhenMissingOrEmpty) {
  package_.Property(L"GREETING", L"Hello [WHO]").Property(L"WHO", L"World").Property(L"NOTHING", L"[UNSET]");
  package_.Commit();
  RecordedSession session(package_.path());
  CXmlMsiMsiLoader loader;
  loader.SetInstallHandle(session.handle());
  MessageSink sink;

  wchar_t buffer[260];
  EXPECT_EQ(loader.GetPropertyValue(L"GREETING", buffer, 260), 0);
  EXPECT_STREQ(buffer, L"Hello World");
  EXPECT_EQ(loader.GetPropertyValue(L"GREETING", buffer, 6), 0);
  EXPECT_STREQ(buffer, L"Hello");
  EXPECT_EQ(loader.GetPropertyValue(L"NOTHING", buffer, 260), DatabaseResult::kPropertyEmpty);
  EXPECT_STREQ(buffer, L"");
  EXPECT_TRUE(sink.lines.empty());

  EXPECT_EQ(loader.GetPropertyValue(L"NO_SUCH_PROPERTY", buffer, 260), DatabaseResult::kPropertyMissing);
  EXPECT_STREQ(buffer, L"NO_SUCH_PROPERTY");
  EXPECT_EQ(sink.lines, Lines{L"Error getting property NO_SUCH_PROPERTY from Property table. Error:  259"});
}

// A package without the file table still has its progress texts read; a
// missing text ends the load with its code, after the texts before it.
TEST_F(LoaderSessionTest, ProgressTextsAreReadWithOrWithoutFilesAndAMissingOneFailsTheLoad) {
  package_.Property(L"YV_PROGMSG_XML_COSTING", L"Costing")
      .Property(L"YV_PROGMSG_XML_CREATE_FILE", L"Creating %s")
      .Property(L"YV_PROGMSG_XML_UPDATE_FILE", L"Updating %s");
  CXmlMsiMsiLoader loader;
  loader.SetDatabase(db());
  MessageSink sink;
  CXmlCfgPropertyBag bag;
  EXPECT_EQ(bag.Load(loader), DatabaseResult::kPropertyMissing);
  EXPECT_TRUE(bag.components.empty());
  ASSERT_EQ(bag.progressMessages.size(), 1u);
  EXPECT_EQ(Text(bag.GetProgressMessage(L"YV_PROGMSG_XML_COSTING")), L"Costing");
  EXPECT_EQ(sink.lines, (Lines{L"YVXmlFile table not found, skipping",
                               L"Error getting property YV_PROGMSG_XML_FILES from Property table. Error:  259"}));

  package_.Property(L"YV_PROGMSG_XML_FILES", L"Files")
      .Property(L"YV_PROGMSG_XML_REMOVE_FILE", L"Removing %s")
      .Property(L"YV_PROGMSG_XML_ROLLBACK_FILES", L"Rolling back");
  CXmlCfgPropertyBag complete;
  EXPECT_EQ(complete.Load(loader), 0);
  EXPECT_EQ(complete.progressMessages.size(), 6u);
}

// Without the two optional columns every file takes the package's encoding
// property and has no selection namespaces. Missing element tables are
// logged once per file, missing attribute tables once per element.
TEST_F(LoaderSessionTest, AFiveColumnFileTableAndMissingElementTablesLoad) {
  CreateFileTable(db(), 5);
  AddProgressMessages(package_);
  package_.Property(L"YV_XML_FILE_ENCODING", L"ISO-8859-1");
  AddFileOfFiveColumns(db(), L"F1", L"a.xml", L"Comp", L"DIR", 0);
  AddFileOfFiveColumns(db(), L"F2", L"b.xml", L"Comp", L"DIR", 0);
  CXmlMsiMsiLoader loader;
  loader.SetDatabase(db());
  {
    MessageSink sink;
    CXmlCfgPropertyBag bag;
    ASSERT_EQ(bag.Load(loader), 0);
    ASSERT_EQ(bag.components.size(), 1u);
    for (const wchar_t* key : {L"F1", L"F2"}) {
      const CXmlCfgFileProp& file = FileOf(bag, L"Comp", key);
      EXPECT_EQ(Text(file.encoding), L"ISO-8859-1");
      EXPECT_EQ(Text(file.selectionNamespaces), L"");
      EXPECT_TRUE(file.xpaths.empty());
    }
    EXPECT_EQ(sink.lines, (Lines{L"Loading data for XML file F1", L"YVXmlElement table not found, skipping",
                                 L"Loading data for XML file F2", L"YVXmlElement table not found, skipping"}));
  }

  CreateElementTable(db());
  AddElement(db(), L"R", L"F1", L"", L"root");
  AddElement(db(), L"C1", L"F1", L"R", L"c1", L"", 1);
  AddElement(db(), L"C2", L"F1", L"R", L"c2", L"", 1);
  MessageSink sink;
  CXmlCfgPropertyBag bag;
  ASSERT_EQ(bag.Load(loader), 0);
  EXPECT_EQ(FileOf(bag, L"Comp", L"F1").xpaths.size(), 2u);
  EXPECT_EQ(Text(FileOf(bag, L"Comp", L"F1").rootElementName), L"root");
  // A file with no root row gets no root element name.
  EXPECT_EQ(Text(FileOf(bag, L"Comp", L"F2").rootElementName), L"");
  EXPECT_EQ(std::count(sink.lines.begin(), sink.lines.end(), L"YVXmlElementAttrib table not found, skipping"), 2);
}

// A row whose folder or file name resolves to nothing stops the load there.
TEST_F(LoaderSessionTest, AnEmptyFolderOrFileNameStopsTheLoadWithItsCode) {
  CreateAllTables(db());
  AddProgressMessages(package_);
  package_.Property(L"GOODDIR", L"C:\\good\\").Property(L"EMPTYNAME", L"[NOTSET]");
  AddFile(db(), L"A", L"a.xml", L"Comp", L"GOODDIR", 0);
  AddFile(db(), L"B", L"b.xml", L"Comp", L"DIR_WITH_NO_VALUE", 0);
  package_.Commit();
  {
    RecordedSession session(package_.path());
    CXmlMsiMsiLoader loader;
    loader.SetInstallHandle(session.handle());
    CXmlCfgPropertyBag bag;
    EXPECT_EQ(bag.Load(loader), DatabaseResult::kFolderEmpty);
    EXPECT_EQ(Text(FileOf(bag, L"Comp", L"A").path), L"C:\\good\\");
    EXPECT_EQ(Text(FileOf(bag, L"Comp", L"B").path), L"");
    // The load stopped before the progress texts.
    EXPECT_TRUE(bag.progressMessages.empty());
  }

  TestPackage second(folder_.File(L"name.msi"));
  CreateAllTables(second.database());
  AddProgressMessages(second);
  second.Property(L"GOODDIR", L"C:\\good\\");
  AddFile(second.database(), L"A", L"[EMPTYNAME]", L"Comp", L"GOODDIR", 0);
  second.Commit();
  RecordedSession session(second.path());
  CXmlMsiMsiLoader loader;
  loader.SetInstallHandle(session.handle());
  CXmlCfgPropertyBag bag;
  EXPECT_EQ(bag.Load(loader), DatabaseResult::kFileNameEmpty);
}

// Values far longer than the first read buffers are read and formatted whole.
TEST_F(LoaderSessionTest, LongValuesAreReadAndFormattedWhole) {
  CreateAllTables(db());
  AddProgressMessages(package_);
  std::wstring longContent(5000, L'c');
  std::wstring longValue(3000, L'v');
  package_.Property(L"LONGPROP", longValue).Property(L"XMLDIR", L"C:\\x\\");
  AddFile(db(), L"F", L"f.xml", L"Comp", L"XMLDIR", 0);
  AddElement(db(), L"R", L"F", L"", L"root", longContent + L"[LONGPROP]");
  AddAttribute(db(), L"A", L"R", L"value", L"[LONGPROP]", 1);
  package_.Commit();
  RecordedSession session(package_.path());
  CXmlMsiMsiLoader loader;
  loader.SetInstallHandle(session.handle());
  CXmlCfgPropertyBag bag;
  ASSERT_EQ(bag.Load(loader), 0);
  const CXmlCfgXPathProp& root = *FileOf(bag, L"Comp", L"F").xpaths.at(L"//");
  EXPECT_EQ(Text(root.content), longContent + longValue);
  EXPECT_EQ(Text(root.attributes.at(0)->value), longValue);
}

// A package without a Property table loads its files, with no encoding from
// the missing property and no progress texts.
TEST_F(LoaderSessionTest, APackageWithoutPropertyTableLoadsWithoutProgressTexts) {
  RunSql(db(), L"DROP TABLE `Property`");
  CreateFileTable(db(), 5);
  CreateElementTable(db());
  AddFileOfFiveColumns(db(), L"F", L"f.xml", L"Comp", L"DIR", 0);
  AddElement(db(), L"R", L"F", L"", L"root", L"text");
  CXmlMsiMsiLoader loader;
  loader.SetDatabase(db());
  CXmlCfgPropertyBag bag;
  ASSERT_EQ(bag.Load(loader), 0);
  EXPECT_TRUE(bag.progressMessages.empty());
  EXPECT_EQ(Text(FileOf(bag, L"Comp", L"F").encoding), L"");
  EXPECT_EQ(FileOf(bag, L"Comp", L"F").xpaths.size(), 1u);
}

}  // namespace
