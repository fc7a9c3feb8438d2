#include "XmlTestSupport.h"
#include "xml/XmlName.h"

// Text is replaced, prepended or appended on every current node; an element
// without text gets a text node after its children. Files arrive indented
// as often as not: the whitespace between elements is layout, not text, so
// an indented file must change just like one written on one line.
namespace {

std::wstring ChangedAndSaved(const std::string& text, bool format) {
  LoadedDocument doc(text, L"", format);
  for (auto [xpath, mode] : {std::pair{L"a", ContentMode::kReplace},
                             {L"b", ContentMode::kPrepend},
                             {L"c", ContentMode::kAppend},
                             {L"d", ContentMode::kAppend}}) {
    EXPECT_TRUE(doc.Select(xpath));
    EXPECT_EQ(doc.file.SetElementContent(L"new", mode), XmlResult::kSuccess);
  }
  // The log tells an element whose first child is no text from one without.
  EXPECT_EQ(doc.engine.lines, (W{L"Processing XPath 'a'", L"Processing XPath 'b'", L"Processing XPath 'c'",
                                 L"No text node found for node new", L"Creating text node new", L"Processing XPath 'd'",
                                 L"Creating text node new"}));
  EXPECT_TRUE(doc.Select(L"c/e", true));
  EXPECT_EQ(doc.file.SetElementContent(L"made", ContentMode::kReplace), XmlResult::kSuccess);
  return doc.SaveAndReload(true);
}

const std::string kCompact = "<r><a>old</a><a>two</a><b>old</b><c><x/></c><d/></r>";
const std::string kIndented =
    "<r>\r\n  <a>old</a>\r\n  <a>two</a>\r\n  <b>old</b>\r\n  <c>\r\n    <x/>\r\n  </c>\r\n  <d/>\r\n</r>\r\n";
const std::wstring kChanged = L"<r><a>new</a><a>new</a><b>newold</b><c><x/>new<e>made</e></c><d>new</d></r>";

}  // namespace

TEST(CYVXmlFileContent, IndentedFilesChangeLikeCompactOnes) {
  EXPECT_EQ(ChangedAndSaved(kCompact, false), kChanged);
  EXPECT_EQ(ChangedAndSaved(kCompact, true), kChanged);
  EXPECT_EQ(ChangedAndSaved(kIndented, true), kChanged);
}

// Saved without formatting, the whitespace between elements is kept at load;
// it is layout, not the element's text: appending to <c> above still finds
// no text node (the log says so) and writes "new" after <x/>, not into the
// indentation in front of it.
TEST(CYVXmlFileContent, IndentedFilesKeptAsTheyAreChangeLikeCompactOnes) {
  EXPECT_EQ(ChangedAndSaved(kIndented, false), kChanged);
}

// A repair applies every change once more: a text already at the end it
// would be added to is not added again, one that is not yet there is.
TEST(CYVXmlFileContent, TextsAlreadyAtTheirEndAreNotAddedTwice) {
  LoadedDocument doc("<r a=\"x;y\" p=\"y;x\"><b>pre-old</b><c>old</c></r>");
  for (int run = 0; run < 2; ++run) {
    ASSERT_TRUE(doc.Select(L""));
    EXPECT_EQ(doc.file.UpdateAttribute(L"a", L";y", true, AttributeOperation::kAppend), 0);
    EXPECT_EQ(doc.file.UpdateAttribute(L"p", L"y;", true, AttributeOperation::kPrepend), 0);
    EXPECT_EQ(doc.file.UpdateAttribute(L"n", L";z", true, AttributeOperation::kAppend), 0);
    ASSERT_TRUE(doc.Select(L"b"));
    EXPECT_EQ(doc.file.SetElementContent(L"pre-", ContentMode::kPrepend), XmlResult::kSuccess);
    ASSERT_TRUE(doc.Select(L"c"));
    EXPECT_EQ(doc.file.SetElementContent(L"-post", ContentMode::kAppend), XmlResult::kSuccess);
  }
  EXPECT_EQ(doc.SaveAndReload(), L"<r a=\"x;y\" n=\";z\" p=\"y;x\"><b>pre-old</b><c>old-post</c></r>");
}

