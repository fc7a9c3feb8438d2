#include <gtest/gtest.h>

#include <set>

#include "XmlTestSupport.h"
#include "xml/XmlResults.h"

namespace {

// One file of the real-world corpus and what saving it must keep.
struct CorpusFile {
  const wchar_t* name;
  const wchar_t* declaredEncoding;  // as written in its declaration; empty if none
  std::vector<std::wstring> nonAscii;
  bool declaredEntities = false;  // uses entities declared in its document type
};

const std::vector<CorpusFile> kCorpus = {
    {L"web.config", L"utf-8", {}},
    {L"app.config", L"utf-8", {}},
    {L"NLog.config", L"utf-8", {}},
    {L"log4net.config", L"utf-8", {}},
    {L"pom.xml", L"UTF-8", {}},
    {L"Inventory.Api.csproj", L"", {}},
    {L"applicationContext.xml", L"UTF-8", {}},
    {L"AndroidManifest.xml", L"utf-8", {}},
    {L"catalog.xml", L"UTF-8", {}},
    {L"feed.rss", L"UTF-8", {L"Version 3.1 \x2013 faster sync"}},
    {L"manual.xml", L"UTF-8", {L"Copyright \x00A9 2023", L"Non-breaking\x00A0space, euro \x20AC"}, true},
    {L"OrderMapper.xml", L"UTF-8", {}},
    {L"Resources.resx", L"utf-8", {L"Gr\x00FC\x00DF Gott", L"\x00C0 bient\x00F4t \x2014 \x00A1Hasta luego!"}},
    {L"strings.xml", L"utf-8", {L"\x30CE\x30FC\x30C8", L"12,50 \x20AC", L"\x039A\x03B1\x03BB\x03B7", L"Saved \xD83D\xDC4D"}},
    {L"Product.wxs", L"UTF-8", {}},
    {L"envelope.xml", L"utf-8", {}},
    {L"NightlyBackup.task.xml", L"UTF-16", {L"N\x00E4" L"chtliche Sicherung \x2013 \x00DC" L"berpr\x00FC" L"fung"}},
    {L"company-cp1252.xml", L"windows-1252",
     {L"Soci\x00E9t\x00E9 G\x00E9n\x00E9rale d'\x00C9tudes", L"Z\x00FCrich", L"12,50 \x20AC", L"Bj\x00F6rn \x00C5ngstr\x00F6m"}},
};

// A file's text, decoded the way its bytes and declaration say.
std::wstring Decode(const std::string& bytes) {
  if (bytes.compare(0, 2, "\xFF\xFE") == 0)
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
  UINT codePage = bytes.find("encoding=\"windows-1252\"") != std::string::npos ? 1252 : CP_UTF8;
  size_t skip = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  std::wstring text(bytes.size(), L'\0');
  text.resize(static_cast<size_t>(MultiByteToWideChar(codePage, 0, bytes.data() + skip,
                                                      static_cast<int>(bytes.size() - skip), text.data(),
                                                      static_cast<int>(text.size()))));
  return text;
}

std::wstring DeclaredEncoding(const std::wstring& text) {
  size_t at = text.compare(0, 5, L"<?xml") == 0 ? text.find(L"encoding=") : std::wstring::npos;
  if (at == std::wstring::npos || at > text.find(L"?>")) return L"";
  size_t open = at + 9;
  return text.substr(open + 1, text.find(text[open], open + 1) - open - 1);
}

// Lines that begin with indentation followed by markup.
size_t IndentedLines(const std::wstring& text) {
  size_t count = 0;
  for (size_t at = text.find(L'\n'); at != std::wstring::npos; at = text.find(L'\n', at + 1)) {
    size_t markup = text.find_first_not_of(L" \t", at + 1);
    if (markup != std::wstring::npos && markup > at + 1 && text[markup] == L'<') ++count;
  }
  return count;
}

}  // namespace

