#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "database/CIndexedElementSource.h"
#include "database/CQueryElementSource.h"
#include "database/CXPathEmitter.h"
#include "kit/TempFolder.h"
#include "kit/TestPackage.h"
#include "support/com_exception.h"
#include "unit/database/XmlTables.h"

namespace {

using namespace xml_tables;

enum class Walk { kQueryPerElement, kIndexed };

// What one walk of a file leaves: every emitted element as one line, then
// the root's name and namespace.
struct WalkOutcome {
  UINT result = 0;
  std::vector<std::wstring> elements;
  std::wstring rootName;
  std::wstring rootNamespace;
};

WalkOutcome WalkFile(MSIHANDLE database, const std::wstring& fileKey, Walk walk, bool relativeRoot = false) {
  CXPathEmitter emitter(database);
  emitter.SetResolver(&emitter);
  emitter.SetRelativeRoot(relativeRoot);
  CIndexedElementSource indexed(database);
  if (walk == Walk::kIndexed) emitter.SetRowSource(&indexed);
  WalkOutcome outcome;
  outcome.result = emitter.EmitFile(fileKey);
  for (const auto& [key, element] : emitter.elements()) {
    outcome.elements.push_back(std::wstring(key.c_str()) + L" -> " + element->xpath.c_str() + L" | " +
                               std::to_wstring(element->flags) + L" | " + element->content.c_str());
  }
  outcome.rootName = emitter.rootName().c_str();
  outcome.rootNamespace = emitter.rootNamespace().c_str();
  return outcome;
}

using Lines = std::vector<std::wstring>;

class ElementWalkTest : public ::testing::TestWithParam<Walk> {
 protected:
  ElementWalkTest() : package_(folder_.File(L"walk.msi")) {}
  MSIHANDLE db() { return package_.database(); }
  WalkOutcome Run(const std::wstring& file, bool relative = false) { return WalkFile(db(), file, GetParam(), relative); }

