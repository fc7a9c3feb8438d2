#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "BagTestKit.h"
#include "config/CXmlCfgPropertyBag.h"
#include "kit/TempFolder.h"
#include "runtime_file/CIniFile.h"
#include "runtime_file/CXmlIniWriter.h"
#include "runtime_file/CXmlMsiIniLoader.h"
#include "runtime_file/RuntimeFileResults.h"
#include "runtime_file/ScopedFileHandle.h"

namespace {

void AddProgressMessages(CXmlCfgPropertyBag& bag) {
  bag.progressMessages[L"YV_PROGMSG_XML_COSTING"] = L"Costing XML files";
  bag.progressMessages[L"YV_PROGMSG_XML_FILES"] = L"Configuring XML files...";
  bag.progressMessages[L"YV_PROGMSG_XML_CREATE_FILE"] = L"Creating XML file %s";
  bag.progressMessages[L"YV_PROGMSG_XML_UPDATE_FILE"] = L"Updating XML file %s";
  bag.progressMessages[L"YV_PROGMSG_XML_REMOVE_FILE"] = L"Removing XML file %s";
  bag.progressMessages[L"YV_PROGMSG_XML_ROLLBACK_FILES"] = L"Rolling back XML files";
}

// Lines of `section` in a saved file, in file order, without its header.
std::vector<std::wstring> SectionLines(const std::string& bytes, const std::wstring& section) {
  std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
  std::vector<std::wstring> lines;
  size_t at = text.find(L"[" + section + L"]\r\n");
  if (at == std::wstring::npos) return lines;
  at = text.find(L"\r\n", at) + 2;
  while (at < text.size()) {
    size_t end = text.find(L"\r\n", at);
    std::wstring line = text.substr(at, end - at);
    if (line.empty()) break;
    lines.push_back(line);
    at = end + 2;
  }
  return lines;
}

// Section headers of a saved file, in file order.
std::vector<std::wstring> Headers(const std::string& bytes) {
  std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
  std::vector<std::wstring> headers;
  for (size_t at = text.find(L"\n["); at != std::wstring::npos; at = text.find(L"\n[", at + 1)) {
    headers.push_back(text.substr(at + 2, text.find(L']', at) - at - 2));
  }
  if (text.size() > 1 && text[1] == L'[') headers.insert(headers.begin(), text.substr(2, text.find(L']') - 2));
  return headers;
}

class WriterTest : public ::testing::Test {
 protected:
  std::wstring Path(const wchar_t* name) const { return folder_.File(name); }
  TempFolder folder_;
};

}  // namespace

TEST_F(WriterTest, TheWorkedExampleIsWrittenByteForByte) {
  CXmlCfgPropertyBag bag;
  CXmlCfgComponentProp* component = bag.GetOrAddComponent(L"CompA");
  component->actionState = 3;
  CXmlCfgFileProp* file = component->AddFile(L"XmlFile1");
  file->path = L"C:\\App\\";
  file->fileName = L"settings.xml";
  file->fileAttributes = 1;
  file->attributes = 0;
  file->rootElementName = L"configuration";
  file->createdOnInstall = 0;
  file->encoding = L"UTF-8";
  CXmlCfgXPathProp* xpath = file->AddXPath(L"/configuration/item");
  xpath->action = 1;
  CXmlCfgXPathAttribProp* attribute = xpath->AddAttribute(L"value");
  attribute->value = L"on";
  attribute->action = 1;
  AddProgressMessages(bag);

  std::wstring path = Path(L"example.ini");
  CXmlIniWriter writer(path.c_str());
  EXPECT_EQ(bag.Save(writer), 0);

  std::string expected = Utf16Lines({
      L"[CompA]",
      L"ActionState=3",
      L"Count=1",
      L"f1=XmlFile1",
      L"",
      L"[Components]",
      L"Count=1",
      L"c1=CompA",
      L"",
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
      L"",
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
      L"xp1=XPath_1",
  });
  std::string written = ReadFileBytes(path);
  EXPECT_EQ(written, expected);
  EXPECT_EQ(written.substr(written.size() - 4), std::string("\r\0\n\0", 4)) << "no trailing blank line";
  EXPECT_NE(written.substr(written.size() - 8), std::string("\r\0\n\0\r\0\n\0", 8));

  CXmlCfgPropertyBag back;
  CXmlMsiIniLoader loader(path.c_str());
  ASSERT_EQ(back.Load(loader), 0);
  EXPECT_EQ(DescribeBag(back), DescribeBag(bag));
}

