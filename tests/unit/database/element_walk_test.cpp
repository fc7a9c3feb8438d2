#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>

#include "database/CIndexedElementSource.h"
#include "database/CQueryElementSource.h"
#include "database/CXPathEmitter.h"
#include "kit/TempFolder.h"
#include "kit/XmlTables.h"

namespace {

using namespace xml_tables;
using Lines = std::vector<std::wstring>;

// What the loader takes from a walk of one file: the result, each record in
// processing order ("key xpath flags content" and its attribute rows), and
// the root's name and namespace. The indexed walk reads the tables once, the
// query walk asks the installer per element.
Lines Walk(MSIHANDLE db, const std::wstring& file, bool indexed, bool relativeRoot = false) {
  CIndexedElementSource index(db);
  CQueryElementSource query(db);
  IElementRowSource& rows = indexed ? static_cast<IElementRowSource&>(index) : query;
  CXPathEmitter emitter(db);
  emitter.SetResolver(&emitter);
  emitter.SetRowSource(&rows);
  emitter.SetRelativeRoot(relativeRoot);
  Lines lines{L"result " + std::to_wstring(emitter.EmitFile(file))};
  for (const auto& [key, element] : emitter.elements()) {
    std::wstring line = std::wstring(key.c_str()) + L" " + element->xpath.c_str() + L" " +
                        std::to_wstring(element->flags) + L" " + element->content.c_str();
    rows.ForEachAttribute(key, [&](const AttributeRow& a) { line += (L" @" + a.name + L"=" + a.value).c_str(); });
    lines.push_back(line);
  }
  lines.push_back(L"root " + std::wstring(emitter.rootName().c_str()) + L" " + emitter.rootNamespace().c_str());
  return lines;
}

}  // namespace

// Only elements that carry work get a record: an element that merely leads
// to its children (no create or remove flag in the low four bits, no content,
// no attributes) is passed through. The root row's step decides how every
// XPath starts, and its last attribute named exactly "xmlns" gives the
// namespace of a file that has to be created.
TEST(ElementWalk, TheIndexedWalkEmitsARecordForEachElementThatCarriesWork) {
  TempFolder folder;
  TestPackage package(folder.File(L"walk.msi"));
  MSIHANDLE db = package.database();
  // Keys unique only together with the file (no real package does this) let
  // a loop of parents be reached from a root (file "Cycle"); the walk enters
  // a key once. Children are found by parent key alone, whatever their file
  // ("Foreign"); orphans and loops not reachable from a root are never
  // walked.
  CreateElementTable(db, L"`YVXmlElement`, `YVXmlFile_`");
  CreateAttributeTable(db);
  const std::wstring longStep(2000, L'x');
  using Row = std::tuple<const wchar_t*, const wchar_t*, const wchar_t*, std::wstring, const wchar_t*, int>;
  for (auto [key, file, parent, step, content, flags] : std::vector<Row>{
           {L"Root", L"Pass", L"", L"configuration", L"", 0}, {L"Settings", L"Pass", L"Root", L"appSettings", L"", 0},
           {L"Add", L"Pass", L"Settings", L"add", L"", 1},    {L"R", L"Kinds", L"", L"root", L"", 0},
           {L"Bits", L"Kinds", L"R", L"a", L"", 0x10},        {L"Bits.c", L"Kinds", L"Bits", L"c", L"", 0},
           {L"Remove", L"Kinds", L"R", L"b", L"", 0x8},       {L"Remove.c", L"Kinds", L"Remove", L"c", L"", 0},
           {L"Text", L"Kinds", L"R", L"d", L"text", 0},       {L"Text.c", L"Kinds", L"Text", L"c", L"", 0},
           {L"Attr", L"Kinds", L"R", L"e", L"", 0},           {L"Attr.c", L"Kinds", L"Attr", L"c", L"", 0},
           {L"O'Brien", L"Kinds", L"R", L"person", L"", 0},   {L"Name", L"Kinds", L"O'Brien", L"name", L"", 1},
           {L"Long", L"Kinds", L"R", longStep, L"", 1},       {L"Orphan", L"Kinds", L"NoSuchParent", L"o", L"", 1},
           {L"LoopA", L"Kinds", L"LoopB", L"la", L"", 1},     {L"LoopB", L"Kinds", L"LoopA", L"lb", L"", 1},
           {L"Self", L"Kinds", L"Self", L"s", L"", 1},        {L"Foreign", L"Other", L"R", L"f", L"", 1},
           {L"Slash", L"Slash", L"", L"/", L"", 0},           {L"Slash.c", L"Slash", L"Slash", L"c", L"", 0},
           {L"Path", L"Path", L"", L"/a", L"x", 0},           {L"Path.c", L"Path", L"Path", L"c", L"", 0},
           {L"NsRoot", L"Ns", L"", L"project", L"", 0},       {L"CycleA", L"Cycle", L"", L"root", L"", 0},
           {L"CycleB", L"Other", L"CycleA", L"b", L"", 1},    {L"CycleA", L"Other", L"CycleB", L"a", L"", 1}})
    AddElement(db, key, file, parent, step, content, flags);
  for (auto [key, element, name, value] : {std::tuple{L"A1", L"Attr", L"id", L"1"},
                                           {L"A2", L"Slash", L"version", L"2"},
                                           {L"N1", L"NsRoot", L"xmlns", L"urn:first"},
                                           {L"N2", L"NsRoot", L"XMLNS", L"urn:case"},
                                           {L"N3", L"NsRoot", L"xmlns", L"urn:last"},
                                           {L"N4", L"NsRoot", L"xmlns:p", L"urn:p"}})
    AddAttribute(db, key, element, name, value, 1);

  EXPECT_EQ(Walk(db, L"Pass", true), (Lines{L"result 0", L"Add //appSettings/add 1 ", L"root configuration "}));
  EXPECT_EQ(Walk(db, L"Pass", true, true), (Lines{L"result 0", L"Add ./appSettings/add 1 ", L"root configuration "}));
  EXPECT_EQ(Walk(db, L"Kinds", true),
            (Lines{L"result 0", L"Attr //e 0  @id=1", L"Attr.c //e/c 0 ", L"Bits.c //a/c 0 ", L"Foreign //f 1 ",
                   L"Long //" + longStep + L" 1 ", L"Name //person/name 1 ", L"Remove //b 8 ", L"Remove.c //b/c 0 ",
                   L"Text //d 0 text", L"Text.c //d/c 0 ", L"root root "}));
  EXPECT_EQ(Walk(db, L"Slash", true), (Lines{L"result 0", L"Slash / 0  @version=2", L"Slash.c /c 0 ", L"root  "}));
  EXPECT_EQ(Walk(db, L"Path", true), (Lines{L"result 0", L"Path //a 0 x", L"Path.c //a/c 0 ", L"root  "}));
  EXPECT_EQ(Walk(db, L"Ns", true), (Lines{L"result 0",
                                          L"NsRoot // 0  @xmlns=urn:first @XMLNS=urn:case @xmlns=urn:last "
                                          L"@xmlns:p=urn:p",
                                          L"root project urn:last"}));
  EXPECT_EQ(Walk(db, L"Cycle", true), (Lines{L"result 0", L"CycleB //b 1 ", L"root root "}));
  EXPECT_EQ(Walk(db, L"Missing", true), (Lines{L"result 259", L"root  "}));
}