  TempFolder folder_;
  TestPackage package_;
};

// A configuration file authored as a tree: only the element that carries
// work gets a record; the elements that merely lead to it do not.
TEST_P(ElementWalkTest, PassThroughElementsAreDroppedAndTheRootNameLeadsTheXPath) {
  CreateElementTable(db());
  CreateAttributeTable(db());
  AddElement(db(), L"Root", L"F", L"", L"configuration");
  AddElement(db(), L"Settings", L"F", L"Root", L"appSettings");
  AddElement(db(), L"Add", L"F", L"Settings", L"add", L"", 0x1);

  WalkOutcome absolute = Run(L"F");
  EXPECT_EQ(absolute.result, 0u);
  EXPECT_EQ(absolute.elements, Lines{L"Add -> //appSettings/add | 1 | "});
  EXPECT_EQ(absolute.rootName, L"configuration");
  EXPECT_EQ(absolute.rootNamespace, L"");

  WalkOutcome relative = Run(L"F", true);
  EXPECT_EQ(relative.elements, Lines{L"Add -> ./appSettings/add | 1 | "});
}

// Only the low four flag bits (create or remove) make a parent element work
// of its own; content bits alone do not, content and attributes do.
TEST_P(ElementWalkTest, AParentIsEmittedOnlyForWorkFlagsContentOrAttributes) {
  CreateElementTable(db());
  CreateAttributeTable(db());
  AddElement(db(), L"R", L"F", L"", L"root");
  AddElement(db(), L"ContentBitsOnly", L"F", L"R", L"a", L"", 0x10);
  AddElement(db(), L"ContentBitsOnly.c", L"F", L"ContentBitsOnly", L"c");
  AddElement(db(), L"RemoveOnUninstall", L"F", L"R", L"b", L"", 0x8);
  AddElement(db(), L"RemoveOnUninstall.c", L"F", L"RemoveOnUninstall", L"c");
  AddElement(db(), L"WithContent", L"F", L"R", L"d", L"text");
  AddElement(db(), L"WithContent.c", L"F", L"WithContent", L"c");
  AddElement(db(), L"WithAttribute", L"F", L"R", L"e");
  AddElement(db(), L"WithAttribute.c", L"F", L"WithAttribute", L"c");
  AddAttribute(db(), L"A1", L"WithAttribute", L"id", L"1", 1);

  EXPECT_EQ(Run(L"F").elements, (Lines{
                                    L"ContentBitsOnly.c -> //a/c | 0 | ",
                                    L"RemoveOnUninstall -> //b | 8 | ",
                                    L"RemoveOnUninstall.c -> //b/c | 0 | ",
                                    L"WithAttribute -> //e | 0 | ",
                                    L"WithAttribute.c -> //e/c | 0 | ",
                                    L"WithContent -> //d | 0 | text",
                                    L"WithContent.c -> //d/c | 0 | ",
                                }));
}

// The root row's step decides how every path starts.
TEST_P(ElementWalkTest, RootStepsGiveThePathsTheFormatDefines) {
  CreateElementTable(db());
  CreateAttributeTable(db());
  AddElement(db(), L"SlashRoot", L"Slash", L"", L"/");
  AddAttribute(db(), L"A", L"SlashRoot", L"version", L"2", 1);
  AddElement(db(), L"SlashChild", L"Slash", L"SlashRoot", L"c");
  AddElement(db(), L"PathRoot", L"Path", L"", L"/a", L"x");
  AddElement(db(), L"PathChild", L"Path", L"PathRoot", L"c");
  AddElement(db(), L"EmptyRoot", L"Empty", L"", L"", L"x");
  AddElement(db(), L"EmptyChild", L"Empty", L"EmptyRoot", L"c");
  AddElement(db(), L"Leaf", L"Leaf", L"", L"only");

  EXPECT_EQ(Run(L"Slash").elements, (Lines{L"SlashChild -> /c | 0 | ", L"SlashRoot -> / | 0 | "}));
  EXPECT_EQ(Run(L"Slash").rootName, L"");
  EXPECT_EQ(Run(L"Path").elements, (Lines{L"PathChild -> //a/c | 0 | ", L"PathRoot -> //a | 0 | x"}));
  EXPECT_EQ(Run(L"Path").rootName, L"");
  EXPECT_EQ(Run(L"Empty").elements, (Lines{L"EmptyChild -> /c | 0 | ", L"EmptyRoot -> / | 0 | x"}));
  // A leaf with nothing to do is still emitted: it may have to be created.
  WalkOutcome leaf = Run(L"Leaf");
  EXPECT_EQ(leaf.elements, Lines{L"Leaf -> // | 0 | "});
  EXPECT_EQ(leaf.rootName, L"only");
}

TEST_P(ElementWalkTest, TheRootNamespaceIsTheLastAttributeNamedExactlyXmlns) {
  CreateElementTable(db());
  CreateAttributeTable(db());
  AddElement(db(), L"R", L"F", L"", L"project");
  AddAttribute(db(), L"A1", L"R", L"xmlns", L"urn:first", 1);
  AddAttribute(db(), L"A2", L"R", L"XMLNS", L"urn:wrong-case", 1);
  AddAttribute(db(), L"A3", L"R", L"xmlns", L"urn:last", 1);
  AddAttribute(db(), L"A4", L"R", L"xmlns:p", L"urn:prefixed", 1);
  EXPECT_EQ(Run(L"F").rootNamespace, L"urn:last");

  AddElement(db(), L"R2", L"G", L"", L"project");
  AddAttribute(db(), L"B1", L"R2", L"Xmlns", L"urn:wrong-case", 1);
  EXPECT_EQ(Run(L"G").rootNamespace, L"");
}

TEST_P(ElementWalkTest, MissingTablesAndRootsEmitNothing) {
  // No element table at all: nothing to do, and no error.
  WalkOutcome noTable = Run(L"F");
  EXPECT_EQ(noTable.result, 0u);
  EXPECT_TRUE(noTable.elements.empty());

  CreateElementTable(db());
  AddElement(db(), L"Child", L"F", L"Elsewhere", L"c");
  WalkOutcome noRoot = Run(L"F");
  EXPECT_EQ(noRoot.result, static_cast<UINT>(ERROR_NO_MORE_ITEMS));
  EXPECT_TRUE(noRoot.elements.empty());
  EXPECT_EQ(noRoot.rootName, L"");

  // Without the attribute table, a parent without content is a pass-through
  // and the root has no namespace.
  AddElement(db(), L"R", L"G", L"", L"root");
  AddElement(db(), L"Mid", L"G", L"R", L"mid");
  AddElement(db(), L"Leaf", L"G", L"Mid", L"leaf");
  WalkOutcome noAttributes = Run(L"G");
  EXPECT_EQ(noAttributes.elements, Lines{L"Leaf -> //mid/leaf | 0 | "});
  EXPECT_EQ(noAttributes.rootNamespace, L"");
}

// Children are found by their parent's key alone: a row of another file
// hanging under this file's element belongs to this walk.
TEST_P(ElementWalkTest, ChildrenAreFoundByParentKeyWhateverTheirFile) {
  CreateElementTable(db());
  CreateAttributeTable(db());
  AddElement(db(), L"R", L"F", L"", L"root");
  AddElement(db(), L"Foreign", L"G", L"R", L"foreign", L"", 1);
  EXPECT_EQ(Run(L"F").elements, Lines{L"Foreign -> //foreign | 1 | "});
}

// Rows whose parent does not exist are never reached; rows that name each
// other, or themselves, as parent form loops the walk must leave alone.
TEST_P(ElementWalkTest, OrphansAndLoopsAreNotReachedAndTheWalkEnds) {
  CreateElementTable(db());
  CreateAttributeTable(db());
  AddElement(db(), L"R", L"F", L"", L"root");
  AddElement(db(), L"Kept", L"F", L"R", L"kept", L"", 1);
  AddElement(db(), L"Orphan", L"F", L"NoSuchParent", L"orphan", L"", 1);
  AddElement(db(), L"LoopA", L"F", L"LoopB", L"a", L"", 1);
  AddElement(db(), L"LoopB", L"F", L"LoopA", L"b", L"", 1);
  AddElement(db(), L"Self", L"F", L"Self", L"self", L"", 1);
  EXPECT_EQ(Run(L"F").elements, Lines{L"Kept -> //kept | 1 | "});
}

// With a key that is unique only together with its file (not the schema's
// layout, but a table an author could make), a loop can be reached from a
// root. The walk enters each key once per file, so it still ends.
TEST_P(ElementWalkTest, ALoopReachableFromTheRootThroughRepeatedKeysEnds) {
  CreateElementTable(db(), L"`YVXmlElement`, `YVXmlFile_`");
  CreateAttributeTable(db());
  AddElement(db(), L"A", L"F", L"", L"root");
  AddElement(db(), L"B", L"G", L"A", L"b", L"", 1);
  AddElement(db(), L"A", L"G", L"B", L"a", L"", 1);
  WalkOutcome outcome = Run(L"F");
  EXPECT_EQ(outcome.elements, Lines{L"B -> //b | 1 | "});
}

TEST_P(ElementWalkTest, ATableWithoutTheParentColumnFailsAsAnInstallerError) {
  RunSql(db(), L"CREATE TABLE `YVXmlElement` (`YVXmlElement` CHAR(72) NOT NULL, `YVXmlFile_` CHAR(72), "
               L"`Parent` CHAR(72), `ElementPath` LONGCHAR, `Text` LONGCHAR, `Flags` LONG PRIMARY KEY `YVXmlElement`)");
  Insert(db(), L"YVXmlElement", {L"YVXmlElement", L"YVXmlFile_", L"Parent", L"ElementPath", L"Text", L"Flags"},
         {L"R", L"F", L"", L"root", L"", 0});
  try {
    Run(L"F");
    FAIL() << "the walk must not succeed on a table it cannot query";
  } catch (const com_exception& e) {
    EXPECT_EQ(e.result(), HRESULT_FROM_WIN32(ERROR_BAD_QUERY_SYNTAX));
  }
}

// Keys and steps with brackets, non-ASCII characters and 2,000 characters.
TEST_P(ElementWalkTest, UnusualKeysAndLongStepsAreWalkedWhole) {
  CreateElementTable(db());
  CreateAttributeTable(db());
  std::wstring longStep(2000, L'x');
  AddElement(db(), L"R[1]", L"F\u00e9", L"", L"r\u00f6\u00f6t");
  AddElement(db(), L"\u65e5\u672c", L"F\u00e9", L"R[1]", L"add[@key='a b']", L"", 1);
  AddElement(db(), L"Long", L"F\u00e9", L"R[1]", longStep, std::wstring(2000, L'c'), 1);
  WalkOutcome outcome = Run(L"F\u00e9");
  ASSERT_EQ(outcome.elements.size(), 2u);
  EXPECT_EQ(outcome.elements[0], L"Long -> //" + longStep + L" | 1 | " + std::wstring(2000, L'c'));
  EXPECT_EQ(outcome.elements[1], L"\u65e5\u672c -> //add[@key='a b'] | 1 | ");
  EXPECT_EQ(outcome.rootName, L"r\u00f6\u00f6t");
}

INSTANTIATE_TEST_SUITE_P(BothWalks, ElementWalkTest, ::testing::Values(Walk::kQueryPerElement, Walk::kIndexed),
                         [](const ::testing::TestParamInfo<Walk>& info) {
                           return info.param == Walk::kIndexed ? std::string("Indexed") : std::string("QueryPerElement");
                         });

class ElementWalkLimitsTest : public ::testing::Test {
 protected:
  ElementWalkLimitsTest() : package_(folder_.File(L"limits.msi")) {
    CreateElementTable(db());
    CreateAttributeTable(db());
  }
  MSIHANDLE db() { return package_.database(); }

