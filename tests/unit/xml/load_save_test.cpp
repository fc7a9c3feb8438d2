#include <gtest/gtest.h>

#include <algorithm>

#include "XmlTestSupport.h"
#include "xml/XmlResults.h"

namespace {

const std::string kSettings = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<settings><add value=\"1\"/></settings>\r\n";

// Loads the file and sets the value of its <add> element.
void Change(CYVXmlFile& file, const wchar_t* value) {
  EXPECT_EQ(file.Load(), XmlResult::kSuccess);
  EXPECT_TRUE(file.SelectXPath(L"add", L"", false, false));
  file.UpdateAttribute(L"value", value, false, AttributeOperation::kSet);
  file.SetFormatOnSave(false);
}

int ChangeAndSave(CYVXmlFile& file, const wchar_t* value) {
  Change(file, value);
  return file.Save();
}

std::vector<std::wstring> SavedValue(const std::wstring& path) {
  return Select(ParseFile(path).get(), L"/settings/add/@value");
}

// A missing file built from the root-element settings and saved.
std::wstring CreatedFile(const std::wstring& path, ScriptedEngine& engine, const wchar_t* encoding,
                         const wchar_t* namespaces, const wchar_t* root) {
  CYVXmlFile file(path, &engine);
  file.SetSelectionNamespaces(namespaces);
  file.SetEncoding(encoding);
  file.SetRootElement(root, L"");
  file.SetFormatOnSave(false);
  EXPECT_EQ(file.Load(), XmlResult::kSuccess);
  EXPECT_NE(file.RootElement(), nullptr);
  EXPECT_FALSE(FileExists(path)) << "a created document lives in memory until it is saved";
  EXPECT_EQ(file.Save(), XmlResult::kSuccess);
  yv::ComPtr<IXMLDOMDocument2> saved = ParseFile(path);
  return saved ? Canonical(saved.get()) : L"<unreadable>";
}

}  // namespace

TEST(CYVXmlFileLoad, MissingFileIsBuiltFromTheRootElementSettings) {
  TempFolder folder;
  ScriptedEngine engine;
  std::wstring plain = folder.File(L"new.xml");
  EXPECT_EQ(CreatedFile(plain, engine, L"", L"", L""), L"<NewRoot/>");
  EXPECT_TRUE(engine.Logged(L"XML file '" + plain + L"' does not exist. Creating using root element <NewRoot>..."));
  EXPECT_EQ(engine.Count(L"Formatting XML document"), 0u) << "not asked to format";
  EXPECT_EQ(ReadFileBytes(plain).rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u);

  // A prefixed name gives the local name, in the prefix's namespace.
  EXPECT_EQ(CreatedFile(folder.File(L"ns.xml"), engine, L"", L"xmlns:cfg='urn:x'", L"cfg:Settings"),
            L"<Settings{urn:x}/>");

  // The encoding reaches the declaration and so the bytes. Wine writes every
  // document as UTF-8 whatever it declares; the module then rewrites the file
  // in the declared encoding. Windows writes that encoding itself.
  std::wstring wide = folder.File(L"wide.xml");
  EXPECT_EQ(CreatedFile(wide, engine, L"UTF-16", L"", L"Wide"), L"<Wide/>");
  EXPECT_EQ(ReadFileBytes(wide).substr(0, 4), std::string("\xFF\xFE<\0", 4)) << "UTF-16LE with byte-order mark";
  EXPECT_EQ(engine.CountStartingWith(L"The parser wrote '" + wide + L"' as UTF-8"), RunningOnWine() ? 1u : 0u);
}

TEST(CYVXmlFileLoad, UnparsableFileAsksTheUserAndFollowsTheAnswer) {
  TempFolder folder;
  std::wstring path = folder.File(L"broken.config");
  const std::string broken = "<settings><add value=\"1\"></settings>";
  WriteFileBytes(path, broken);
  for (auto [answer, expected] : {std::pair{PromptAnswer::kIgnore, XmlResult::kUserIgnore},
                                  std::pair{PromptAnswer::kAbort, XmlResult::kUserAbort},
                                  std::pair{PromptAnswer::kNone, XmlResult::kUserAbort}}) {
    ScriptedEngine engine;
    engine.Script({{answer, nullptr}});
    CYVXmlFile file(path, &engine);
    EXPECT_EQ(file.Load(), expected) << "answer " << answer;
    ASSERT_EQ(engine.prompts.size(), 1u);
    EXPECT_EQ(engine.prompts[0].text, path);
    EXPECT_EQ(engine.prompts[0].errorNumber, XmlPromptError::kLoadFailed);
  }
  // Without an engine nobody answers: a failure, but not a missing parser.
  CYVXmlFile unattended(path, nullptr);
  EXPECT_EQ(unattended.Load(), XmlResult::kUserAbort);

  // Retry loads again; here the user repairs the file before the second one.
  ScriptedEngine engine;
  engine.Script({{PromptAnswer::kRetry, nullptr}, {PromptAnswer::kRetry, [&] { WriteFileBytes(path, kSettings); }}});
  CYVXmlFile repaired(path, &engine);
  ASSERT_EQ(repaired.Load(), XmlResult::kSuccess);
  EXPECT_EQ(engine.prompts.size(), 2u);
  EXPECT_TRUE(repaired.SelectXPath(L"add[@value='1']", L"", false, false));

  // Each Retry tests for the file again: one deleted meanwhile is built.
  WriteFileBytes(path, broken);
  engine.Script({{PromptAnswer::kRetry, [&] { DeleteFileW(path.c_str()); }}});
  CYVXmlFile rebuilt(path, &engine);
  rebuilt.SetRootElement(L"Rebuilt", L"");
  ASSERT_EQ(rebuilt.Load(), XmlResult::kSuccess);
  EXPECT_EQ(Canonical(rebuilt.RootElement()), L"<Rebuilt/>");
}

