// How the costing action's cost grows with the number of element rows.
//
// For three shapes of element tree (many files of 100 elements, files of one
// chain 1,000 deep, one flat file) it builds packages of 1,000 and 10,000 YVXmlElement
// rows, runs the whole costing in a real installer session, and reports the
// time per run and the ratio between the two sizes; near-linear growth keeps
// the ratio near 10. It also times the database load alone with one query
// per element, the walk the tables' layout suggests, for comparison, and what
// the checks of names and XPaths add to the load of 10,000 rows.
//
// Run: build/wine-run build/bin/bench_costing_bench.exe

#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "actions/CXmlCfgCosting.h"
#include "config/CXmlCfgPropertyBag.h"
#include "database/CXmlMsiMsiLoader.h"
#include "kit/RecordedSession.h"
#include "kit/TempFolder.h"
#include "kit/TestPackage.h"
#include "kit/XmlTables.h"

namespace {

using namespace xml_tables;

enum class Shape { kManyFiles, kDeep, kFlat };

const char* ShapeName(Shape shape) {
  switch (shape) {
    case Shape::kManyFiles:
      return "files of 100 elements";
    case Shape::kDeep:
      return "files of one deep chain";
    case Shape::kFlat:
      return "one file, flat";
  }
  return "";
}

// A package of `rows` element rows in the given shape. Leaves carry work
// (create, content) and every fourth element an attribute; the elements of
// the deep chain between root and leaf only lead the way, as in real trees.
std::wstring MakePackage(const TempFolder& folder, Shape shape, int rows) {
  std::wstring path =
      folder.File(L"bench_" + std::to_wstring(static_cast<int>(shape)) + L"_" + std::to_wstring(rows) + L".msi");
  TestPackage package(path);
  MSIHANDLE db = package.database();
  CreateAllTables(db);
  AddProgressMessages(package);
  package.Property(L"XMLDIR", L"C:\\App\\").Property(L"VERSION", L"1.0");
  // A chain stops at 1,000 levels: an XPath of 10,000 steps is beyond what
  // the parser evaluates, and the costing refuses it.
  int perFile = shape == Shape::kManyFiles ? 100 : shape == Shape::kDeep ? 1000 : rows;
  int files = rows / perFile;
  int attribute = 0;
  for (int f = 0; f < files; ++f) {
    std::wstring file = L"File" + std::to_wstring(f);
    AddFile(db, file, file + L".xml", L"Comp" + std::to_wstring(f % 10), L"XMLDIR", 0x1, L"", L"UTF-8");
    std::wstring root = file + L"_0";
    AddElement(db, root, file, L"", L"configuration");
    for (int i = 1; i < perFile; ++i) {
      std::wstring key = file + L"_" + std::to_wstring(i);
      std::wstring parent = shape == Shape::kDeep ? file + L"_" + std::to_wstring(i - 1) : root;
      bool leaf = shape != Shape::kDeep || i == perFile - 1;
      AddElement(db, key, file, parent, L"item[@id='" + std::to_wstring(i) + L"']", leaf ? L"[VERSION]" : L"",
                 leaf ? 0x11 : 0);
      if (leaf && i % 4 == 0) AddAttribute(db, L"A" + std::to_wstring(attribute++), key, L"value", L"v[VERSION]", 0x5);
    }
  }
  package.Commit();
  return path;
}

double Milliseconds(const std::function<void()>& work) {
  double start = Now();
  work();
  return 1000.0 * (Now() - start);
}

// The best of `runs` timings of the whole costing action.
double TimeCosting(const std::wstring& package, int runs) {
  double best = 1e300;
  for (int run = 0; run < runs; ++run) {
    RecordedSession session(package);
    int result = 0;
    double ms = Milliseconds([&] {
      CXmlCfgCosting costing(session.handle());
      result = costing.Run();
    });
    if (result != 0) std::printf("  costing returned %d\n", result);
    wchar_t written[MAX_PATH] = L"";
    DWORD size = MAX_PATH;
    MsiGetPropertyW(session.handle(), L"YVXmlCosting", written, &size);
    DeleteFileW(written);
    best = std::min(best, ms);
  }
  return best;
}

// The database load alone, with the given walk, with or without the checks
// of names, XPaths and prefix lists.
double TimeLoad(const std::wstring& package, CXmlMSILoader::ElementWalk walk, bool checks = true) {
  RecordedSession session(package);
  return Milliseconds([&] {
    CXmlMsiMsiLoader loader;
    loader.SetInstallHandle(session.handle());
    loader.SetElementWalk(walk);
    loader.authoringCheck().SetEnabled(checks);
    CXmlCfgPropertyBag bag;
    bag.Load(loader);
  });
}

}  // namespace

int main() {
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  TempFolder folder;
  std::printf("Costing (tables read once), best of 5 runs, and the load alone with one query per element.\n\n");
  std::printf("%-24s %12s %12s %7s   %14s %14s %7s   %s\n", "shape", "1,000 rows", "10,000 rows", "ratio",
              "query 1,000", "query 10,000", "ratio", "checked/unchecked load");
  double worst = 0;
  for (Shape shape : {Shape::kManyFiles, Shape::kDeep, Shape::kFlat}) {
    std::wstring small = MakePackage(folder, shape, 1000);
    std::wstring large = MakePackage(folder, shape, 10000);
    double smallMs = TimeCosting(small, 5);
    double largeMs = TimeCosting(large, 5);
    double querySmall = TimeLoad(small, CXmlMSILoader::ElementWalk::kQueryPerElement);
    double queryLarge = TimeLoad(large, CXmlMSILoader::ElementWalk::kQueryPerElement);
    double checked = TimeLoad(large, CXmlMSILoader::ElementWalk::kIndexed);
    double unchecked = TimeLoad(large, CXmlMSILoader::ElementWalk::kIndexed, false);
    worst = std::max(worst, largeMs / smallMs);
    std::printf("%-24s %9.1f ms %9.1f ms %7.1f   %11.1f ms %11.1f ms %7.1f   %.2f\n", ShapeName(shape), smallMs,
                largeMs, largeMs / smallMs, querySmall, queryLarge, queryLarge / querySmall, checked / unchecked);
  }
  std::printf("\nWorst costing ratio: %.1f (limit 15)\n", worst);
  if (SUCCEEDED(com)) CoUninitialize();
  return worst <= 15.0 ? 0 : 1;
}
