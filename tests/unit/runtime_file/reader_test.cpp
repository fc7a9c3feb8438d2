#include <gtest/gtest.h>

#include <cwchar>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "BagTestKit.h"
#include "config/CXmlCfgPropertyBag.h"
#include "kit/TempFolder.h"
#include "runtime_file/CXmlMsiIniLoader.h"
#include "runtime_file/RuntimeFileLayout.h"
#include "runtime_file/RuntimeFileResults.h"

namespace result = RuntimeFileResult;

namespace {

// A valid runtime data file held as sections of keys, so each test can break
// exactly one thing in it before it is written out and read.
class ReaderTest : public ::testing::Test {
 public:
  void SetUp() override {
    data_.clear();
    Set(L"Components", L"Count", L"1");
    Set(L"Components", L"c1", L"CompA");
    Set(L"CompA", L"ActionState", L"3");
    Set(L"CompA", L"Count", L"1");
    Set(L"CompA", L"f1", L"XmlFile1");
    for (const auto& [key, value] : std::vector<std::pair<const wchar_t*, const wchar_t*>>{
             {L"Path", L"C:\\App\\"}, {L"UninstPath", L"C:\\Old\\"}, {L"FileName", L"settings.xml"},
             {L"FileAttributes", L"1"}, {L"TempFilePath", L""}, {L"Attributes", L"4"},
             {L"RootElementName", L"configuration"}, {L"CreatedOnInstall", L"0"}, {L"SelectionNamespaces", L""},
             {L"Encoding", L"UTF-8"}, {L"Count", L"1"}, {L"xp1", L"XPath_1"}}) {
      Set(L"XmlFile1", key, value);
    }
    Set(L"XPath_1", L"XPath", L"/configuration/item");
    Set(L"XPath_1", L"Action", L"17");
    Set(L"XPath_1", L"Content", L"\"text\"");
    Set(L"XPath_1", L"Count", L"2");
    Set(L"XPath_1", L"a1", L"XPathAttrib_1");
    Set(L"XPath_1", L"a2", L"XPathAttrib_2");
    Set(L"XPathAttrib_1", L"Action", L"1");
    Set(L"XPathAttrib_1", L"Name", L"value");
    Set(L"XPathAttrib_1", L"Value", L"\"on\"");
    Set(L"XPathAttrib_2", L"Action", L"3");
    Set(L"XPathAttrib_2", L"Name", L"mode");
    Set(L"XPathAttrib_2", L"Value", L"\"fast\"");
    for (const wchar_t* id : RuntimeFileLayout::kProgressMessageIds) Set(L"ProgressMessages", id, id);
  }

  void Set(const wchar_t* section, const wchar_t* key, const std::wstring& value) { data_[section][key] = value; }
  void Erase(const wchar_t* section, const wchar_t* key) { data_[section].erase(key); }
  void EraseSection(const wchar_t* section) { data_.erase(section); }

  std::wstring Save() {
    std::wstring path = folder_.File(L"data.ini");
    std::vector<std::wstring> lines;
    for (const auto& [name, keys] : data_) {
      lines.push_back(L"[" + name + L"]");
      for (const auto& [key, value] : keys) lines.push_back(key + L"=" + value);
    }
    WriteFileBytes(path, Utf16Lines(lines));
    return path;
  }
  int Read(CXmlCfgPropertyBag& bag) {
    CXmlMsiIniLoader loader(Save().c_str());
    return bag.Load(loader);
  }
  const CXmlCfgFileProp& File(CXmlCfgPropertyBag& bag) { return *bag.components[L"CompA"]->files[L"XmlFile1"]; }
  const CXmlCfgXPathProp& XPath(CXmlCfgPropertyBag& bag) { return *File(bag).xpaths.at(L"/configuration/item"); }

  TempFolder folder_;
  std::map<std::wstring, std::map<std::wstring, std::wstring>> data_;
};

}  // namespace

