#include <gtest/gtest.h>

#include "XmlTestSupport.h"
#include "xml/XmlResults.h"

using W = std::vector<std::wstring>;

namespace {

W CurrentNodes(const CYVXmlFile& file) {
  W nodes;
  for (const auto& node : file.CurrentNodes()) nodes.push_back(Canonical(node.get()));
  return nodes;
}

}  // namespace

TEST(CYVXmlFileSelect, SelectsInDocumentOrderAndAlwaysStartsAfresh) {
  LoadedDocument doc("<root><i>1</i><g><i>2</i></g><i>3</i></root>");
  CYVXmlFile& file = doc.file();
  // The whole-document XPaths select the root without asking the parser, and
  // never create anything.
  for (const wchar_t* xpath : {L"", L"/", L"//"}) {
    doc.engine().lines.clear();
    EXPECT_TRUE(file.SelectXPath(xpath, L"", true, false));
    EXPECT_EQ(file.CurrentNodes().size(), 1u);
    EXPECT_EQ(doc.engine().lines, W{L"Processing XPath '" + std::wstring(xpath) + L"'"});
  }
  EXPECT_TRUE(file.SelectXPath(L"//i", L"", false, false));
  EXPECT_EQ(CurrentNodes(file), (W{L"<i>1</i>", L"<i>2</i>", L"<i>3</i>"}));
  EXPECT_TRUE(file.SelectXPath(L"//i", L"", false, true));
  EXPECT_EQ(CurrentNodes(file), (W{L"<i>1</i>"}));
  EXPECT_TRUE(file.SelectXPath(L"g/i", L"", false, false)) << "relative to the root element";
  EXPECT_EQ(CurrentNodes(file), (W{L"<i>2</i>"}));

  doc.engine().lines.clear();
  EXPECT_FALSE(file.SelectXPath(L"missing", L"", false, false));
  EXPECT_TRUE(file.CurrentNodes().empty()) << "the earlier selection must not linger";
  EXPECT_FALSE(file.SelectXPath(L"i[", L"", false, false)) << "a rejected XPath matches nothing";
  EXPECT_EQ(doc.engine().lines, (W{L"Processing XPath 'missing'", L"Processing XPath 'i['"}));
}

TEST(CYVXmlFileCreate, CreatesOnlyTheLastStepUnderTheParentThatTheRestSelects) {
  LoadedDocument doc("<configuration><Settings><Add key=\"a\"/></Settings></configuration>");
  CYVXmlFile& file = doc.file();
  EXPECT_TRUE(file.SelectXPath(L"//Settings/Add[@key='x']", L"", true, false));
  EXPECT_EQ(doc.engine().lines, (W{L"Processing XPath '//Settings/Add[@key='x']'",
                                   L"XPath '//Settings/Add[@key='x']' not found, creating", L"Checking XPath 'Settings'",
                                   L"Creating element:  Name=Add, Namespace="}));
  EXPECT_EQ(CurrentNodes(file), W{L"<Add/>"}) << "the predicate does not become an attribute";
  EXPECT_TRUE(file.SelectXPath(L"/Extra", L"", true, false));

  // An absolute path naming the root finds no parent below the root; a
  // missing parent is not created either; the parent must be an element.
  doc.engine().lines.clear();
  EXPECT_FALSE(file.SelectXPath(L"/configuration/Settings/Remove", L"", true, false));
  EXPECT_FALSE(file.SelectXPath(L"Missing/Child", L"", true, false));
  EXPECT_FALSE(file.SelectXPath(L"Settings/Add/@key/Child", L"", true, false));
  EXPECT_TRUE(doc.engine().Logged(L"Checking XPath 'configuration/Settings'"));
  EXPECT_TRUE(doc.engine().Logged(L"CYVXmlFile::CreateXPathElements - QueryInterface for element key failed"));
  EXPECT_EQ(doc.engine().CountStartingWith(L"Creating element:"), 0u);

  yv::ComPtr<IXMLDOMDocument2> saved = doc.SaveAndReload();
  ASSERT_TRUE(saved);
  EXPECT_EQ(Canonical(saved.get()), L"<configuration><Settings><Add key=\"a\"/><Add/></Settings><Extra/></configuration>");
}

