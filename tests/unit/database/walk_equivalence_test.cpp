// The loader reads the element tables once and walks them in memory; the
// tables' own layout suggests one query per element. These tests build
// random element trees and prove that both give the same records in the same
// order and the same runtime data file, byte for byte.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "config/CXmlCfgPropertyBag.h"
#include "database/CIndexedElementSource.h"
#include "database/CXPathEmitter.h"
#include "database/CXmlMsiMsiLoader.h"
#include "kit/TempFolder.h"
#include "kit/TestPackage.h"
#include "runtime_file/CXmlIniWriter.h"
#include "unit/database/XmlTables.h"

namespace {

using namespace xml_tables;

enum class TreeShape { kRandom, kDeep, kFlat };

struct ElementSpec {
  std::wstring key, file, parent, step, content;
  Cell flags = Cell(0);
};

struct AttributeSpec {
  std::wstring key, element, name, value;
  int flags;
};

// Random element tables with everything the walk has rules for: pass-through
// parents, the root step forms, namespaces on roots, children of other files,
// rows whose parent is missing, rows in loops, second roots, null flags, and
// a table order unlike the order the tree was made in.
class TreeMaker {
 public:
  explicit TreeMaker(uint32_t seed) : random_(seed) {}

  std::vector<std::wstring> Make(MSIHANDLE db, TreeShape shape, int files, int elementsPerFile) {
    std::vector<std::wstring> fileKeys;
    std::vector<ElementSpec> elements;
    for (int f = 0; f < files; ++f) {
      std::wstring file = L"File" + std::to_wstring(f) + Pick({L"", L"\u00e9", L"[x]"});
      fileKeys.push_back(file);
      std::vector<std::wstring> keys;
      int roots = Chance(10) ? 0 : Chance(10) ? 2 : 1;
      for (int i = 0; i < elementsPerFile; ++i) {
        ElementSpec e;
        e.key = Pick({L"k", L"K", L"\u00fc", L"z", L"a.b"}) + std::to_wstring(f) + L"_" + std::to_wstring(i);
        e.file = file;
        if (i < roots) {
          e.parent = L"";
          e.step = Pick({L"configuration", L"configuration", L"/", L"/root", L"", L"p:root"});
        } else if (keys.empty()) {
          e.parent = L"NoRootYet";
          e.step = L"lost";
        } else {
          e.parent = ParentFor(shape, keys, elements, f);
          e.step = Pick({L"a", L"b", L"item", L"add[@key='k1']", L"x:y", L"/abs", L"", L"text()", L"\u00e4\u00f6"});
        }
        e.content = Chance(60) ? L"" : Pick({L"value", L"[ProductName]", L" spaced ", L"\"q\""});
        int flagChoice = static_cast<int>(random_() % 12);
        static const int kFlags[] = {0, 0, 0, 1, 2, 4, 8, 0x10, 0x20, 0x81, 0x19};
        e.flags = flagChoice == 11 ? Cell::Null() : Cell(kFlags[flagChoice]);
        keys.push_back(e.key);
        elements.push_back(e);
      }
      // Two rows that name each other, and one that names itself.
      elements.push_back({L"LoopA" + std::to_wstring(f), file, L"LoopB" + std::to_wstring(f), L"la", L"", Cell(1)});
      elements.push_back({L"LoopB" + std::to_wstring(f), file, L"LoopA" + std::to_wstring(f), L"lb", L"", Cell(1)});
      elements.push_back({L"Self" + std::to_wstring(f), file, L"Self" + std::to_wstring(f), L"s", L"", Cell(1)});
    }

    std::vector<AttributeSpec> attributes;
    for (const ElementSpec& e : elements) {
      int count = Chance(40) ? static_cast<int>(random_() % 4) : 0;
      for (int a = 0; a < count; ++a) {
        attributes.push_back({L"A" + std::to_wstring(attributes.size()) + Pick({L"", L"x", L"\u00df"}), e.key,
                              Pick({L"id", L"name", L"xmlns", L"xmlns", L"XMLNS", L"xmlns:p", L"value"}),
                              Pick({L"urn:one", L"urn:two", L"", L"[Prop]", L"v"}), static_cast<int>(random_() % 32)});
      }
    }

    std::shuffle(elements.begin(), elements.end(), random_);
    std::shuffle(attributes.begin(), attributes.end(), random_);
    for (const ElementSpec& e : elements)
      Insert(db, L"YVXmlElement",
             {L"YVXmlElement", L"YVXmlFile_", L"YVXmlElement_Parent", L"ElementPath", L"Text", L"Flags"},
             {e.key, e.file, e.parent, e.step, e.content, e.flags});
    for (const AttributeSpec& a : attributes) AddAttribute(db, a.key, a.element, a.name, a.value, a.flags);
    for (size_t f = 0; f < fileKeys.size(); ++f)
      AddFile(db, fileKeys[f], L"file.xml", L"Comp" + std::to_wstring(f % 3), L"DIR_" + std::to_wstring(f),
              Chance(50) ? 0x8 : 0x1, L"xmlns:p='urn:p'", L"UTF-8");
    return fileKeys;
  }