TEST_F(WriterTest, RunningNumbersFollowTheVisitOrderAcrossFilesAndComponents) {
  CXmlCfgPropertyBag bag;
  CXmlCfgComponentProp* first = bag.GetOrAddComponent(L"A");
  for (const wchar_t* key : {L"F1", L"F2"}) {
    CXmlCfgFileProp* file = first->AddFile(key);
    file->path = L"C:\\";
    file->fileName = key;
    for (const wchar_t* step : {L"/r/x", L"/r/y", L"/r/z"}) file->AddXPath(step)->AddAttribute(L"n");
  }
  CXmlCfgFileProp* bare = first->files[L"F2"].get();
  bare->xpaths[L"/r/y"]->attributes.clear();  // no attributes: no a<n>, no number used
  CXmlCfgFileProp* last = bag.GetOrAddComponent(L"B")->AddFile(L"G");
  last->path = L"C:\\";
  last->fileName = L"g.xml";
  last->AddXPath(L"/g")->AddAttribute(L"m");
  AddProgressMessages(bag);

  std::wstring path = Path(L"numbers.ini");
  CXmlIniWriter writer(path.c_str());
  ASSERT_EQ(writer.Write(bag), 0);
  std::string bytes = ReadFileBytes(path);
  EXPECT_EQ(SectionLines(bytes, L"F1"), (std::vector<std::wstring>{
                                            L"Attributes=0", L"Count=3", L"CreatedOnInstall=0", L"Encoding=",
                                            L"FileAttributes=0", L"FileName=F1", L"Path=C:\\",
                                            L"RootElementName=", L"SelectionNamespaces=", L"TempFilePath=",
                                            L"UninstPath=", L"xp1=XPath_1", L"xp2=XPath_2", L"xp3=XPath_3"}));
  EXPECT_EQ(SectionLines(bytes, L"F2").back(), L"xp3=XPath_6");
  EXPECT_EQ(SectionLines(bytes, L"G").back(), L"xp1=XPath_7");
  EXPECT_EQ(SectionLines(bytes, L"XPath_5"),
            (std::vector<std::wstring>{L"Action=0", L"Content=\"\"", L"Count=0", L"XPath=/r/y"}));
  EXPECT_EQ(SectionLines(bytes, L"XPath_6").back(), L"a1=XPathAttrib_5") << "XPath_5 used no attribute number";
  EXPECT_EQ(SectionLines(bytes, L"XPath_7").back(), L"a1=XPathAttrib_6");

  // The same writer goes on counting in a second write.
  ASSERT_EQ(writer.Write(bag), 0);
  bytes = ReadFileBytes(path);
  EXPECT_EQ(SectionLines(bytes, L"F1").back(), L"xp3=XPath_10");
  EXPECT_EQ(SectionLines(bytes, L"G").back(), L"xp1=XPath_14");
}