TEST(CYVXmlFileCreate, PrefixedStepsAreSelectedAndCreatedInTheMappedNamespace) {
  const std::wstring namespaces = L"xmlns:a='urn:a' xmlns:b='urn:b'";
  LoadedDocument doc("<configuration xmlns:a=\"urn:a\"><a:Settings/></configuration>", namespaces);
  CYVXmlFile& file = doc.file();
  EXPECT_FALSE(file.SelectXPath(L"Settings", L"", false, false)) << "the element is in urn:a";
  // The prefix's namespace wins over the caller's; without a prefix the
  // caller's is used; an unknown prefix is passed on as written.
  ASSERT_TRUE(file.SelectXPath(L"a:Settings/a:Add[@key='k']", L"urn:b", true, false));
  EXPECT_EQ(CurrentNodes(file), W{L"<Add{urn:a}/>"});
  ASSERT_TRUE(file.SelectXPath(L"a:Settings/Plain", L"urn:b", true, false));
  EXPECT_EQ(CurrentNodes(file), W{L"<Plain{urn:b}/>"});
  doc.engine().lines.clear();
  file.SelectXPath(L"a:Settings/z:Odd", L"urn:b", true, false);
  EXPECT_TRUE(doc.engine().Logged(L"No namespace for prefix z found"));
  EXPECT_TRUE(doc.engine().Logged(L"Creating element:  Name=z:Odd, Namespace="));

  yv::ComPtr<IXMLDOMDocument2> saved = doc.SaveAndReload(namespaces);
  ASSERT_TRUE(saved);
  EXPECT_EQ(Select(saved.get(), L"/configuration/a:Settings/a:Add").size(), 1u);
  EXPECT_EQ(Select(saved.get(), L"/configuration/a:Settings/b:Plain").size(), 1u);
}

TEST(CYVXmlFileCreate, DefaultNamespaceDocumentsAreReachedThroughAPrefix) {
  const std::wstring pom = L"xmlns:m='http://maven.apache.org/POM/4.0.0'";
  LoadedDocument doc(
      "<project xmlns=\"http://maven.apache.org/POM/4.0.0\"><dependencies><dependency><artifactId>junit</artifactId>"
      "<version>4.12</version></dependency></dependencies></project>",
      pom);
  CYVXmlFile& file = doc.file();
  EXPECT_FALSE(file.SelectXPath(L"dependencies", L"", false, false)) << "unprefixed steps mean no namespace";
  ASSERT_TRUE(file.SelectXPath(L"m:dependencies/m:dependency[m:artifactId='junit']/m:version", L"", false, false));
  ASSERT_TRUE(file.SelectXPath(L"m:dependencies/m:dependency[m:artifactId='slf4j-api']", L"", true, false));
  ASSERT_TRUE(file.SelectXPath(L"m:dependencies/m:dependency[not(m:artifactId)]/m:artifactId", L"", true, false));
  EXPECT_EQ(file.SetElementContent(L"slf4j-api", ContentMode::kReplace), XmlResult::kSuccess);

  yv::ComPtr<IXMLDOMDocument2> saved = doc.SaveAndReload(pom);
  ASSERT_TRUE(saved);
  EXPECT_EQ(Select(saved.get(), L"/m:project/m:dependencies/m:dependency/m:artifactId"),
            (W{L"junit", L"slf4j-api"}));
  // Never taken out of the default namespace with xmlns="". (Wine repeats the
  // default declaration on each created element, which changes nothing.)
  EXPECT_EQ(XmlOf(saved.get()).find(L"xmlns=\"\""), std::wstring::npos);
}