TEST_F(ReaderTest, AValidFileFillsEveryField) {
  CXmlCfgPropertyBag bag;
  ASSERT_EQ(Read(bag), 0);
  EXPECT_EQ(bag.components[L"CompA"]->actionState, 3);
  const CXmlCfgFileProp& file = File(bag);
  EXPECT_EQ(file.key, L"XmlFile1");
  EXPECT_EQ(file.component, L"CompA");
  EXPECT_EQ(file.path, L"C:\\App\\");
  EXPECT_EQ(file.uninstPath, L"C:\\Old\\");
  EXPECT_EQ(file.fileName, L"settings.xml");
  EXPECT_EQ(file.fileAttributes, 1u);
  EXPECT_EQ(file.attributes, 4u);
  EXPECT_EQ(file.rootElementName, L"configuration");
  EXPECT_EQ(file.encoding, L"UTF-8");
  const CXmlCfgXPathProp& xpath = XPath(bag);
  EXPECT_EQ(xpath.action, 17u);
  EXPECT_EQ(xpath.content, L"text");
  EXPECT_EQ(xpath.sectionName, L"XPath_1");
  ASSERT_EQ(xpath.attributes.size(), 2u);
  EXPECT_EQ(xpath.attributes[0]->name, L"value");
  EXPECT_EQ(xpath.attributes[0]->value, L"on");
  EXPECT_EQ(xpath.attributes[1]->action, 3u);
  EXPECT_EQ(bag.GetProgressMessage(L"YV_PROGMSG_XML_ROLLBACK_FILES"), L"YV_PROGMSG_XML_ROLLBACK_FILES");
}

TEST_F(ReaderTest, EachMissingRequiredValueFailsWithItsOwnCode) {
  struct Case {
    const wchar_t* what;
    std::function<void(ReaderTest&)> breakIt;
    int expected;
  };
  const std::vector<Case> cases = {
      {L"Components Count missing", [](ReaderTest& t) { t.Erase(L"Components", L"Count"); },
       result::kComponentCountMissing},
      {L"no Components section", [](ReaderTest& t) { t.EraseSection(L"Components"); },
       result::kComponentCountMissing},
      {L"Components Count is -1", [](ReaderTest& t) { t.Set(L"Components", L"Count", L"-1"); },
       result::kComponentCountMissing},
      {L"c1 empty", [](ReaderTest& t) { t.Set(L"Components", L"c1", L""); }, result::kEmptyName},
      {L"Count 2 with one name", [](ReaderTest& t) { t.Set(L"Components", L"Count", L"2"); }, result::kEmptyName},
      {L"ActionState missing", [](ReaderTest& t) { t.Erase(L"CompA", L"ActionState"); },
       result::kActionStateMissing},
      {L"ActionState is its marker", [](ReaderTest& t) { t.Set(L"CompA", L"ActionState", L"-99"); },
       result::kActionStateMissing},
      {L"component section missing", [](ReaderTest& t) { t.EraseSection(L"CompA"); },
       result::kActionStateMissing},
      {L"component Count missing", [](ReaderTest& t) { t.Erase(L"CompA", L"Count"); }, result::kCountMissing},
      {L"component Count 2 with only f1", [](ReaderTest& t) { t.Set(L"CompA", L"Count", L"2"); },
       result::kSectionNameOrXPathEmpty},
      {L"Path missing", [](ReaderTest& t) { t.Erase(L"XmlFile1", L"Path"); }, result::kPathEmpty},
      {L"file section missing", [](ReaderTest& t) { t.EraseSection(L"XmlFile1"); }, result::kPathEmpty},
      {L"FileName empty", [](ReaderTest& t) { t.Set(L"XmlFile1", L"FileName", L""); }, result::kEmptyName},
      {L"FileAttributes missing", [](ReaderTest& t) { t.Erase(L"XmlFile1", L"FileAttributes"); },
       result::kFileFlagsMissing},
      {L"FileAttributes is the marker", [](ReaderTest& t) { t.Set(L"XmlFile1", L"FileAttributes", L"-2147483648"); },
       result::kFileFlagsMissing},
      {L"Attributes missing", [](ReaderTest& t) { t.Erase(L"XmlFile1", L"Attributes"); }, result::kFileFlagsMissing},
      {L"CreatedOnInstall missing", [](ReaderTest& t) { t.Erase(L"XmlFile1", L"CreatedOnInstall"); },
       result::kCreatedOnInstallMissing},
      {L"file Count missing", [](ReaderTest& t) { t.Erase(L"XmlFile1", L"Count"); }, result::kCountMissing},
      {L"xp1 names a missing section", [](ReaderTest& t) { t.Set(L"XmlFile1", L"xp1", L"XPath_9"); },
       result::kSectionNameOrXPathEmpty},
      {L"xp1 empty", [](ReaderTest& t) { t.Set(L"XmlFile1", L"xp1", L""); }, result::kSectionNameOrXPathEmpty},
      {L"XPath missing", [](ReaderTest& t) { t.Erase(L"XPath_1", L"XPath"); }, result::kSectionNameOrXPathEmpty},
      {L"XPath empty", [](ReaderTest& t) { t.Set(L"XPath_1", L"XPath", L""); }, result::kSectionNameOrXPathEmpty},
      {L"one progress text missing", [](ReaderTest& t) { t.Erase(L"ProgressMessages", L"YV_PROGMSG_XML_UPDATE_FILE"); },
       result::kProgressMessageEmpty},
      {L"one progress text empty", [](ReaderTest& t) { t.Set(L"ProgressMessages", L"YV_PROGMSG_XML_COSTING", L""); },
       result::kProgressMessageEmpty},
  };
  for (const Case& c : cases) {
    SetUp();
    c.breakIt(*this);
    CXmlCfgPropertyBag bag;
    EXPECT_EQ(Read(bag), c.expected) << c.what;
  }
}