TEST_F(WriterTest, ElevenEntriesSortAsTextButAreReadInListOrder) {
  CXmlCfgPropertyBag bag;
  CXmlCfgFileProp* file = bag.GetOrAddComponent(L"C")->AddFile(L"F");
  file->path = L"C:\\";
  file->fileName = L"f.xml";
  for (int i = 1; i <= 11; ++i) {
    wchar_t step[16];
    swprintf(step, 16, L"/e/%02d", i);
    file->AddXPath(step)->content = step;
  }
  AddProgressMessages(bag);
  std::wstring path = Path(L"eleven.ini");
  CXmlIniWriter writer(path.c_str());
  writer.Write(bag);

  std::vector<std::wstring> headers = Headers(ReadFileBytes(path));
  std::vector<std::wstring> xpathHeaders;
  for (const auto& header : headers) {
    if (header.rfind(L"XPath_", 0) == 0) xpathHeaders.push_back(header);
  }
  EXPECT_EQ(xpathHeaders, (std::vector<std::wstring>{L"XPath_1", L"XPath_10", L"XPath_11", L"XPath_2", L"XPath_3",
                                                     L"XPath_4", L"XPath_5", L"XPath_6", L"XPath_7", L"XPath_8",
                                                     L"XPath_9"}));
  std::vector<std::wstring> fileLines = SectionLines(ReadFileBytes(path), L"F");
  ASSERT_EQ(fileLines.size(), 22u);
  EXPECT_EQ(std::vector<std::wstring>(fileLines.begin() + 11, fileLines.begin() + 15),
            (std::vector<std::wstring>{L"xp1=XPath_1", L"xp10=XPath_10", L"xp11=XPath_11", L"xp2=XPath_2"}));

  CXmlCfgPropertyBag back;
  CXmlMsiIniLoader loader(path.c_str());
  ASSERT_EQ(back.Load(loader), 0);
  const CXmlCfgFileProp& read = *back.components[L"C"]->files[L"F"];
  ASSERT_EQ(read.xpaths.size(), 11u);
  int i = 0;
  for (const auto& [expression, xpath] : read.xpaths) {
    EXPECT_EQ(Plain(xpath->sectionName), L"XPath_" + std::to_wstring(++i)) << expression.c_str();
    EXPECT_EQ(xpath->content, expression);
  }
}

TEST_F(WriterTest, OnlyContentAndValueAreQuotedAndXmlnsIsNotStored) {
  CXmlCfgPropertyBag bag;
  CXmlCfgFileProp* file = bag.GetOrAddComponent(L"C")->AddFile(L"F");
  file->path = L"C:\\";
  file->fileName = L"f.xml";
  file->rootElementName = L"\"quoted\" root  ";
  file->fileAttributes = 0xFFFFFFFF;
  CXmlCfgXPathProp* xpath = file->AddXPath(L"/a[@b=\"c\"]");
  xpath->content = L"  say \"hi\"  ";
  xpath->action = 0x80000010;
  xpath->AddAttribute(L"xmlns")->value = L"urn:not-stored";
  xpath->AddAttribute(L"empty");
  xpath->AddAttribute(L"q")->value = L"\"";
  std::wstring path = Path(L"quotes.ini");
  CXmlIniWriter writer(path.c_str());
  writer.Write(bag);

  std::string bytes = ReadFileBytes(path);
  EXPECT_EQ(SectionLines(bytes, L"XPath_1"),
            (std::vector<std::wstring>{L"Action=-2147483632", L"Content=\"  say \"hi\"  \"", L"Count=2",
                                       L"XPath=/a[@b=\"c\"]", L"a1=XPathAttrib_1", L"a2=XPathAttrib_2"}));
  EXPECT_EQ(SectionLines(bytes, L"XPathAttrib_1").back(), L"Value=\"\"");
  EXPECT_EQ(SectionLines(bytes, L"XPathAttrib_2").back(), L"Value=\"\"\"");
  std::vector<std::wstring> fileLines = SectionLines(bytes, L"F");
  EXPECT_EQ(fileLines[4], L"FileAttributes=-1");
  EXPECT_EQ(fileLines[7], L"RootElementName=\"quoted\" root  ");
  EXPECT_EQ(bytes.find(Utf16Bytes(L"urn:not-stored")), std::string::npos);

  CXmlCfgPropertyBag back;
  CXmlMsiIniLoader loader(path.c_str());
  ASSERT_EQ(back.Load(loader), 0);
  const CXmlCfgFileProp& read = *back.components[L"C"]->files[L"F"];
  EXPECT_EQ(read.fileAttributes, 0xFFFFFFFFu) << "the unknown-attributes marker survives as -1";
  EXPECT_EQ(read.rootElementName, L"\"quoted\" root") << "unquoted texts lose their trailing blanks";
  const CXmlCfgXPathProp& readXPath = *read.xpaths.begin()->second;
  EXPECT_EQ(readXPath.content, L"  say \"hi\"  ") << "quoted texts keep theirs";
  EXPECT_EQ(readXPath.action, 0x80000010u);
  EXPECT_FALSE(readXPath.namespaceDeclaration);
  ASSERT_EQ(readXPath.attributes.size(), 2u);
  EXPECT_EQ(readXPath.attributes[1]->value, L"\"") << "a lone quote inside the pair stays";
}

