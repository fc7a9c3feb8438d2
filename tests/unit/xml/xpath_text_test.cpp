#include <gtest/gtest.h>

#include "xml/CXmlSelectionNamespaceString.h"
#include "xml/CYVXPath.h"
#include "xml/CYVXmlFile.h"
#include "xml/SplitText.h"
#include "xml/XmlDeclarationText.h"

using namespace xmlutils;
using W = std::vector<std::wstring>;

namespace {

W Tokens(const wchar_t* text, wchar_t delimiter, bool skipEmpty = false) {
  W result;
  for (const yv::_stringw& token : SplitText(text, delimiter, skipEmpty, 1)) result.emplace_back(token.c_str());
  return result;
}

std::wstring LastStep(const wchar_t* xpath, int expectedSlash) {
  yv::_stringw step = L"untouched";
  EXPECT_EQ(CYVXPath(xpath).GetLastFragment(step), expectedSlash) << xpath;
  return step.c_str();
}

std::wstring Substituted(const wchar_t* text, std::vector<const wchar_t*> arguments) {
  yv::_stringw value = text;
  CYVXmlFile::SubstitutePlaceholders(value, arguments.data(), static_cast<int>(arguments.size()));
  return value.c_str();
}

}  // namespace

TEST(XPathText, SplitKeepsInnerAndLeadingEmptyTokensButNoneAfterAFinalDelimiter) {
  EXPECT_EQ(Tokens(L"a  b", L' '), (W{L"a", L"", L"b"}));
  EXPECT_EQ(Tokens(L" a ", L' '), (W{L"", L"a"}));
  EXPECT_EQ(Tokens(L"", L' '), (W{L""}));
  EXPECT_EQ(Tokens(L"//a/b", L'/'), (W{L"", L"", L"a", L"b"}));
  EXPECT_EQ(Tokens(L" a  b", L' ', true), (W{L"a", L"b"}));
  EXPECT_EQ(Tokens(L"", L' ', true), W{});
}

TEST(XPathText, LastStepProtectsSlashesInTheLastPredicateOnly) {
  EXPECT_EQ(LastStep(L"", -1), L"untouched");
  EXPECT_EQ(LastStep(L"a/b[@x='1/2']", 1), L"b[@x='1/2']");
  // Only the last '[' and ']' count: the slash in the first predicate splits.
  EXPECT_EQ(LastStep(L"a/b[@x='1/2'][@y='3/4']", 9), L"2'][@y='3/4']");
  EXPECT_EQ(LastStep(L"a/b[x/y", 1), L"b[x/y");  // an unclosed predicate protects too
  EXPECT_EQ(LastStep(L"a]/b", 2), L"b");
  EXPECT_EQ(LastStep(L"Item", -1), L"Item");

  CYVXPath xpath(L"Root/Items/Item[@id='a/b']");
  EXPECT_EQ(xpath.SplitLast(), L"Item[@id='a/b']");
  EXPECT_EQ(xpath, L"Root/Items");
  for (const wchar_t* single : {L"/Root", L"Root", L""}) {
    CYVXPath path(single);
    EXPECT_EQ(path.SplitLast(), single[0] == L'/' ? single + 1 : single) << single;
    EXPECT_EQ(path, L"");
  }
  W steps;
  for (const CYVXPathFragment& step : CYVXPath(L"//a/b[@p='x/y']").GetFragments()) steps.emplace_back(step.c_str());
  EXPECT_EQ(steps, (W{L"", L"", L"a", L"b[@p='x", L"y']"}));
}

TEST(XPathText, StepNameAndPrefixIgnoreColonsInsideThePredicate) {
  CYVXPathFragment prefixed(L"cfg:Item[@id='1']");
  EXPECT_EQ(prefixed.GetName(true), L"cfg:Item");
  EXPECT_EQ(prefixed.GetName(false), L"Item");
  EXPECT_EQ(prefixed.GetPrefix(), L"cfg");
  CYVXPathFragment colonInPredicate(L"Item[@a='x:y']");
  EXPECT_EQ(colonInPredicate.GetName(false), L"Item");
  EXPECT_EQ(colonInPredicate.GetPrefix(), L"");
  EXPECT_EQ(CYVXPathFragment(L"cfg:Item").GetName(false), L"Item");
  EXPECT_EQ(CYVXPathFragment(L":Item").GetName(false), L"Item");
  EXPECT_EQ(CYVXPathFragment(L":Item").GetPrefix(), L"");
  EXPECT_EQ(CYVXPathFragment(L"").GetName(true), L"");
}

TEST(XPathText, NamespaceTokensSkipSixCharactersAndStripOneApostropheEachSide) {
  EXPECT_EQ(CXmlSelectionNamespaceString(L"xmlns:cfg='urn:x'").GetPrefix(), L"cfg");
  EXPECT_EQ(CXmlSelectionNamespaceString(L"xmlns:cfg='urn:x'").GetURI(), L"urn:x");
  EXPECT_EQ(CXmlSelectionNamespaceString(L"xmlns:a=urn:x").GetURI(), L"urn:x");
  EXPECT_EQ(CXmlSelectionNamespaceString(L"xmlns:a=''").GetURI(), L"");
  EXPECT_EQ(CXmlSelectionNamespaceString(L"xmlns:a='").GetURI(), L"");
  EXPECT_EQ(CXmlSelectionNamespaceString(L"xmlns:a=\"u\"").GetURI(), L"\"u\"");
  EXPECT_EQ(CXmlSelectionNamespaceString(L"xmlns:a").GetURI(), L"");
  EXPECT_EQ(CXmlSelectionNamespaceString(L"xmlns:").GetPrefix(), L"");
  EXPECT_EQ(CXmlSelectionNamespaceString(L"xmlns:ab").GetPrefix(), L"ab");
  EXPECT_EQ(CXmlSelectionNamespaceString(L"xmlns='urn:x'").GetPrefix(), L"'urn:x'");
}

TEST(XPathText, PlaceholdersAndDeclarations) {
  EXPECT_EQ(Substituted(L"a%1b%2c", {L"X"}), L"aXb?c");
  EXPECT_EQ(Substituted(L"100%", {L"X"}), L"100%");
  EXPECT_EQ(Substituted(L"%%1 %a [%1]", {L"X"}), L"%X %a [X]");
  EXPECT_EQ(Substituted(L"[%1]", {nullptr}), L"[]");
  std::vector<const wchar_t*> many(11, L"-");
  many[9] = L"ten";
  EXPECT_EQ(Substituted(L"%A|%B|%Z", many), L"ten|-|?");

  EXPECT_EQ(StripLeadingXmlDeclarations(L"\xFEFF<?xml version=\"1.0\"?>\r\n<?xml version=\"1.0\" encoding=\"UTF-8\"?><r/>"),
            L"<r/>");
  EXPECT_EQ(StripLeadingXmlDeclarations(L"<?xml-stylesheet href=\"a\"?><r/>"), L"<?xml-stylesheet href=\"a\"?><r/>");
  EXPECT_EQ(StripLeadingXmlDeclarations(L"<r><?xml version=\"1.0\"?></r>"), L"<r><?xml version=\"1.0\"?></r>");
}