TEST(CYVXmlFileSave, NothingLoadedMeansNothingWritten) {
  TempFolder folder;
  ScriptedEngine engine;
  CYVXmlFile file(folder.File(L"never.xml"), &engine);
  file.SetFormatOnSave(true);
  EXPECT_EQ(file.Save(), XmlResult::kSuccess);
  EXPECT_TRUE(engine.lines.empty());
  EXPECT_FALSE(FileExists(folder.File(L"never.xml")));
}

TEST(CYVXmlFileSave, WithoutFormattingTheFileKeepsItsOwnLayout) {
  TempFolder folder;
  ScriptedEngine engine;
  std::wstring path = folder.File(L"app.config");
  const std::string body =
      "<settings>\r\n    <!-- tuned by hand -->\r\n\t<add value=\"1\"/>\r\n\r\n  <other a=\"b\">  x  </other>\r\n"
      "</settings>";
  WriteFileBytes(path, "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n" + body + "\r\n");
  {
    CYVXmlFile file(path, &engine);
    file.SetFormatOnSave(false);
    ASSERT_EQ(file.Load(), XmlResult::kSuccess);
    ASSERT_TRUE(file.SelectXPath(L"add", L"", false, false));
    file.UpdateAttribute(L"value", L"2", false, AttributeOperation::kSet);
    ASSERT_EQ(file.Save(), XmlResult::kSuccess);
  }
  std::string saved = ReadFileBytes(path);
  std::string expected = body;
  expected.replace(expected.find("value=\"1\""), 9, "value=\"2\"");
  // The declaration is the parser's to write; from the root on every
  // whitespace run stays where it was. A parser reads line ends as LF; Wine's
  // writes them back so, Microsoft's as CR LF: they are compared without CR.
  auto withoutCr = [](std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
  };
  saved = withoutCr(saved);
  expected = withoutCr(expected);
  ASSERT_NE(saved.find("<settings>"), std::string::npos) << saved;
  EXPECT_EQ(saved.substr(saved.find("<settings>"), expected.size()), expected) << saved;
}

TEST(CYVXmlFileSave, ReadOnlyFileAsksTheUserIgnoreLeavesItAndRetrySavesOnceWritable) {
  TempFolder folder;
  std::wstring path = folder.File(L"app.config");
  WriteFileBytes(path, kSettings);
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
  HANDLE probe = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    // Windows refuses to overwrite a read-only file, administrators included.
    // Wine keeps the attribute as Unix permission bits, which do not stop
    // root, so under Wine as root the save would simply succeed.
    CloseHandle(probe);
    GTEST_SKIP() << "the read-only attribute does not protect files from this user (Wine running as root)";
  }
  ScriptedEngine engine;
  engine.Script({{PromptAnswer::kIgnore, nullptr}});
  CYVXmlFile ignored(path, &engine);
  EXPECT_EQ(ChangeAndSave(ignored, L"2"), XmlResult::kUserIgnore);
  ASSERT_EQ(engine.prompts.size(), 1u);
  EXPECT_EQ(engine.prompts[0].errorNumber, XmlPromptError::kSaveFailed);
  EXPECT_LT(engine.prompts[0].detail, 0) << "the failed save's HRESULT";
  EXPECT_EQ(ReadFileBytes(path), kSettings);

  engine.Script({{PromptAnswer::kRetry, [&] { SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL); }}});
  CYVXmlFile retried(path, &engine);
  EXPECT_EQ(ChangeAndSave(retried, L"3"), XmlResult::kSuccess);
  EXPECT_EQ(SavedValue(path), std::vector<std::wstring>{L"3"});
}

TEST(CYVXmlFileSave, FileHeldOpenWithoutSharingAsksTheUserAndRetrySavesOnceTheLockIsGone) {
  TempFolder folder;
  std::wstring path = folder.File(L"web.config");
  WriteFileBytes(path, kSettings);
  ScriptedEngine engine;
  CYVXmlFile ignored(path, &engine), aborted(path, &engine), retried(path, &engine);
  Change(ignored, L"1");
  Change(aborted, L"2");
  Change(retried, L"3");
  HANDLE lock = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);

  engine.Script({{PromptAnswer::kIgnore, nullptr}});
  EXPECT_EQ(ignored.Save(), XmlResult::kUserIgnore);
  engine.Script({{PromptAnswer::kAbort, nullptr}});
  EXPECT_EQ(aborted.Save(), XmlResult::kUserAbort);
  ASSERT_EQ(engine.prompts.size(), 2u);
  EXPECT_EQ(engine.prompts[1].text, path);
  EXPECT_EQ(engine.prompts[1].errorNumber, XmlPromptError::kSaveFailed);
  EXPECT_LT(engine.prompts[1].detail, 0) << "the failed save's HRESULT";

  // The first Retry meets the lock again; before the second the user closes
  // the other program, and the file is still as it was.
  std::string beforeRetry;
  engine.Script({{PromptAnswer::kRetry, nullptr}, {PromptAnswer::kRetry, [&] {
                                                     CloseHandle(lock);
                                                     beforeRetry = ReadFileBytes(path);
                                                   }}});
  EXPECT_EQ(retried.Save(), XmlResult::kSuccess);
  EXPECT_EQ(engine.prompts.size(), 4u);
  EXPECT_EQ(beforeRetry, kSettings);
  EXPECT_EQ(SavedValue(path), std::vector<std::wstring>{L"3"});
}