TEST_F(WriterTest, WritingMergesIntoTheFileThatIsThere) {
  std::wstring path = Path(L"merge.ini");
  WriteFileBytes(path, "[Zeta]\r\nkeep=me\r\n[Components]\r\nCount=3\r\nc1=Old1\r\nc2=Old2\r\nc3=Old3\r\n"
                       "[Old1]\r\nActionState=2\r\n");  // 8-bit text, as another tool might leave it
  CXmlCfgPropertyBag bag;
  CXmlCfgFileProp* file = bag.GetOrAddComponent(L"New")->AddFile(L"F");
  file->path = L"C:\\";
  file->fileName = L"f.xml";
  AddProgressMessages(bag);
  CXmlIniWriter writer(path.c_str());
  ASSERT_EQ(writer.Write(bag), 0);

  std::string bytes = ReadFileBytes(path);
  EXPECT_EQ(Headers(bytes),
            (std::vector<std::wstring>{L"Components", L"F", L"New", L"Old1", L"ProgressMessages", L"Zeta"}));
  EXPECT_EQ(SectionLines(bytes, L"Components"),
            (std::vector<std::wstring>{L"Count=1", L"c1=New", L"c2=Old2", L"c3=Old3"}))
      << "stale entries past the new count stay";
  EXPECT_EQ(SectionLines(bytes, L"Zeta"), (std::vector<std::wstring>{L"keep=me"}));

  CXmlCfgPropertyBag back;
  CXmlMsiIniLoader loader(path.c_str());
  ASSERT_EQ(back.Load(loader), 0);
  EXPECT_EQ(DescribeBag(back), DescribeBag(bag)) << "the reader stops at the count";
}

TEST_F(WriterTest, ADestinationThatCannotBeWrittenStaysAsItWas) {
  // The costing action made this empty file; something else holds it open
  // without sharing writes, so the writer cannot replace it.
  std::wstring path = Path(L"locked.tmp");
  WriteFileBytes(path, "");
  CXmlCfgPropertyBag bag;
  bag.GetOrAddComponent(L"C");
  {
    ScopedFileHandle holder(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder.valid());
    CXmlIniWriter writer(path.c_str());
    EXPECT_EQ(writer.Write(bag), 0) << "the writer reports success regardless";
  }
  EXPECT_EQ(ReadFileBytes(path), "");
  CXmlCfgPropertyBag back;
  CXmlMsiIniLoader emptyFile(path.c_str());
  EXPECT_EQ(back.Load(emptyFile), RuntimeFileResult::kComponentCountMissing);

  std::wstring nowhere = Path(L"no such folder\\data.tmp");
  CXmlIniWriter writer(nowhere.c_str());
  EXPECT_EQ(writer.Write(bag), 0);
  CXmlMsiIniLoader missingFile(nowhere.c_str());
  EXPECT_EQ(back.Load(missingFile), RuntimeFileResult::kCannotRead);
}
