#include <cstring>

#include "XmlTestSupport.h"

namespace {

const std::string kSettings =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<settings>\r\n    <!-- tuned by hand -->\r\n"
    "\t<add value=\"1\"/>\r\n\r\n  <other a=\"b\">  x  </other>\r\n</settings>\r\n";

}  // namespace

TEST(CYVXmlFileLoad, MissingFileIsBuiltFromTheRootElementSettings) {
  // A prefixed name gives the local name in the prefix's namespace (the last
  // declaration of a prefix wins); a given namespace wins over the prefix; a
  // predicate is not part of the name. The encoding reaches the declaration
  // and so the bytes: Wine's parser writes UTF-8 whatever is declared and the
  // module rewrites the file; Windows writes the declared encoding itself.
  for (auto [encoding, namespaces, root, rootNamespace, expected] :
       {std::tuple{L"", L"", L"", L"", L"<NewRoot/>"},
        {L"", L"xmlns:a='urn:1'  xmlns:cfg='urn:2' xmlns:a='urn:x'", L"a:Settings", L"", L"<Settings{urn:x}/>"},
        {L"", L"xmlns:cfg='urn:x'", L"cfg:Other[@a='1']", L"urn:given", L"<Other{urn:given}/>"},
        {L"UTF-16", L"", L"Wide", L"", L"<Wide/>"}}) {
    TempFolder folder;
    std::wstring path = folder.File(L"new.xml");
    CYVXmlFile file(path, nullptr);
    file.SetSelectionNamespaces(namespaces);
    file.SetEncoding(encoding);
    file.SetRootElement(root, rootNamespace);
    file.SetFormatOnSave(false);
    ASSERT_EQ(file.Load(), XmlResult::kSuccess);
    EXPECT_FALSE(FileExists(path)) << "a created document lives in memory until it is saved";
    ASSERT_EQ(file.Save(), XmlResult::kSuccess);
    yv::ComPtr<IXMLDOMDocument2> saved = ParseFile(path);
    EXPECT_EQ(saved ? Canonical(saved.get()) : L"<unreadable>", expected);
  }
}

TEST(CYVXmlFileLoad, UnparsableFileAsksTheUserAndFollowsTheAnswer) {
  TempFolder folder;
  std::wstring path = folder.File(L"broken.config");
  WriteFileBytes(path, "<settings><add value=\"1\"></settings>");
  for (auto [answer, expected] : {std::pair{PromptAnswer::kIgnore, XmlResult::kUserIgnore},
                                  {PromptAnswer::kAbort, XmlResult::kUserAbort},
                                  {PromptAnswer::kNone, XmlResult::kUserAbort}}) {
    ScriptedEngine engine;
    engine.answers = {{answer, nullptr}};
    EXPECT_EQ(CYVXmlFile(path, &engine).Load(), expected) << "answer " << answer;
    EXPECT_EQ(engine.prompts, W{L"27520 " + path});
  }
  // Without an engine nobody answers: a failure, but not a missing parser.
  EXPECT_EQ(CYVXmlFile(path, nullptr).Load(), XmlResult::kUserAbort);
}

TEST(CYVXmlFileSave, AFileHeldOpenAsksTheUserAndRetrySavesItInItsOwnLayoutOnceTheLockIsGone) {
  TempFolder folder;
  std::wstring path = folder.File(L"web.config");
  WriteFileBytes(path, kSettings);
  ScriptedEngine engine;
  CYVXmlFile file(path, &engine);
  file.SetFormatOnSave(false);
  ASSERT_EQ(file.Load(), XmlResult::kSuccess);
  ASSERT_TRUE(file.SelectXPath(L"add", L"", false, false));
  file.UpdateAttribute(L"value", L"2", false, AttributeOperation::kSet);
  // The first Retry meets the lock again; before the second the user closes
  // the other program, and the file is still as it was.
  HANDLE lock = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  std::string beforeRetry;
  engine.answers = {{PromptAnswer::kRetry, nullptr}, {PromptAnswer::kRetry, [&] {
                                                        CloseHandle(lock);
                                                        beforeRetry = ReadFileBytes(path);
                                                      }}};
  EXPECT_EQ(file.Save(), XmlResult::kSuccess);
  EXPECT_EQ(engine.prompts, W(2, L"27519 " + path));
  EXPECT_EQ(beforeRetry, kSettings);
  // Not formatted, the file keeps its layout: the declaration is the
  // parser's to write, but from the root on every whitespace run stays where
  // it was, and the parser's LF line ends become the file's CR LF again.
  auto layout = [](std::string text) {
    size_t root = std::min(text.find("<settings>"), text.size());
    return text.substr(root, text.find("</settings>") + 11 - root);
  };
  std::string expected = layout(kSettings);
  expected.replace(expected.find("value=\"1\""), 9, "value=\"2\"");
  EXPECT_EQ(layout(ReadFileBytes(path)), expected);
}

// The parser writes LF (Wine) or CR LF (Windows) whatever the file had; the
// save gives every line the file's own end, formatted or not, in single-byte
// and UTF-16 files alike.
TEST(CYVXmlFileSave, LineEndsFollowTheFilesOwn) {
  std::wstring wide = L"\xFEFF<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<a>\r\n  <b/>\r\n</a>\r\n";
  std::string utf16(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
  struct Case {
    std::string bytes;
    bool format;
    const char* lineEnd;  // as bytes
  } cases[] = {{"<a>\r\n  <b/>\r\n</a>\r\n", false, "\r\n"},
               {"<a>\r\n  <b/>\r\n</a>\r\n", true, "\r\n"},
               {"<a>\n  <b/>\n</a>\n", true, "\n"},
               {utf16, true, "\r\0\n\0"}};
  TempFolder folder;
  for (const Case& c : cases) {
    std::wstring path = folder.File(L"doc.xml");
    WriteFileBytes(path, c.bytes);
    CYVXmlFile file(path, nullptr);
    file.SetFormatOnSave(c.format);
    ASSERT_EQ(file.Load(), XmlResult::kSuccess);
    ASSERT_TRUE(file.SelectXPath(L"b", L"", false, false));
    file.UpdateAttribute(L"x", L"1", true, AttributeOperation::kSet);
    ASSERT_EQ(file.Save(), XmlResult::kSuccess);
    std::string saved = ReadFileBytes(path), lineEnd(c.lineEnd, c.bytes == utf16 ? 4 : std::strlen(c.lineEnd));
    size_t lines = 0, ends = 0;
    for (size_t at = saved.find(lineEnd); at != std::string::npos; at = saved.find(lineEnd, at + 1)) ++ends;
    for (char ch : saved) lines += ch == '\n';
    bool noCr = lineEnd != "\n" || saved.find('\r') == std::string::npos;
    EXPECT_TRUE(ends > 0 && ends == lines && noCr) << saved;
  }
}
