#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "config/CXmlCfgPropertyBag.h"
#include "kit/BagTestKit.h"
#include "kit/TempFolder.h"
#include "runtime_file/CXmlIniWriter.h"
#include "runtime_file/CXmlMsiIniLoader.h"
#include "runtime_file/RuntimeFileResults.h"

namespace result = RuntimeFileResult;

namespace {

// One known configuration's runtime data file.
const std::vector<std::wstring> kExampleLines = {L"[CompA]",
                                                 L"ActionState=3",
                                                 L"Count=1",
                                                 L"f1=XmlFile1",
                                                 L"",  //
                                                 L"[Components]",
                                                 L"Count=1",
                                                 L"c1=CompA",
                                                 L"",  //
                                                 L"[ProgressMessages]",
                                                 L"YV_PROGMSG_XML_COSTING=Costing XML files",
                                                 L"YV_PROGMSG_XML_CREATE_FILE=Creating XML file %s",
                                                 L"YV_PROGMSG_XML_FILES=Configuring XML files...",
                                                 L"YV_PROGMSG_XML_REMOVE_FILE=Removing XML file %s",
                                                 L"YV_PROGMSG_XML_ROLLBACK_FILES=Rolling back XML files",
                                                 L"YV_PROGMSG_XML_UPDATE_FILE=Updating XML file %s",
                                                 L"",
                                                 L"[XPathAttrib_1]",
                                                 L"Action=1",
                                                 L"Name=value",
                                                 L"Value=\"on\"",
                                                 L"",  //
                                                 L"[XPath_1]",
                                                 L"Action=1",
                                                 L"Content=\"\"",
                                                 L"Count=1",
                                                 L"XPath=/configuration/item",
                                                 L"a1=XPathAttrib_1",
                                                 L"",
                                                 L"[XmlFile1]",
                                                 L"Attributes=0",
                                                 L"Count=1",
                                                 L"CreatedOnInstall=0",
                                                 L"Encoding=UTF-8",
                                                 L"FileAttributes=1",
                                                 L"FileName=settings.xml",
                                                 L"Path=C:\\App\\",
                                                 L"RootElementName=configuration",
                                                 L"SelectionNamespaces=",
                                                 L"TempFilePath=",
                                                 L"UninstPath=",
                                                 L"xp1=XPath_1"};

// The configuration those lines hold.
void FillExample(CXmlCfgPropertyBag& bag) {
  CXmlCfgXPathProp* xpath = &AddExampleItem(bag);
  xpath->AddAttribute(L"value")->value = L"on";
  xpath->attributes[0]->action = 1;
  for (const auto& line : kExampleLines) {
    size_t equals = line.find(L'=');
    if (line.rfind(L"YV_PROGMSG_", 0) == 0) bag.progressMessages[line.substr(0, equals)] = line.substr(equals + 1);
  }
}

// Reads the example's file with each `from` replaced by its `to`. A key
// repeated further down its section overrides the earlier one.
int ReadChanged(const TempFolder& folder, const std::vector<std::pair<std::wstring, std::wstring>>& changes,
                CXmlCfgPropertyBag& bag) {
  std::string bytes = Utf16Lines(kExampleLines);
  for (const auto& [from, to] : changes) bytes.replace(bytes.find(Utf16Bytes(from)), from.size() * 2, Utf16Bytes(to));
  std::wstring path = folder.File(L"data.ini");
  WriteFileBytes(path, bytes);
  CXmlMsiIniLoader loader(path.c_str());
  return bag.Load(loader);
}

}  // namespace