TEST_F(ReaderTest, AFailedLoadKeepsWhatWasReadBeforeIt) {
  Erase(L"ProgressMessages", L"YV_PROGMSG_XML_UPDATE_FILE");
  CXmlCfgPropertyBag bag;
  ASSERT_EQ(Read(bag), result::kProgressMessageEmpty);
  EXPECT_EQ(XPath(bag).attributes.size(), 2u) << "every component was read before the texts";
  EXPECT_EQ(bag.GetProgressMessage(L"YV_PROGMSG_XML_CREATE_FILE"), L"YV_PROGMSG_XML_CREATE_FILE");
  EXPECT_EQ(bag.progressMessages.count(L"YV_PROGMSG_XML_REMOVE_FILE"), 0u) << "reading stopped at the gap";

  SetUp();
  Erase(L"XmlFile1", L"CreatedOnInstall");
  CXmlCfgPropertyBag partial;
  ASSERT_EQ(Read(partial), result::kCreatedOnInstallMissing);
  EXPECT_EQ(File(partial).rootElementName, L"configuration") << "fields before the gap are kept";
  EXPECT_EQ(File(partial).encoding, L"") << "fields after it are not read";
  EXPECT_TRUE(File(partial).xpaths.empty());
}

TEST_F(ReaderTest, CountsBelowOneAndAMissingProgressSectionAreNoErrors) {
  EraseSection(L"ProgressMessages");
  Set(L"Components", L"Count", L"0");
  CXmlCfgPropertyBag bag;
  ASSERT_EQ(Read(bag), 0);
  EXPECT_TRUE(bag.components.empty());
  ASSERT_EQ(bag.progressMessages.size(), 6u);
  for (const auto& [id, text] : bag.progressMessages) EXPECT_EQ(text, L"Configuring XML files...") << id.c_str();

  SetUp();
  Set(L"XmlFile1", L"Count", L"-7");
  CXmlCfgPropertyBag noXPaths;
  ASSERT_EQ(Read(noXPaths), 0);
  EXPECT_TRUE(File(noXPaths).xpaths.empty());
}

TEST_F(ReaderTest, ADamagedXPathOrAttributeSectionCostsOnlyItself) {
  Erase(L"XPath_1", L"Action");
  CXmlCfgPropertyBag noAction;
  ASSERT_EQ(Read(noAction), 0);
  EXPECT_EQ(XPath(noAction).action, 0u);
  EXPECT_EQ(XPath(noAction).content, L"") << "reading stopped at the missing action";
  EXPECT_TRUE(XPath(noAction).attributes.empty());
  EXPECT_EQ(XPath(noAction).sectionName, L"XPath_1");

  SetUp();
  Erase(L"XPath_1", L"Count");
  CXmlCfgPropertyBag noCount;
  ASSERT_EQ(Read(noCount), 0);
  EXPECT_EQ(XPath(noCount).content, L"text");
  EXPECT_TRUE(XPath(noCount).attributes.empty());

  SetUp();
  Erase(L"XPathAttrib_1", L"Action");
  Erase(L"XPathAttrib_2", L"Name");
  CXmlCfgPropertyBag attributes;
  ASSERT_EQ(Read(attributes), 0);
  ASSERT_EQ(XPath(attributes).attributes.size(), 1u) << "a nameless attribute is skipped";
  EXPECT_EQ(XPath(attributes).attributes[0]->name, L"value");
  EXPECT_EQ(XPath(attributes).attributes[0]->value, L"on");
  EXPECT_EQ(XPath(attributes).attributes[0]->action, 0u);

  SetUp();
  Set(L"XPath_1", L"Count", L"4");
  Set(L"XPath_1", L"a1", L"");
  Set(L"XPath_1", L"a3", L"NoSuchSection");
  Set(L"XPath_1", L"a4", L"XPathAttrib_1");
  CXmlCfgPropertyBag skipped;
  ASSERT_EQ(Read(skipped), 0);
  ASSERT_EQ(XPath(skipped).attributes.size(), 2u) << "empty and dangling entries are skipped";
  EXPECT_EQ(XPath(skipped).attributes[0]->name, L"mode");
  EXPECT_EQ(XPath(skipped).attributes[1]->name, L"value") << "a section may be named twice";
}

