#include <gtest/gtest.h>

#include "XmlTestSupport.h"
#include "xml/XmlResults.h"

TEST(CYVXmlFileFormat, IndentsTheRootElementAndLeavesTheRestOfTheDocument) {
  TempFolder folder;
  std::wstring path = folder.File(L"compact.xml");
  WriteFileBytes(path, "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!--before--><r><a x=\"1\"><b>t</b></a><!--c--></r>");
  ScriptedEngine engine;
  CYVXmlFile file(path, &engine);
  file.SetEncoding(L"UTF-8");  // the declaration brings its own spaces into the stylesheet
  file.SetFormatOnSave(true);
  ASSERT_EQ(file.Load(), XmlResult::kSuccess);
  std::wstring before = Canonical(file.Document());
  engine.lines.clear();
  ASSERT_EQ(file.Save(), XmlResult::kSuccess);

  std::vector<std::wstring> expected{L"Saving XML file '" + path + L"'", L"Formatting XML document",
                                     L"Using MSXML version 6",          L"Loading stylesheet",
                                     L"Successfully loaded stylesheet", L"Using MSXML version 6"};
  // Wine's transformNodeToObject reports success but leaves the output
  // without a root; the module then formats through the text
  // transformation. On Windows that path is never taken.
  if (RunningOnWine())
    expected.insert(expected.end(),
                    {L"The transformation gave no root element; formatting through the text output of the stylesheet",
                     L"Formatted through the text output of the stylesheet"});
  expected.push_back(L"Done Formatting XML document");
  EXPECT_EQ(engine.lines, expected);

  std::string bytes = ReadFileBytes(path);
  yv::ComPtr<IXMLDOMDocument2> saved = ParseFile(path);
  ASSERT_TRUE(saved) << bytes;
  EXPECT_EQ(Canonical(saved.get()), before);
  // Children on lines of their own, deeper ones further in; the declaration
  // and the comment before the root stay where they were.
  auto indent = [&](const char* marker) {
    size_t at = bytes.find(marker);
    size_t start = at == std::string::npos ? 0 : bytes.rfind('\n', at) + 1;
    return at == std::string::npos ? std::string("<missing>") : bytes.substr(start, at - start);
  };
  std::string outer = indent("<a "), inner = indent("<b>");
  EXPECT_FALSE(outer.empty()) << bytes;
  EXPECT_GT(inner.size(), outer.size()) << bytes;
  EXPECT_EQ((outer + inner).find_first_not_of(" \t"), std::string::npos) << bytes;
  EXPECT_EQ(bytes.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u) << bytes;
  EXPECT_LT(bytes.find("<!--before-->"), bytes.find("<r>")) << bytes;
}

TEST(CYVXmlFileFormat, LaterSelectionsReachTheFormattedRoot) {
  LoadedDocument doc("<settings><add key=\"a\"/></settings>");
  // Formatting replaces the root element; a selection made afterwards must
  // reach the element that is saved, not the one that was replaced.
  doc.file().FormatDocument();
  ASSERT_TRUE(doc.file().SelectXPath(L"add", L"", false, false));
  EXPECT_EQ(doc.file().UpdateAttribute(L"value", L"1", true, AttributeOperation::kSet), XmlResult::kSuccess);
  EXPECT_EQ(Select(doc.SaveAndReload().get(), L"/settings/add/@value"), std::vector<std::wstring>{L"1"});
}
