#include <gtest/gtest.h>

#include <thread>

#include "XmlTestSupport.h"
#include "xml/ComVariant.h"
#include "xml/XmlResults.h"

using W = std::vector<std::wstring>;

TEST(CYVXmlFileSetup, CreatesTheNewestParserReadyForXPathAndDocumentTypes) {
  ScriptedEngine engine;
  CYVXmlFile file(L"C:\\nowhere\\a.xml", &engine);
  yv::ComPtr<IXMLDOMDocument2> document = file.CreateDocument();
  ASSERT_TRUE(document);
  // Wine and current Windows both carry MSXML 6. Whatever the two optional
  // properties return, nothing is logged for them.
  EXPECT_EQ(engine.lines, W{L"Using MSXML version 6"});
  ComVariant language;
  document->getProperty(yv::_stringw(L"SelectionLanguage").bstr(), language.put());
  EXPECT_EQ(language.ToText(), L"XPath");
  VARIANT_BOOL resolve = VARIANT_TRUE, validate = VARIANT_TRUE, loaded = VARIANT_FALSE;
  document->get_resolveExternals(&resolve);
  document->get_validateOnParse(&validate);
  EXPECT_EQ(resolve, VARIANT_FALSE);
  EXPECT_EQ(validate, VARIANT_FALSE);
  // MSXML 6 refuses a document type declaration unless told otherwise.
  document->loadXML(yv::_stringw(L"<!DOCTYPE r [<!ENTITY e \"v\">]><r>&e;</r>").bstr(), &loaded);
  EXPECT_EQ(loaded, VARIANT_TRUE);
}

TEST(CYVXmlFileSetup, WithoutAnyParserLoadReportsItAndNeverPrompts) {
  TempFolder folder;
  ScriptedEngine engine;
  int result = 0;
  // A thread that never initialised COM can create no parser at all, just
  // like a machine without one.
  std::thread bare([&] {
    CYVXmlFile file(folder.File(L"a.xml"), &engine);
    result = file.Load();
  });
  bare.join();
  EXPECT_EQ(result, XmlResult::kNoParser);
  EXPECT_TRUE(engine.prompts.empty());
  EXPECT_EQ(engine.CountStartingWith(L"Using MSXML version "), 1u);
  EXPECT_EQ(engine.lines.size(), 1u);
}

TEST(CYVXmlFileSetup, NamespaceMapAndQualifiedNames) {
  ScriptedEngine engine;
  CYVXmlFile file(L"a.xml", &engine);
  // Two spaces give an empty token; a later prefix replaces an earlier one.
  file.SetSelectionNamespaces(L"xmlns:a='urn:1'  xmlns:b='urn:2' xmlns:a='urn:3'");
  EXPECT_EQ(engine.lines, W{L"Using SelectionNamespaces:  xmlns:a='urn:1'  xmlns:b='urn:2' xmlns:a='urn:3'"});
  EXPECT_EQ(file.Namespaces(), (CYVXmlFile::NamespaceMap{{L"", L""}, {L"a", L"urn:3"}, {L"b", L"urn:2"}}));

  engine.lines.clear();
  EXPECT_EQ(file.GetNamespaceForPrefix(L"B"), L"");  // case-sensitive
  EXPECT_EQ(engine.lines, W{L"No namespace for prefix B found"});

  struct Case {
    const wchar_t *name, *resolvedName, *resolvedUri;
  };
  // Only a known prefix leaves the name; any prefix replaces the URI.
  for (Case c : {Case{L"a:key", L"key", L"urn:3"}, Case{L"z:key", L"z:key", L""}, Case{L"key", L"key", L"urn:caller"}}) {
    yv::_stringw name = c.name, uri = L"urn:caller";
    file.ResolveQualifiedName(name, uri);
    EXPECT_EQ(name, c.resolvedName);
    EXPECT_EQ(uri, c.resolvedUri);
  }
}

TEST(CYVXmlFileSetup, RootElementAndEncodingSettings) {
  ScriptedEngine engine;
  CYVXmlFile file(L"a.xml", &engine);
  file.SetEncoding(L"");
  EXPECT_EQ(file.EncodingDeclaration(), L"encoding=\"UTF-8\"");
  file.SetEncoding(L"UTF-16");
  EXPECT_EQ(file.EncodingDeclaration(), L" encoding=\"UTF-16\" ");
  EXPECT_EQ(engine.lines, W{L"Using encoding UTF-16"});

  // An unknown prefix is logged and leaves the namespace as it was.
  engine.lines.clear();
  EXPECT_EQ(file.SetRootElement(L"cfg:Settings", L""), 0);
  EXPECT_EQ(file.RootElementName(), L"Settings");
  EXPECT_EQ(file.RootElementNamespace(), L"");
  EXPECT_EQ(engine.lines, (W{L"No namespace for prefix cfg found",
                             L"Setting root element name to 'cfg:Settings'. Namespace = ''"}));

  file.SetSelectionNamespaces(L"xmlns:cfg='urn:x'");
  file.SetRootElement(L"cfg:Settings", L"");
  EXPECT_EQ(file.RootElementNamespace(), L"urn:x");
  EXPECT_EQ(engine.lines.back(), L"Setting root element name to 'cfg:Settings'. Namespace = ''")
      << "the log shows the namespace as given";
  file.SetRootElement(L"cfg:Other", L"urn:given");
  EXPECT_EQ(file.RootElementNamespace(), L"urn:given");
  file.SetRootElement(L"Root[@a='1']", L"");
  EXPECT_EQ(file.RootElementName(), L"Root");
  EXPECT_EQ(file.RootElementNamespace(), L"urn:given");
  file.SetRootElement(L"", L"urn:ignored");
  EXPECT_EQ(file.RootElementName(), L"Root");
}