TEST(XmlCorpus, EveryFileSurvivesLoadFormatSaveAndReload) {
  std::wstring fixtures = FixtureFolder();
  std::set<std::wstring> present, described;
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((fixtures + L"\\*.*").c_str(), &entry);
  ASSERT_NE(find, INVALID_HANDLE_VALUE) << Utf8(fixtures);
  do {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) present.insert(entry.cFileName);
  } while (FindNextFileW(find, &entry));
  FindClose(find);
  for (const CorpusFile& file : kCorpus) described.insert(file.name);
  EXPECT_EQ(present, described) << "every corpus file is described here";

  TempFolder folder;
  size_t throughText = 0;
  for (const CorpusFile& corpusFile : kCorpus) {
    SCOPED_TRACE(Utf8(corpusFile.name));
    std::wstring path = folder.File(corpusFile.name);
    std::string originalBytes = ReadFileBytes(fixtures + L"\\" + corpusFile.name);
    WriteFileBytes(path, originalBytes);
    yv::ComPtr<IXMLDOMDocument2> original = ParseFile(path);
    ASSERT_TRUE(original) << "the fixture itself must parse";
    EXPECT_EQ(DeclaredEncoding(Decode(originalBytes)), corpusFile.declaredEncoding);

    ScriptedEngine engine;
    {
      CYVXmlFile file(path, &engine);
      file.SetFormatOnSave(true);
      ASSERT_EQ(file.Load(), XmlResult::kSuccess);
      ASSERT_EQ(file.Save(), XmlResult::kSuccess);
    }
    EXPECT_TRUE(engine.Logged(L"Done Formatting XML document"));
    throughText += engine.Count(L"Formatted through the text output of the stylesheet");
    // Wine's XSLT drops references to declared entities, so on Wine such a
    // file is saved as it was rather than formatted without them. Windows
    // formats it with the entities' text written out.
    bool keptUnformatted = RunningOnWine() && corpusFile.declaredEntities;
    EXPECT_EQ(engine.CountStartingWith(L"The formatted document does not hold the same content"),
              keptUnformatted ? 1u : 0u);

    std::string savedBytes = ReadFileBytes(path);
    std::wstring savedText = Decode(savedBytes);
    yv::ComPtr<IXMLDOMDocument2> saved = ParseFile(path);
    ASSERT_TRUE(saved) << savedBytes;
    EXPECT_EQ(Canonical(saved.get()), Canonical(original.get())) << savedBytes;
    EXPECT_EQ(DeclaredEncoding(savedText), corpusFile.declaredEncoding) << savedBytes;
    for (const std::wstring& text : corpusFile.nonAscii) {
      EXPECT_NE(savedText.find(text), std::wstring::npos) << "in the declared encoding: " << Utf8(text);
    }
    // Each element child of the root starts a line of its own.
    yv::ComPtr<IXMLDOMNodeList> children;
    long rootChildren = 0;
    saved->selectNodes(yv::_stringw(L"/*/*").bstr(), children.put());
    children->get_length(&rootChildren);
    if (!keptUnformatted) {
      EXPECT_GE(IndentedLines(savedText), static_cast<size_t>(rootChildren)) << savedBytes;
    }
  }
  // Wine's transformNodeToObject leaves a document with an XML declaration
  // without a root, so those go through the text transformation; on Windows
  // that path is never taken.
  EXPECT_EQ(throughText > 0, RunningOnWine());
}

TEST(XmlCorpus, DeclaredEncodingsDecideTheBytesWritten) {
  TempFolder folder;
  ScriptedEngine engine;
  auto changeAndSave = [&](const wchar_t* name) {
    std::wstring path = folder.File(name);
    WriteFileBytes(path, ReadFileBytes(FixtureFolder() + L"\\" + name));
    CYVXmlFile file(path, &engine);
    file.SetFormatOnSave(true);
    EXPECT_EQ(file.Load(), XmlResult::kSuccess);
    EXPECT_TRUE(file.SelectXPath(L"/", L"", false, false));
    file.UpdateAttribute(L"touched", L"\x00E9t\x00E9", true, AttributeOperation::kSet);
    EXPECT_EQ(file.Save(), XmlResult::kSuccess);
    return ReadFileBytes(path);
  };
  std::string utf16 = changeAndSave(L"NightlyBackup.task.xml");
  EXPECT_EQ(utf16.substr(0, 2), "\xFF\xFE") << "UTF-16LE with byte-order mark";
  EXPECT_NE(Decode(utf16).find(L"touched=\"\x00E9t\x00E9\""), std::wstring::npos);

  std::string cp1252 = changeAndSave(L"company-cp1252.xml");
  EXPECT_NE(cp1252.find("touched=\"\xE9t\xE9\""), std::string::npos) << "one byte per accented letter";
  EXPECT_NE(cp1252.find("12,50 \x80"), std::string::npos) << "the euro sign is 0x80 in 1252";
  EXPECT_EQ(cp1252.find("\xC3\xA9"), std::string::npos) << "no UTF-8 sequences";

  std::string utf8 = changeAndSave(L"strings.xml");
  EXPECT_NE(utf8.find("touched=\"\xC3\xA9t\xC3\xA9\""), std::string::npos);
  EXPECT_NE(utf8.find("Saved \xF0\x9F\x91\x8D"), std::string::npos) << "beyond the BMP as four bytes";
}