  TempFolder folder_;
  TestPackage package_;
};

// The installer's SQL has no escape for an apostrophe inside a literal, so a
// query that names such a key is refused. The tables read once never put a
// key into SQL text, and walk the same tree.
TEST_F(ElementWalkLimitsTest, KeysWithApostrophesAreRefusedByPerElementQueriesButWalkedFromTheIndex) {
  AddElement(db(), L"R", L"F", L"", L"root");
  AddElement(db(), L"O'Brien", L"F", L"R", L"person", L"", 0);
  AddElement(db(), L"Name", L"F", L"O'Brien", L"name", L"", 1);
  AddAttribute(db(), L"A", L"O'Brien", L"id", L"7", 1);

  EXPECT_THROW(WalkFile(db(), L"F", Walk::kQueryPerElement), com_exception);
  WalkOutcome indexed = WalkFile(db(), L"F", Walk::kIndexed);
  EXPECT_EQ(indexed.elements, (Lines{L"Name -> //person/name | 1 | ", L"O'Brien -> //person | 0 | "}));
}

// A query longer than the SQL buffer is refused whole, never cut into a
// different query.
TEST_F(ElementWalkLimitsTest, AKeyTooLongForTheQueryBufferIsRefusedNotCut) {
  std::wstring longKey(2100, L'k');
  AddElement(db(), L"R", L"F", L"", L"root");
  try {
    WalkFile(db(), longKey, Walk::kQueryPerElement);
    FAIL() << "an overlong query must be refused";
  } catch (const com_exception& e) {
    EXPECT_EQ(e.result(), HRESULT_FROM_WIN32(ERROR_BAD_QUERY_SYNTAX));
  }
  EXPECT_EQ(WalkFile(db(), longKey, Walk::kIndexed).result, static_cast<UINT>(ERROR_NO_MORE_ITEMS));
}

// The walk keeps its own stack: a tree as deep as the table is long does not
// exhaust the thread's stack.
TEST_F(ElementWalkLimitsTest, ATenThousandLevelChainIsWalked) {
  AddElement(db(), L"E0", L"F", L"", L"root");
  for (int i = 1; i < 10000; ++i)
    AddElement(db(), L"E" + std::to_wstring(i), L"F", L"E" + std::to_wstring(i - 1), L"n", L"",
               i == 9999 ? 1 : 0);
  WalkOutcome outcome = WalkFile(db(), L"F", Walk::kIndexed);
  ASSERT_EQ(outcome.elements.size(), 1u);
  std::wstring expected = L"E9999 -> /";
  for (int i = 1; i < 10000; ++i) expected += L"/n";
  EXPECT_EQ(outcome.elements[0], expected + L" | 1 | ");
}

TEST(JoinXPathTest, JoinsWithOneSlashAndNormalisesNothingElse) {
  EXPECT_EQ(CXPathEmitter::JoinXPath(L"/", L"/"), L"/");
  EXPECT_EQ(CXPathEmitter::JoinXPath(L"/", L"/a"), L"//a");
  EXPECT_EQ(CXPathEmitter::JoinXPath(L"//", L"a"), L"//a");
  EXPECT_EQ(CXPathEmitter::JoinXPath(L"//a", L"b"), L"//a/b");
  EXPECT_EQ(CXPathEmitter::JoinXPath(L"./", L"b"), L"./b");
  EXPECT_EQ(CXPathEmitter::JoinXPath(L"", L"b"), L"b");
  EXPECT_EQ(CXPathEmitter::JoinXPath(L"/a", L""), L"/a/");
  EXPECT_EQ(CXPathEmitter::JoinXPath(L"/a", L"/b"), L"/a//b");
}

}  // namespace
