#include "XmlTestSupport.h"
#include "xml/DeclaredEncoding.h"

namespace {

// The real-world corpus: each file with the encoding its declaration names
// (empty if none), which saving it must keep. manual.xml uses entities
// declared in its document type.
const std::vector<std::pair<const wchar_t*, const wchar_t*>> kCorpus = {
    {L"web.config", L"utf-8"},
    {L"app.config", L"utf-8"},
    {L"NLog.config", L"utf-8"},
    {L"log4net.config", L"utf-8"},
    {L"pom.xml", L"UTF-8"},
    {L"Inventory.Api.csproj", L""},
    {L"AndroidManifest.xml", L"utf-8"},
    {L"applicationContext.xml", L"UTF-8"},
    {L"catalog.xml", L"UTF-8"},
    {L"feed.rss", L"UTF-8"},
    {L"manual.xml", L"UTF-8"},
    {L"OrderMapper.xml", L"UTF-8"},
    {L"Resources.resx", L"utf-8"},
    {L"strings.xml", L"utf-8"},
    {L"Product.wxs", L"UTF-8"},
    {L"envelope.xml", L"utf-8"},
    {L"NightlyBackup.task.xml", L"UTF-16"},
    {L"company-cp1252.xml", L"windows-1252"},
};

}  // namespace

TEST(XmlCorpus, EveryFileSurvivesLoadFormatSaveAndReload) {
  TempFolder folder;
  for (auto [name, encoding] : kCorpus) {
    SCOPED_TRACE(name);
    std::wstring path = folder.File(name);
    WriteFileBytes(path, ReadFileBytes(FixtureFolder() + L"\\" + name));
    yv::ComPtr<IXMLDOMDocument2> original = ParseFile(path);
    ASSERT_TRUE(original) << "the fixture itself must parse";
    {
      CYVXmlFile file(path, nullptr);
      file.SetEncoding(encoding);  // as a package names it; it reaches the stylesheet
      ASSERT_EQ(file.Load(), XmlResult::kSuccess);
      ASSERT_EQ(file.Save(), XmlResult::kSuccess);
    }
    std::string savedBytes = ReadFileBytes(path);
    yv::ComPtr<IXMLDOMDocument2> saved = ParseFile(path);
    ASSERT_TRUE(saved) << savedBytes;
    EXPECT_EQ(Canonical(saved.get()), Canonical(original.get())) << savedBytes;
    // The declaration, and so the bytes, keep the file's encoding.
    yv::ComPtr<IXMLDOMNode> declaration;
    yv::_stringw declared;
    if (SUCCEEDED(saved->get_firstChild(declaration.put())) && declaration) declaration->get_text(declared.out());
    std::wstring expected = *encoding ? L"encoding=\"" + std::wstring(encoding) + L"\"" : L"encoding";
    EXPECT_EQ(Text(declared).find(expected) != std::wstring::npos, *encoding != 0) << savedBytes;
    // Each element child of the root starts a line of its own. Wine's XSLT
    // drops references to declared entities, so on Wine such a file is saved
    // as it was rather than formatted without them; Windows formats it with
    // the entities' text written out.
    if (!RunningOnWine() || std::wstring(name) != L"manual.xml") {
      yv::ComPtr<IXMLDOMNodeList> rootChildren;
      long count = 0;
      if (SUCCEEDED(saved->selectNodes(yv::_stringw(L"/*/*").bstr(), rootChildren.put())))
        rootChildren->get_length(&count);
      EXPECT_GE(std::count(savedBytes.begin(), savedBytes.end(), '\n'), count) << savedBytes;
    }
  }
}

TEST(DeclaredEncoding, NamesGiveCodePagesAndTheRewriteKeepsEveryCharacter) {
  TempFolder folder;
  // Encoding names map to code pages whatever their case; unknown or
  // unusable ones to 0, which leaves the file as the parser wrote it.
  const std::vector<std::pair<const wchar_t*, UINT>> names = {
      {L"UTF-16BE", 1201u},    {L"windows-1252", 1252u}, {L"cp1252", 1252u},   {L"iso-8859-1", 28591u},
      {L"ISO-8859-2", 28592u}, {L"iso-8859-15", 28605u}, {L"iso-8859-17", 0u}, {L"klingon", 0u}};
  for (auto [name, codePage] : names) EXPECT_EQ(CodePageOfEncoding(name), codePage) << name;
  // A character the code page lacks becomes a character reference, and
  // big-endian UTF-16 puts the high byte first.
  std::wstring path = folder.File(L"rewritten.xml");
  const std::string utf16be("\xFE\xFF\0<\0r\0>\0\xE9 \xAC\xD8\x34\xDD\x1E\0<\0/\0r\0>", 24);
  for (auto [codePage, expected] : {std::pair{28591u, std::string("<r>\xE9&#8364;&#119070;</r>")}, {1201u, utf16be}}) {
    WriteFileBytes(path, "<r>\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E</r>");
    ASSERT_TRUE(RewriteUtf8File(path.c_str(), codePage));
    EXPECT_EQ(ReadFileBytes(path), expected) << codePage;
  }
}
