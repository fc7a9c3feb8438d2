#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "config/CXmlCfgPropertyBag.h"
#include "engine/CXMLUnitTesterInstallEngine.h"
#include "kit/ModuleLibrary.h"
#include "kit/TempFolder.h"
#include "kit/TestPackage.h"
#include "unit/database/XmlTables.h"
#include "yvxmlcfg/IXmlTestHarness.h"

namespace {

using namespace xml_tables;

// A test harness as the authoring tool builds one: a database, a folder for
// the folder properties, a tiny "[NAME]" formatter, and every line kept.
class TestHarness : public IXmlTestHarness {
 public:
  explicit TestHarness(MSIHANDLE database) : database_(database) {}

  void LogLine(const wchar_t* text) override { lines.push_back(text); }
  DWORD ResolveValue(int kind, const wchar_t* source, wchar_t* buffer, DWORD bufferSize) override {
    resolved.emplace_back(kind, source);
    std::wstring value = source;
    if (kind == CXmlLoader::kKindPath) {
      value = properties[value];
    } else {
      for (const auto& [name, text] : properties) {
        std::wstring reference = L"[" + name + L"]";
        for (size_t at = value.find(reference); at != std::wstring::npos; at = value.find(reference, at))
          value.replace(at, reference.size(), text);
      }
    }
    if (bufferSize > 0) {
      size_t copied = std::min<size_t>(value.size(), bufferSize - 1);
      value.copy(buffer, copied);
      buffer[copied] = L'\0';
    }
    return static_cast<DWORD>(value.size()) + 1;
  }
  MSIHANDLE GetDatabase() override { return database_; }
  DWORD GetFileKeyFilter(wchar_t* buffer) override {
    wcscpy(buffer, fileKeyFilter.c_str());
    return 1;
  }
  bool IsInstall() override { return install; }
  bool UseProgressPlaceholder(const wchar_t* propertyName, wchar_t*, DWORD) override {
    placeholderAsked.push_back(propertyName);
    return placeholder;
  }

  bool Logged(const std::wstring& line) const { return std::find(lines.begin(), lines.end(), line) != lines.end(); }
  std::vector<std::wstring> LinesWith(const std::wstring& part) const {
    std::vector<std::wstring> found;
    for (const auto& line : lines)
      if (line.find(part) != std::wstring::npos) found.push_back(line);
    return found;
  }
  std::wstring AllLines() const {
    std::wstring all;
    for (const auto& line : lines) all += line + L"\n";
    return all;
  }

  std::map<std::wstring, std::wstring> properties;
  std::wstring fileKeyFilter;
  bool install = true;
  bool placeholder = false;
  std::vector<std::wstring> lines;
  std::vector<std::pair<int, std::wstring>> resolved;
  std::vector<std::wstring> placeholderAsked;

 private:
  MSIHANDLE database_;
};

const char kAppConfig[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
    "<configuration>\r\n"
    "  <appSettings>\r\n"
    "    <add key=\"keep\" value=\"1\"/>\r\n"
    "  </appSettings>\r\n"
    "</configuration>\r\n";

// The name of the damaged file carries format directives: the prompt line
// must show them as they are.
const wchar_t kBrokenName[] = L"broken%s%d.xml";

class TestEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFileBytes(folder_.File(L"app.config"), kAppConfig);
    WriteFileBytes(folder_.File(kBrokenName), "<data><unclosed></data>");
  }