TEST(CYVXmlFileNamespaces, PrefixedStepsAndAttributesResolveThroughTheNamespaceMap) {
  // Files with a default namespace (project files, build files) are reached
  // through a prefix mapped to it: unprefixed steps mean no namespace.
  LoadedDocument doc("<project xmlns=\"urn:d\" xmlns:a=\"urn:a\"><a:Settings a:mode=\"old\"/><items/></project>",
                     L"xmlns:d='urn:d' xmlns:a='urn:a' xmlns:b='urn:b'");
  CYVXmlFile& file = doc.file;
  EXPECT_FALSE(doc.Select(L"items"));
  // The prefix's namespace wins over the caller's; without a prefix the
  // caller's is used. Equalities of the predicate become attributes, so the
  // created element matches its own XPath; other predicates add nothing.
  ASSERT_TRUE(file.SelectXPath(L"a:Settings/a:Add[@key='k' and @mode=\"on\"][@n='1']", L"urn:b", true, false));
  ASSERT_TRUE(file.SelectXPath(L"a:Settings/Plain", L"urn:b", true, false));
  ASSERT_TRUE(doc.Select(L"d:items/d:item[@k='1']", true));
  ASSERT_TRUE(doc.Select(L"d:items/d:item[not(d:name)]/d:name", true));
  EXPECT_EQ(file.SetElementContent(L"x", ContentMode::kReplace), XmlResult::kSuccess);

  // Attributes too. The new value is written through a lookup by the name
  // as given, prefix included; whether that finds the existing attribute is
  // the parser's business, but one attribute with the new value results.
  ASSERT_TRUE(doc.Select(L"a:Settings"));
  EXPECT_EQ(file.UpdateAttribute(L"a:mode", L"new", true, AttributeOperation::kSet), 0);
  EXPECT_EQ(file.UpdateAttribute(L"a:mode", L"!", true, AttributeOperation::kAppend), 0);
  EXPECT_EQ(file.UpdateAttribute(L"a:extra", L"1", true, AttributeOperation::kSet), 0);
  EXPECT_EQ(doc.SaveAndReload(), L"<project{urn:d}><a:Settings{urn:a} a:extra{urn:a}=\"1\" a:mode{urn:a}=\"new!\">"
                                 L"<Add{urn:a} key=\"k\" mode=\"on\" n=\"1\"/><Plain{urn:b}/></a:Settings>"
                                 L"<items{urn:d}><item{urn:d} k=\"1\"><name{urn:d}>x</name></item></items></project>");
  EXPECT_TRUE(doc.Select(L"a:Settings/a:Add[@key='k' and @mode=\"on\"][@n='1']"));
}

// The costing lets through exactly the names and prefix lists that the
// parser reads back and the module reads prefixes from.
TEST(XmlNames, NamesAndSelectionNamespaceListsFollowTheXmlRules) {
  for (const wchar_t* name : {L"add", L"x:add", L"_1", L"a-b.c", L"a\u00f1adir", L"\xD800\xDC00x"})
    EXPECT_TRUE(xmlutils::IsXmlName(name)) << name;
  for (const wchar_t* name : {L"", L"a b", L"<x>", L"1bad", L"-a", L"a\xD800", L"a'"})
    EXPECT_FALSE(xmlutils::IsXmlName(name)) << name;
  for (const wchar_t* list : {L"", L"xmlns:a='urn:x'", L" xmlns:a='urn:x'  xmlns:b='http://b/c?d=1' "})
    EXPECT_TRUE(xmlutils::IsSelectionNamespaceList(list)) << list;
  for (const wchar_t* list : {L"xmlns:a=urn:x", L"xmlns:a=\"urn:x\"", L"xmlns='urn:x'", L"xmlns:1a='u'",
                              L"xmlns:a='u' b", L"xmlns:a='u'x'", L"xmlns:a:b='u'"})
    EXPECT_FALSE(xmlutils::IsSelectionNamespaceList(list)) << list;
}