// The deferred actions learn every backup and created file from this file:
// whatever the costing stored must come back field for field, and storing
// what was read gives the same bytes, so nothing drifts from one deferred
// action to the next.
TEST(RuntimeFileRoundTrip, GeneratedBagsComeBackEqualAndRewriteToTheSameBytes) {
  TempFolder folder;
  const std::wstring paths[] = {folder.File(L"first.ini"), folder.File(L"second.ini")};
  RandomBagMaker maker(0x5EED2024);
  for (int round = 0; round < 120; ++round) {
    CXmlCfgPropertyBag bags[3];
    if (round == 0) maker.Fill(bags[0], 0, 0, 0, 0, true);    // no components at all
    if (round == 1) maker.Fill(bags[0], 2, 3, 400, 3, true);  // thousands of records
    if (round == 2) maker.Fill(bags[0], 1, 1, 2, 12, true);   // a10 sorts before a2 but is read after it
    if (round > 2) maker.Fill(bags[0]);
    for (int i = 0; i < 2; ++i) {
      DeleteFileW(paths[i].c_str());  // the writer merges into a file that is there
      CXmlIniWriter writer(paths[i].c_str());
      ASSERT_EQ(bags[i].Save(writer), 0);
      CXmlMsiIniLoader loader(paths[i].c_str());
      ASSERT_EQ(bags[i + 1].Load(loader), 0) << "round " << round;
    }
    ASSERT_EQ(DescribeBag(bags[1], true), DescribeBag(bags[0], true)) << "round " << round;
    ASSERT_TRUE(ReadFileBytes(paths[1]) == ReadFileBytes(paths[0])) << "round " << round;
  }
}

// Files written by one version are read by the next: the bytes of one known
// configuration are pinned, byte-order mark, order of sections and keys,
// quoting and line ends included.
TEST(RuntimeFileWriter, TheWorkedExampleIsWrittenByteForByteAndReadBack) {
  CXmlCfgPropertyBag bag;
  FillExample(bag);
  TempFolder folder;
  std::wstring path = folder.File(L"example.ini");
  CXmlIniWriter writer(path.c_str());
  EXPECT_EQ(bag.Save(writer), 0);
  EXPECT_EQ(ReadFileBytes(path), Utf16Lines(kExampleLines));
  CXmlCfgPropertyBag back;
  CXmlMsiIniLoader loader(path.c_str());
  ASSERT_EQ(back.Load(loader), 0);
  EXPECT_EQ(DescribeBag(back, true), DescribeBag(bag, true)) << "an empty content is no pair of quotes";
}

// A value with a line break cannot stand on one line: it is written escaped
// under its own key, '%' included, and read back whole; a value without one
// keeps its plain key and bytes, escapes and all.
TEST(RuntimeFileWriter, ValuesWithLineBreaksAreEscapedAndComeBackWhole) {
  CXmlCfgPropertyBag bag;
  FillExample(bag);
  CXmlCfgXPathProp& item = *bag.components.at(L"CompA")->files.at(L"XmlFile1")->xpaths.begin()->second;
  item.content = L"x\ny\r";
  item.attributes[0]->value = L"a%0D\r\nb" + std::wstring(20000, L'v');
  item.AddAttribute(L"plain")->value = L"%0A";
  TempFolder folder;
  std::wstring path = folder.File(L"breaks.ini");
  CXmlIniWriter writer(path.c_str());
  ASSERT_EQ(bag.Save(writer), 0);
  std::string bytes = ReadFileBytes(path);
  for (const wchar_t* line :
       {L"\r\nContentEscaped=\"x%0Ay%0D\"\r\n", L"\r\nValueEscaped=\"a%250D%0D%0Abvvv", L"\r\nValue=\"%0A\"\r\n"})
    EXPECT_NE(bytes.find(Utf16Bytes(line)), std::string::npos) << Plain(line);
  CXmlCfgPropertyBag back;
  CXmlMsiIniLoader loader(path.c_str());
  ASSERT_EQ(back.Load(loader), 0);
  EXPECT_EQ(DescribeBag(back, true), DescribeBag(bag, true));
}