  // Two components: CompApp sets <add key="mode" value="[MODE]"> in
  // app.config (and removes it on uninstall); CompBroken changes a file
  // that cannot be parsed. A broken attribute table lacks the column that
  // ties an attribute to its element, so the installer refuses its query.
  void BuildPackage(bool progressMessages = true, bool brokenAttributeTable = false) {
    TestPackage package(folder_.File(L"tested.msi"));
    if (progressMessages) AddProgressMessages(package);
    MSIHANDLE db = package.database();
    CreateFileTable(db);
    CreateElementTable(db);
    if (brokenAttributeTable) {
      RunSql(db, L"CREATE TABLE `YVXmlElementAttrib` (`YVXmlElementAttrib` CHAR(72) NOT NULL, `Element` CHAR(72), "
                 L"`Name` LONGCHAR, `Value` LONGCHAR, `Flags` LONG PRIMARY KEY `YVXmlElementAttrib`)");
    } else {
      CreateAttributeTable(db);
    }
    AddFile(db, L"AppConfig", L"app.config", L"CompApp", L"INSTALLDIR", 0);
    AddElement(db, L"Root", L"AppConfig", L"", L"configuration", L"", 0);
    AddElement(db, L"Settings", L"AppConfig", L"Root", L"appSettings", L"", 0);
    AddElement(db, L"Mode", L"AppConfig", L"Settings", L"add[@key='mode']", L"", 0x1 | 0x8);
    if (!brokenAttributeTable) {
      AddAttribute(db, L"ModeKey", L"Mode", L"key", L"mode", 5);
      AddAttribute(db, L"ModeValue", L"Mode", L"value", L"[MODE]", 5);
    }
    AddFile(db, L"Broken", kBrokenName, L"CompBroken", L"INSTALLDIR", 0);
    AddElement(db, L"BrokenRoot", L"Broken", L"", L"data", L"", 0);
    AddElement(db, L"BrokenItem", L"Broken", L"BrokenRoot", L"item", L"", 1);
    package.Commit();
    ASSERT_EQ(MsiOpenDatabaseW(folder_.File(L"tested.msi").c_str(), MSIDBOPEN_READONLY, database_.put()), 0u);
    harness_ = std::make_unique<TestHarness>(database_);
    harness_->properties = {{L"INSTALLDIR", folder_.path()}, {L"MODE", L"fast"}};
  }

  std::string AppConfig() const { return ReadFileBytes(folder_.File(L"app.config")); }

  TempFolder folder_;
  yv::MsiHandle database_;
  std::unique_ptr<TestHarness> harness_;
  ModuleLibrary module_;
  RunXMLFileTestFunction runTest_ = module_.Export<RunXMLFileTestFunction>("RunXMLFileTest");
};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST_F(TestEngineTest, InstallAppliesTheTablesAndUninstallRevertsThemWithTheHarnessResolvingEveryValueButXPaths) {
  BuildPackage();
  harness_->fileKeyFilter = L"AppConfig";

  runTest_(harness_.get());
  std::string installed = AppConfig();
  EXPECT_TRUE(Contains(installed, "<add key=\"mode\" value=\"fast\"")) << installed;
  EXPECT_TRUE(Contains(installed, "<add key=\"keep\" value=\"1\"")) << installed;
  EXPECT_TRUE(harness_->Logged(L"XML test returned: 0")) << harness_->AllLines();
  EXPECT_TRUE(harness_->Logged(L"Loading data for XML file AppConfig")) << "the engine's numbered lines reach the "
                                                                           "harness";
  EXPECT_TRUE(harness_->LinesWith(L"Broken").empty()) << "the file key filter keeps the other file out";

  // The harness turned the folder property, the file name and the texts
  // into their values; whole XPaths never reached it.
  const auto& resolved = harness_->resolved;
  auto saw = [&](int kind, const std::wstring& text) {
    return std::find(resolved.begin(), resolved.end(), std::make_pair(kind, text)) != resolved.end();
  };
  EXPECT_TRUE(saw(CXmlLoader::kKindPath, L"INSTALLDIR"));
  EXPECT_TRUE(saw(CXmlLoader::kKindFormattedText, L"app.config"));
  EXPECT_TRUE(saw(CXmlLoader::kKindText, L"[MODE]"));
  EXPECT_TRUE(saw(CXmlLoader::kKindText, L"add[@key='mode']")) << "element steps go through string resolution";
  for (const auto& [kind, text] : resolved) {
    EXPECT_NE(kind, CXmlLoader::kKindXPath) << "kind 8 is copied by the module";
    EXPECT_EQ(text.find(L"//"), std::wstring::npos) << "no whole XPath goes to the harness: " << text;
  }

  harness_->lines.clear();
  harness_->install = false;
  runTest_(harness_.get());
  std::string uninstalled = AppConfig();
  EXPECT_FALSE(Contains(uninstalled, "mode")) << uninstalled;
  EXPECT_TRUE(Contains(uninstalled, "<add key=\"keep\" value=\"1\"")) << uninstalled;
  EXPECT_TRUE(harness_->Logged(L"XML test returned: 0")) << harness_->AllLines();
}