 private:
  std::wstring ParentFor(TreeShape shape, const std::vector<std::wstring>& keys,
                         const std::vector<ElementSpec>& elements, int file) {
    switch (shape) {
      case TreeShape::kDeep: return keys.back();
      case TreeShape::kFlat: return keys.front();
      case TreeShape::kRandom: break;
    }
    if (Chance(3)) return L"Missing" + std::to_wstring(random_() % 5);
    if (Chance(4) && elements.size() > keys.size()) {
      // A parent in another file's tree.
      return elements[random_() % (elements.size() - keys.size())].key;
    }
    (void)file;
    return keys[random_() % keys.size()];
  }
  bool Chance(int percent) { return static_cast<int>(random_() % 100) < percent; }
  std::wstring Pick(std::initializer_list<const wchar_t*> choices) {
    return *(choices.begin() + random_() % choices.size());
  }

  std::mt19937 random_;
};

std::vector<std::wstring> DescribeWalk(MSIHANDLE db, const std::wstring& file, bool indexed, bool relative) {
  CXPathEmitter emitter(db);
  CIndexedElementSource source(db);
  if (indexed) emitter.SetRowSource(&source);
  emitter.SetRelativeRoot(relative);
  std::vector<std::wstring> lines;
  lines.push_back(L"result " + std::to_wstring(emitter.EmitFile(file)));
  // Map order is the processing order the loader then follows.
  for (const auto& [key, element] : emitter.elements())
    lines.push_back(std::wstring(key.c_str()) + L" -> " + element->xpath.c_str() + L" | " +
                    std::to_wstring(element->flags) + L" | " + element->content.c_str());
  lines.push_back(L"root " + std::wstring(emitter.rootName().c_str()) + L" ns " + emitter.rootNamespace().c_str());
  return lines;
}

// The runtime data file the costing would write from these tables.
std::string RuntimeDataFileBytes(MSIHANDLE db, CXmlMSILoader::ElementWalk walk, const TempFolder& folder,
                                 const std::wstring& name, size_t* xpathCount) {
  CXmlMsiMsiLoader loader;
  loader.SetDatabase(db);
  loader.SetElementWalk(walk);
  CXmlCfgPropertyBag bag;
  EXPECT_EQ(bag.Load(loader), 0);
  *xpathCount = 0;
  for (const auto& component : bag.components)
    for (const auto& file : component.second->files) *xpathCount += file.second->xpaths.size();
  std::wstring path = folder.File(name);
  CXmlIniWriter writer(path);
  EXPECT_EQ(bag.Save(writer), 0);
  return ReadFileBytes(path);
}

struct EquivalenceCase {
  const char* name;
  TreeShape shape;
  int files;
  int elementsPerFile;
  uint32_t seed;
};

class WalkEquivalenceTest : public ::testing::TestWithParam<EquivalenceCase> {};

TEST_P(WalkEquivalenceTest, IndexedWalkGivesTheRecordsAndFileOfTheQueryWalk) {
  const EquivalenceCase& c = GetParam();
  TempFolder folder;
  TestPackage package(folder.File(L"tree.msi"));
  MSIHANDLE db = package.database();
  CreateAllTables(db);
  AddProgressMessages(package);
  std::vector<std::wstring> files = TreeMaker(c.seed).Make(db, c.shape, c.files, c.elementsPerFile);

  size_t emitted = 0;
  for (const std::wstring& file : files) {
    for (bool relative : {false, true}) {
      std::vector<std::wstring> byQuery = DescribeWalk(db, file, false, relative);
      std::vector<std::wstring> byIndex = DescribeWalk(db, file, true, relative);
      ASSERT_EQ(byQuery, byIndex) << "file " << std::string(file.begin(), file.end());
      emitted += byQuery.size() - 2;
    }
  }
  // The trees must give the comparison something to compare.
  EXPECT_GT(emitted, static_cast<size_t>(c.files));

  size_t queryXPaths = 0, indexedXPaths = 0;
  std::string byQuery =
      RuntimeDataFileBytes(db, CXmlMSILoader::ElementWalk::kQueryPerElement, folder, L"query.ini", &queryXPaths);
  std::string byIndex =
      RuntimeDataFileBytes(db, CXmlMSILoader::ElementWalk::kIndexed, folder, L"indexed.ini", &indexedXPaths);
  EXPECT_GT(queryXPaths, 0u);
  EXPECT_EQ(queryXPaths, indexedXPaths);
  EXPECT_EQ(byQuery.size(), byIndex.size());
  EXPECT_TRUE(byQuery == byIndex) << "the runtime data files differ";
}

INSTANTIATE_TEST_SUITE_P(GeneratedTrees, WalkEquivalenceTest,
                         ::testing::Values(EquivalenceCase{"RandomA", TreeShape::kRandom, 6, 60, 1},
                                           EquivalenceCase{"RandomB", TreeShape::kRandom, 4, 120, 2},
                                           EquivalenceCase{"RandomC", TreeShape::kRandom, 12, 25, 3},
                                           EquivalenceCase{"Deep", TreeShape::kDeep, 1, 800, 4},
                                           EquivalenceCase{"Flat", TreeShape::kFlat, 1, 800, 5},
                                           EquivalenceCase{"ManyFiles", TreeShape::kRandom, 40, 10, 6}),
                         [](const ::testing::TestParamInfo<EquivalenceCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