TEST_F(ReaderTest, TheSameExpressionInTwoSectionsLeavesTheLaterOne) {
  Set(L"XmlFile1", L"Count", L"2");
  Set(L"XmlFile1", L"xp2", L"XPath_2");
  Set(L"XPath_2", L"XPath", L"/configuration/item");
  Set(L"XPath_2", L"Action", L"2");
  Set(L"XPath_2", L"Content", L"\"second\"");
  Set(L"XPath_2", L"Count", L"0");
  CXmlCfgPropertyBag bag;
  ASSERT_EQ(Read(bag), 0);
  ASSERT_EQ(File(bag).xpaths.size(), 1u);
  EXPECT_EQ(XPath(bag).content, L"second");
  EXPECT_EQ(XPath(bag).sectionName, L"XPath_2");
  EXPECT_TRUE(XPath(bag).attributes.empty()) << "nothing of the first section survives";
}

TEST_F(ReaderTest, QuotesAreDroppedInPairsAndValuesAreCutToTheirBuffers) {
  const std::pair<std::wstring, std::wstring> contents[] = {
      {L"\"", L"\""}, {L"\"\"", L""}, {L"\"a", L"\"a"}, {L"a\"", L"a\""}, {L"plain", L"plain"},
      {L"\"\"\"\"", L"\"\""}, {L"\" \"", L" "},
  };
  for (const auto& [stored, expected] : contents) {
    SetUp();
    Set(L"XPath_1", L"Content", stored);
    Set(L"XPathAttrib_1", L"Value", stored);
    CXmlCfgPropertyBag bag;
    ASSERT_EQ(Read(bag), 0);
    EXPECT_EQ(Plain(XPath(bag).content), expected) << stored;
    EXPECT_EQ(Plain(XPath(bag).attributes[0]->value), expected) << stored;
  }

  SetUp();
  Set(L"XmlFile1", L"Path", std::wstring(300, L'p'));
  Set(L"XmlFile1", L"TempFilePath", std::wstring(12000, L't'));
  Set(L"XPath_1", L"XPath", std::wstring(20000, L'x'));
  Set(L"XPath_1", L"Content", L"\"" + std::wstring(12000, L'c') + L"\"");
  Set(L"XPathAttrib_1", L"Name", std::wstring(300, L'n'));
  Set(L"ProgressMessages", L"YV_PROGMSG_XML_FILES", std::wstring(600, L'm'));
  CXmlCfgPropertyBag bag;
  ASSERT_EQ(Read(bag), 0);
  const CXmlCfgFileProp& file = File(bag);
  EXPECT_EQ(Plain(file.path), std::wstring(259, L'p'));
  EXPECT_EQ(file.tempFilePath.size(), 10239u);
  ASSERT_EQ(file.xpaths.size(), 1u);
  const CXmlCfgXPathProp& xpath = *file.xpaths.begin()->second;
  EXPECT_EQ(xpath.xpath.size(), 20000u) << "the expression is taken whole";
  EXPECT_EQ(Plain(xpath.content), L"\"" + std::wstring(10238, L'c')) << "cut before the closing quote, so one stays";
  EXPECT_EQ(xpath.attributes[0]->name.size(), 259u);
  EXPECT_EQ(bag.GetProgressMessage(L"YV_PROGMSG_XML_FILES").size(), 511u);
}

