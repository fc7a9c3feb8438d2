#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "kit/ModuleLibrary.h"
#include "kit/RecordedSession.h"
#include "kit/TempFolder.h"
#include "kit/TestPackage.h"
#include "search/CXmlCfgAppSearch.h"

namespace {

const char kSettingsXml[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
    "<configuration>\r\n"
    "  <appSettings>\r\n"
    "    <add key=\"Port\" value=\"8080\"/>\r\n"
    "    <add key=\"Empty\"/>\r\n"
    "  </appSettings>\r\n"
    "  <connection>Server=db1;Database=orders</connection>\r\n"
    "  <blank></blank>\r\n"
    "</configuration>\r\n";

struct Locator {
  std::wstring signature;
  std::wstring parent;
  std::wstring element;
  std::wstring attribute;
  std::optional<int> searchType;  // nullopt: a null column
};

// A package with the installer's AppSearch table and the locator table,
// whose rows the test chooses. The file searches themselves are not run: the
// test puts the path that a file search would have found into its property.
class AppSearchTest : public ::testing::Test {
 protected:
  void SetUp() override { WriteFileBytes(folder_.File(L"app.config"), kSettingsXml); }

  void Open(const std::vector<Locator>& locators, bool withLocatorTable = true, bool withAppSearchTable = true) {
    TestPackage package(folder_.File(L"search.msi"));
    package.Property(L"ProductCode", L"{3A6E1C52-7B0D-4E8F-9A21-5C4D3B2A1F00}")
        .Property(L"PORT", L"unchanged")
        .Property(L"MISSING", L"installer default");
    if (withAppSearchTable) {
      package.Sql(L"CREATE TABLE `AppSearch` (`Property` CHAR(72) NOT NULL, `Signature_` CHAR(72) NOT NULL "
                  L"PRIMARY KEY `Property`, `Signature_`)");
      package.Row(L"AppSearch", {L"Property", L"Signature_"}, {L"CONFIGFILE", L"ConfigFileSearch"});
      for (const wchar_t* name : {L"PORT", L"EMPTYTEXT", L"CONNECTION", L"HASCONNECTION", L"MISSING", L"NOATTR",
                                  L"NULLTYPE", L"ORPHAN", L"OTHERFILE", L"BROKEN", L"NOPORT"}) {
        package.Row(L"AppSearch", {L"Property", L"Signature_"}, {name, std::wstring(name) + L"Sig"});
      }
      package.Row(L"AppSearch", {L"Property", L"Signature_"}, {L"NOWHERE", L"NowhereSearch"});
      package.Row(L"AppSearch", {L"Property", L"Signature_"}, {L"BROKENFILE", L"BrokenFileSearch"});
    }
    if (withLocatorTable) {
      // Nullable columns, so that rows the authoring tool would refuse can
      // still reach the search.
      package.Sql(L"CREATE TABLE `YVXmlLocator` (`Signature` CHAR(72) NOT NULL, `Parent` CHAR(72), `Element` "
                  L"LONGCHAR, `Attribute` CHAR(255), `YVAttributes` SHORT PRIMARY KEY `Signature`)");
      for (const Locator& locator : locators) {
        yv::MsiHandle view;
        ASSERT_EQ(MsiDatabaseOpenViewW(package.database(),
                                       L"INSERT INTO `YVXmlLocator` (`Signature`, `Parent`, `Element`, `Attribute`, "
                                       L"`YVAttributes`) VALUES (?, ?, ?, ?, ?)",
                                       view.put()),
                  0u);
        yv::MsiHandle record(MsiCreateRecord(5));
        MsiRecordSetStringW(record, 1, locator.signature.c_str());
        MsiRecordSetStringW(record, 2, locator.parent.c_str());
        MsiRecordSetStringW(record, 3, locator.element.c_str());
        MsiRecordSetStringW(record, 4, locator.attribute.c_str());
        if (locator.searchType) MsiRecordSetInteger(record, 5, *locator.searchType);
        ASSERT_EQ(MsiViewExecute(view, record), 0u);
      }
    }
    package.Commit();
    session_ = std::make_unique<RecordedSession>(package.path());
    MsiSetPropertyW(session_->handle(), L"CONFIGFILE", folder_.File(L"app.config").c_str());
  }

  std::wstring Property(const wchar_t* name) {
    wchar_t value[512] = L"";
    DWORD size = 512;
    MsiGetPropertyW(session_->handle(), name, value, &size);
    return value;
  }

  int Search() {
    session_->Clear();
    CXmlCfgAppSearch search(session_->handle());
    return search.DoXmlAppSearches();
  }

  bool Logged(const std::wstring& line) {
    auto lines = session_->LogLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  std::wstring AllLines() {
    std::wstring all;
    for (const auto& line : session_->LogLines()) all += line + L"\n";
    return all;
  }

  TempFolder folder_;
  std::unique_ptr<RecordedSession> session_;
};

const wchar_t kTablesMissing[] =
    L"AppSearch or YVXmlLocator table does not exist.  Both tables are need to search the contents of an XML file.";

}  // namespace

TEST_F(AppSearchTest, ReadsAttributeTextAndExistenceAndLeavesUnfoundElementsAlone) {
  Open({
      {L"PORTSig", L"ConfigFileSearch", L"appSettings/add[@key='Port']", L"value", 0},
      {L"CONNECTIONSig", L"ConfigFileSearch", L"connection", L"", 1},
      {L"EMPTYTEXTSig", L"ConfigFileSearch", L"/configuration/blank", L"", 1},
      {L"HASCONNECTIONSig", L"ConfigFileSearch", L"connection", L"", 2},
      {L"MISSINGSig", L"ConfigFileSearch", L"appSettings/remove", L"", 2},
  });
  ASSERT_EQ(MsiSetPropertyW(session_->handle(), L"EMPTYTEXT", L"was set before"), 0u);

  EXPECT_EQ(Search(), 0);

  EXPECT_EQ(Property(L"PORT"), L"8080");
  EXPECT_EQ(Property(L"CONNECTION"), L"Server=db1;Database=orders");
  EXPECT_EQ(Property(L"EMPTYTEXT"), L"") << "an empty element empties the property";
  EXPECT_EQ(Property(L"HASCONNECTION"), L"1");
  EXPECT_EQ(Property(L"MISSING"), L"installer default") << "an element not found leaves the property as it was";

  EXPECT_TRUE(Logged(L"Searching for an XML Attribute value using the Element 'appSettings/add[@key='Port']' and "
                     L"the Attribute 'value'."));
  EXPECT_TRUE(Logged(L"Searching for the contents of the XML Element using the Element 'connection'."));
  EXPECT_TRUE(Logged(L"Searching for the existence of the XML Element using the Element 'appSettings/remove'."));
  EXPECT_TRUE(Logged(L"Success! The YVXmlAppSearch action set the value of the associated property to the "
                     L"following value: '8080'."));
  EXPECT_TRUE(Logged(L"Success! The YVXmlAppSearch action set the value of the associated property to the "
                     L"following value: ''."))
      << AllLines();
  EXPECT_TRUE(Logged(L"Element not found using the following Element: appSettings/remove. It is possible that the "
                     L"element did not exist or the XPath syntax is invalid."));

  // The action's own progress: one two-step bar and its action text.
  auto progress = session_->OfType(INSTALLMESSAGE_PROGRESS);
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.front().IntField(1), 0);
  EXPECT_EQ(progress.front().IntField(2), 2 * 5000);
}

TEST_F(AppSearchTest, EveryFaultyRowIsLoggedAndTheNextRowIsStillSearched) {
  WriteFileBytes(folder_.File(L"broken.config"), "<configuration><unclosed></configuration>");
  Open({
      {L"NOATTRSig", L"ConfigFileSearch", L"appSettings/add", L"", 0},
      {L"NULLTYPESig", L"ConfigFileSearch", L"connection", L"", std::nullopt},
      {L"ORPHANSig", L"NoSuchSearch", L"connection", L"", 1},
      {L"OTHERFILESig", L"NowhereSearch", L"connection", L"", 1},
      {L"BROKENSig", L"BrokenFileSearch", L"connection", L"", 1},
      {L"NOPORTSig", L"ConfigFileSearch", L"appSettings/add[@key='Empty']", L"value", 0},
      {L"ZZZ", L"ConfigFileSearch", L"connection", L"", 2},
      {L"PORTSig", L"ConfigFileSearch", L"appSettings/add[@key='Port']", L"value", 0},
  });
  MsiSetPropertyW(session_->handle(), L"BROKENFILE", folder_.File(L"broken.config").c_str());
  MsiSetPropertyW(session_->handle(), L"NOWHERE", L"");

  EXPECT_EQ(Search(), 0);
  std::wstring log = AllLines();

  // An attribute search without an attribute name goes no further than
  // saying so.
  EXPECT_NE(log.find(L"Searching for an XML Attribute value using the Element 'appSettings/add' and the Attribute "
                     L"''.\nThe XMLLocator search for the element in 'appSettings/add' appears to have a NULL "
                     L"Attribute in the YVXmlLocator table.  There can not be a NULL attribute name when searching "
                     L"for the attribute value.\n"),
            std::wstring::npos)
      << log;
  EXPECT_TRUE(Logged(L"YVXmlLocator record appears to have an invalid value for YVAttributes. It must be set to 0, "
                     L"1, or 2."));
  EXPECT_TRUE(Logged(L"No AppSearch record found with a Signature of: 'NoSuchSearch'"));
  EXPECT_TRUE(Logged(L"No AppSearch record found with a Signature of: 'ZZZ'"))
      << "the result property is looked up as well";
  EXPECT_TRUE(Logged(L"The location of the XML file, stored in the Property 'NOWHERE', is currently a NULL value.  "
                     L"It appears that the AppSearch did not find the file."));
  EXPECT_TRUE(Logged(L"Error opening the file '" + folder_.File(L"broken.config") +
                     L"'. Please verify that this is a well formed XML document."));
  EXPECT_TRUE(Logged(L"Attribute 'value' not found using the following Element: "
                     L"'appSettings/add[@key='Empty']'. Check for the existence of the Attribute."));

  EXPECT_EQ(Property(L"PORT"), L"8080") << "rows after failed ones are searched";
  for (const wchar_t* untouched : {L"NOATTR", L"NULLTYPE", L"ORPHAN", L"OTHERFILE", L"BROKEN", L"NOPORT"})
    EXPECT_EQ(Property(untouched), L"") << untouched;
}

TEST_F(AppSearchTest, AFileThatIsNotThereAndANullColumnAreNamed) {
  Open({
      {L"PORTSig", L"ConfigFileSearch", L"appSettings/add[@key='Port']", L"value", 0},
      {L"CONNECTIONSig", L"", L"connection", L"", 1},
  });
  std::wstring gone = folder_.File(L"gone.config");
  MsiSetPropertyW(session_->handle(), L"CONFIGFILE", gone.c_str());
  EXPECT_EQ(Search(), 0);
  EXPECT_TRUE(Logged(L"The file '" + gone + L"' does not exist.")) << AllLines();
  EXPECT_TRUE(Logged(L"YVXmlAppSearch failed because of a NULL value required for the search. Table: "
                     L"'YVXmlLocator', Column: 'Parent'"));
  EXPECT_EQ(Property(L"PORT"), L"unchanged");
}

TEST_F(AppSearchTest, WithoutEitherTableOnlyThatIsLogged) {
  for (bool locatorTable : {false, true}) {
    Open({{L"PORTSig", L"ConfigFileSearch", L"appSettings/add[@key='Port']", L"value", 0}}, locatorTable,
         !locatorTable);
    EXPECT_EQ(Search(), 0);
    auto lines = session_->LogLines();
    ASSERT_EQ(lines.size(), 1u) << AllLines();
    EXPECT_EQ(lines[0], kTablesMissing);
    EXPECT_EQ(Property(L"PORT"), L"unchanged");
    session_.reset();
  }
}

TEST_F(AppSearchTest, TheExportSucceedsWhateverTheSearchMetAndInAnyApartment) {
  Open({
      {L"PORTSig", L"ConfigFileSearch", L"appSettings/add[@key='Port']", L"value", 0},
      {L"ORPHANSig", L"NoSuchSearch", L"connection", L"", 1},
  });
  ModuleLibrary module;
  auto search = module.Export<UINT(__stdcall*)(MSIHANDLE)>("YVXmlAppSearch");

  UINT result = 1;
  HRESULT after = E_FAIL;
  // A thread already in the multi-threaded apartment: the search still runs
  // (MSXML works there as well) and the thread keeps its apartment.
  std::thread([&] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    result = search(session_->handle());
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    after = CoGetApartmentType(&type, &qualifier);
    CoUninitialize();
  }).join();
  EXPECT_EQ(result, 0u);
  EXPECT_EQ(after, S_OK);
  EXPECT_EQ(Property(L"PORT"), L"8080");

  // A session handle that is no session: every installer call fails, and
  // the installer still hears success.
  std::thread([&] { result = search(0); }).join();
  EXPECT_EQ(result, 0u);
}