// A missing required value of a component or file fails the load with its
// own code, keeping what was read before it; a damaged XPath or attribute
// section costs only itself. `shows` must appear in the bag's description,
// `lacks` must not.
TEST(RuntimeFileReader, EachKindOfDamageGivesItsCodeAndLeavesWhatWasRead) {
  struct Damage {
    const wchar_t* from;
    const wchar_t* to;
    int code;
    const wchar_t* shows;
    const wchar_t* lacks;
  };
  const Damage cases[] = {
      {L"[Components]\r\nCount=1", L"[Components]", result::kComponentCountMissing, nullptr, L"component"},
      {L"[Components]\r\nCount=1", L"[Components]\r\nCount=2", result::kEmptyName, L"attribute \"value\"", nullptr},
      {L"ActionState=3\r\n", L"", result::kActionStateMissing, nullptr, nullptr},
      {L"ActionState=3\r\nCount=1", L"ActionState=3", result::kCountMissing, nullptr, nullptr},
      {L"f1=XmlFile1", L"f1=XmlFile1\r\nCount=2", result::kSectionNameOrXPathEmpty, nullptr, nullptr},
      {L"[XmlFile1]", L"[Other]", result::kPathEmpty, nullptr, nullptr},
      {L"FileName=settings.xml", L"FileName=", result::kEmptyName, nullptr, nullptr},
      {L"FileAttributes=1\r\n", L"", result::kFileFlagsMissing, nullptr, nullptr},
      {L"\nAttributes=0", L"\nAttributes=-2147483648", result::kFileFlagsMissing, nullptr, nullptr},
      {L"CreatedOnInstall=0\r\n", L"", result::kCreatedOnInstallMissing,
       L"encoding=\"\" tempFilePath=\"\" createdOnInstall=0", L"xpath"},
      {L"UninstPath=\r\n", L"", 0, L"uninstPath=\"\"", nullptr},
      {L"Count=1\r\nCreatedOnInstall", L"CreatedOnInstall", result::kCountMissing, nullptr, nullptr},
      {L"xp1=XPath_1", L"xp1=XPath_9", result::kSectionNameOrXPathEmpty, nullptr, nullptr},
      // The same expression in a second section: the later one wins whole.
      {L"xp1=XPath_1", L"xp1=XPath_1\r\nxp2=XPath_2\r\nCount=2\r\n[XPath_2]\r\nXPath=/configuration/item\r\nAction=2",
       0, L"action=2", L"attribute \""},
      {L"[XPath_1]\r\nAction=1\r\nContent=\"\"", L"[XPath_1]\r\nContent=\"c\"", 0, L"action=0 content=\"\"",
       L"attribute \""},
      {L"Count=1\r\nXPath=", L"Count=0\r\nXPath=", 0, L"action=1 content=\"\"", L"attribute \""},
      // Clamped to the largest count; only the a<n> keys present are visited.
      {L"a1=XPathAttrib_1", L"a1=XPathAttrib_1\r\na2147483647=XPathAttrib_1\r\nCount=4294967297", 0,
       L"action=1\n      attribute \"value\"", nullptr},
      {L"a1=XPathAttrib_1", L"a1=NoSuchSection", 0, L"content=\"\"", L"attribute \""},
      {L"[XPathAttrib_1]\r\nAction=1\r\n", L"[XPathAttrib_1]\r\n", 0, L"attribute \"value\" value=\"on\" action=0",
       nullptr},
      {L"Value=\"on\"\r\n", L"", 0, L"attribute \"value\" value=\"\" action=1", nullptr},
      {L"[ProgressMessages]", L"[Other]", 0, L"\"YV_PROGMSG_XML_COSTING\"=\"Configuring XML files...\"", nullptr},
      {L"YV_PROGMSG_XML_UPDATE_FILE=Updating XML file %s\r\n", L"", result::kProgressMessageEmpty,
       L"progress \"YV_PROGMSG_XML_CREATE_FILE\"", L"REMOVE_FILE"},
  };
  TempFolder folder;
  for (const Damage& c : cases) {
    CXmlCfgPropertyBag bag;
    EXPECT_EQ(ReadChanged(folder, {{c.from, c.to}}, bag), c.code) << c.to;
    std::wstring description = DescribeBag(bag, true);
    EXPECT_TRUE(!c.shows || description.find(c.shows) != std::wstring::npos) << c.to << L"\n" << description;
    EXPECT_TRUE(!c.lacks || description.find(c.lacks) == std::wstring::npos) << c.to << L"\n" << description;
  }

  WriteFileBytes(folder.File(L"empty.ini"), "");  // the costing could not write it
  for (const auto& [path, code] :
       {std::pair{std::wstring(), result::kNoPath}, std::pair{folder.File(L"absent.ini"), result::kCannotRead},
        std::pair{folder.File(L"empty.ini"), result::kComponentCountMissing}}) {
    CXmlCfgPropertyBag bag;
    CXmlMsiIniLoader loader(path.c_str());
    EXPECT_EQ(bag.Load(loader), code) << path;
  }
}