TEST_F(TestEngineTest, ADocumentThatCannotBeLoadedIsAnAbortThatOnlyShowsInTheLog) {
  BuildPackage();

  runTest_(harness_.get());
  // Components in key order: CompApp is done before CompBroken stops the
  // walk.
  EXPECT_TRUE(Contains(AppConfig(), "<add key=\"mode\" value=\"fast\"")) << AppConfig();
  std::wstring brokenPath = folder_.File(kBrokenName);
  std::vector<std::wstring> prompts = harness_->LinesWith(L"27520");
  ASSERT_EQ(prompts.size(), 1u) << harness_->AllLines();
  EXPECT_NE(prompts[0].find(brokenPath), std::wstring::npos)
      << "the prompt's text is a path holding '%s%d', logged as it is: " << prompts[0];
  EXPECT_TRUE(harness_->Logged(L"XML test returned: -2004")) << harness_->AllLines();
  EXPECT_EQ(ReadFileBytes(brokenPath), "<data><unclosed></data>");

  // Uninstalling runs into the same file.
  harness_->lines.clear();
  harness_->install = false;
  runTest_(harness_.get());
  EXPECT_EQ(harness_->LinesWith(L"27520").size(), 1u) << harness_->AllLines();
  EXPECT_TRUE(harness_->Logged(L"XML test returned: -2004")) << harness_->AllLines();
}

TEST_F(TestEngineTest, ProgressTextsComeFromTheHarnessOrTheDatabaseAndAFailedLoadStillRunsTheWalk) {
  BuildPackage(/*progressMessages=*/false);
  harness_->fileKeyFilter = L"AppConfig";
  harness_->placeholder = true;
  {
    CXMLUnitTesterInstallEngine engine(*harness_);
    EXPECT_EQ(engine.Run(), 0);
    const std::vector<std::wstring> names = {
        L"YV_PROGMSG_XML_COSTING",     L"YV_PROGMSG_XML_FILES",        L"YV_PROGMSG_XML_CREATE_FILE",
        L"YV_PROGMSG_XML_UPDATE_FILE", L"YV_PROGMSG_XML_REMOVE_FILE", L"YV_PROGMSG_XML_ROLLBACK_FILES"};
    EXPECT_EQ(harness_->placeholderAsked, names);
    ASSERT_EQ(engine.bag().progressMessages.size(), 6u);
    for (const auto& [name, text] : engine.bag().progressMessages)
      EXPECT_EQ(text, L"Progress messages are not unsed in Pro projects, this is just a placeholder message");
  }
  EXPECT_TRUE(harness_->Logged(L"XML test returned: 0"));

  // Without the placeholder the missing properties stop the load after the
  // files; the walk runs on what was loaded and the file still changes.
  WriteFileBytes(folder_.File(L"app.config"), kAppConfig);
  harness_->placeholder = false;
  harness_->lines.clear();
  {
    CXMLUnitTesterInstallEngine engine(*harness_);
    EXPECT_EQ(engine.Run(), 0);
    EXPECT_TRUE(engine.bag().progressMessages.empty());
  }
  EXPECT_TRUE(harness_->Logged(L"Error getting property YV_PROGMSG_XML_COSTING from Property table. Error:  259"))
      << harness_->AllLines();
  EXPECT_TRUE(Contains(AppConfig(), "<add key=\"mode\" value=\"fast\"")) << AppConfig();
  EXPECT_TRUE(harness_->Logged(L"XML test returned: 0"));
}

TEST_F(TestEngineTest, AFailedInstallerCallEndsThePassWithOneLineAndNeverReachesTheHarnessAsAnException) {
  BuildPackage(/*progressMessages=*/true, /*brokenAttributeTable=*/true);
  harness_->fileKeyFilter = L"AppConfig";
  runTest_(harness_.get());
  EXPECT_TRUE(harness_->Logged(L"An unhandled exception occurred in RunXMLFileTest function")) << harness_->AllLines();
  EXPECT_TRUE(harness_->LinesWith(L"XML test returned").empty());
  EXPECT_EQ(AppConfig(), kAppConfig) << "nothing is applied from a configuration whose load failed this way";
}