// The shipped loader walks the indexed tables; the tables' own layout
// suggests one query per element. For random trees with every shape the walk
// has rules for (pass-through parents, the root step forms, root namespaces,
// children of other files, orphans, parent loops, second roots), in a table
// order unlike the tree's, both give the loader the same records.
TEST(ElementWalk, TheIndexedWalkGivesWhatTheQueryWalkGives) {
  for (uint32_t seed : {1u, 2u, 3u}) {
    TempFolder folder;
    TestPackage package(folder.File(L"tree.msi"));
    MSIHANDLE db = package.database();
    CreateElementTable(db);
    CreateAttributeTable(db);
    std::mt19937 random(seed);
    auto pick = [&](std::vector<std::wstring> choices) { return choices[random() % choices.size()]; };
    std::vector<std::array<std::wstring, 5>> rows;  // key, file, parent, step, content
    for (int f = 0; f < 5; ++f) {
      std::wstring n = std::to_wstring(f), file = L"F" + n;
      rows.insert(rows.end(), {{L"LoopA" + n, file, L"LoopB" + n, L"la", L""},
                               {L"LoopB" + n, file, L"LoopA" + n, L"lb", L""},
                               {L"Self" + n, file, L"Self" + n, L"s", L""}});
      // Up to two roots, then children of one of this file's rows (often the
      // last, for depth), of any file's row, or of none.
      for (size_t i = 0, first = rows.size(); i < 100; ++i) {
        size_t own = first + (random() % 2 ? i - 1 : random() % std::max<size_t>(i, 1)), any = random() % rows.size();
        std::wstring parent = i < 2 && random() % 4          ? L""
                              : i == 0 || random() % 15 == 0 ? L"Missing"
                                                             : rows[random() % 10 ? own : any][0];
        rows.push_back({pick({L"k", L"K", L"\u00fc"}) + n + L"_" + std::to_wstring(i), file, parent,
                        parent.empty() ? pick({L"configuration", L"/", L"/root", L"", L"p:root"})
                                       : pick({L"a", L"item", L"add[@key='k1']", L"x:y", L"/abs", L"", L"\u00e4"}),
                        random() % 3 ? L"" : pick({L"value", L" spaced "})});
      }
    }
    std::shuffle(rows.begin(), rows.end(), random);
    for (const auto& [key, file, parent, step, content] : rows) {
      static const int kFlags[] = {0, 0, 0, 1, 2, 4, 8, 0x10, 0x20, 0x81};
      AddElement(db, key, file, parent, step, content, kFlags[random() % 10]);
      for (unsigned a = random() % 3 ? 0 : random() % 3 + 1; a > 0; --a)
        AddAttribute(db, key + L"@" + std::to_wstring(a), key, pick({L"id", L"xmlns", L"XMLNS", L"xmlns:p"}),
                     pick({L"urn:one", L"urn:two", L""}), 1);
    }
    size_t records = 0;
    for (int f = 0; f < 5; ++f) {
      for (bool relativeRoot : {false, true}) {
        Lines byQuery = Walk(db, L"F" + std::to_wstring(f), false, relativeRoot);
        ASSERT_EQ(byQuery, Walk(db, L"F" + std::to_wstring(f), true, relativeRoot)) << "seed " << seed << " file " << f;
        records += byQuery.size() - 2;
      }
    }
    EXPECT_GT(records, 100u) << "the trees must give the comparison something to compare";
  }
}