TEST_F(ReaderTest, APathIsRequiredBeforeTheDiskIsTouched) {
  CXmlCfgPropertyBag bag;
  CXmlMsiIniLoader noPath(L"");
  EXPECT_EQ(bag.Load(noPath), result::kNoPath);
  CXmlMsiIniLoader missing(folder_.File(L"absent.ini").c_str());
  EXPECT_EQ(bag.Load(missing), result::kCannotRead);
  CXmlMsiIniLoader folder(folder_.path().c_str());
  EXPECT_EQ(bag.Load(folder), result::kCannotRead) << "a folder is no file";
  EXPECT_TRUE(bag.components.empty());
  EXPECT_TRUE(bag.progressMessages.empty());
}

namespace {

// Resolves every value to a long text so that the two-call protocol shows,
// and records what it was asked.
class ExpandingLoader : public CXmlIniLoader {
 public:
  explicit ExpandingLoader(const std::wstring& path) { SetPath(path.c_str()); }
  DWORD ResolveValue(int kind, const wchar_t* text, wchar_t* buffer, DWORD bufferSize) override {
    calls.push_back({kind, text, bufferSize});
    std::wstring result = std::wstring(text) + L"|" + std::wstring(300, L'+');
    if (kind == kKindPath && std::wstring(text) == L"EMPTY") result.clear();
    if (result.size() + 1 <= bufferSize) std::wmemcpy(buffer, result.c_str(), result.size() + 1);
    return static_cast<DWORD>(result.size() + 1);
  }
  struct Call {
    int kind;
    std::wstring text;
    DWORD size;
  };
  std::vector<Call> calls;
};

}  // namespace

TEST_F(ReaderTest, FieldValuesAreResolvedByKindWith260CharactersFirstThenTheSizeAsked) {
  std::wstring path = Save();
  ExpandingLoader loader(path);
  CXmlCfgPropertyBag bag;
  ASSERT_EQ(bag.Load(loader), 0);

  std::vector<std::pair<int, std::wstring>> firstCalls;
  for (size_t i = 0; i < loader.calls.size(); i += 2) {
    ASSERT_LT(i + 1, loader.calls.size());
    EXPECT_EQ(loader.calls[i].size, 260u);
    EXPECT_EQ(loader.calls[i + 1].text, loader.calls[i].text);
    EXPECT_EQ(loader.calls[i + 1].size, loader.calls[i].text.size() + 302) << "the size asked for";
    firstCalls.emplace_back(loader.calls[i].kind, loader.calls[i].text);
  }
  // Names, keys, list entries and progress texts are used as read.
  std::vector<std::pair<int, std::wstring>> expected = {
      {2, L"C:\\App\\"}, {1, L"C:\\Old\\"}, {1, L"settings.xml"}, {1, L""}, {1, L"configuration"}, {1, L""},
      {1, L"UTF-8"},     {8, L"/configuration/item"}, {1, L"text"}, {1, L"value"}, {1, L"on"},
      {1, L"mode"},      {1, L"fast"},
  };
  EXPECT_EQ(firstCalls, expected);
  const CXmlCfgFileProp& file = File(bag);
  EXPECT_EQ(Plain(file.path), L"C:\\App\\|" + std::wstring(300, L'+'));
  ASSERT_EQ(file.xpaths.size(), 1u);
  EXPECT_EQ(Plain(file.xpaths.begin()->first), L"/configuration/item|" + std::wstring(300, L'+'));
  EXPECT_EQ(bag.components.count(L"CompA"), 1u);

  Set(L"XmlFile1", L"Path", L"EMPTY");
  ExpandingLoader emptying(Save());
  CXmlCfgPropertyBag kept;
  ASSERT_EQ(kept.Load(emptying), 0);
  EXPECT_EQ(File(kept).path, L"") << "an empty resolution leaves the constructed value";

  wchar_t buffer[4] = {L'#', L'#', L'#', L'#'};
  CXmlMsiIniLoader plain(path.c_str());
  EXPECT_EQ(plain.ResolveValue(2, L"[ProgramFilesFolder]", buffer, 4), 21u) << "length plus one, nothing resolved";
  EXPECT_STREQ(buffer, L"[Pr");
  buffer[0] = L'#';
  EXPECT_EQ(plain.ResolveValue(1, L"abc", buffer, 0), 4u);
  EXPECT_EQ(buffer[0], L'#') << "a size of 0 writes nothing";
}
