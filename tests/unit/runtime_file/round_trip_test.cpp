#include <gtest/gtest.h>

#include <string>

#include "BagTestKit.h"
#include "config/CXmlCfgPropertyBag.h"
#include "kit/TempFolder.h"
#include "runtime_file/CXmlIniWriter.h"
#include "runtime_file/CXmlMsiIniLoader.h"

namespace {

DescribeOptions AsRead() {
  DescribeOptions options;
  options.rootElementNamespace = false;
  options.namespaceDeclarations = false;
  return options;
}

// Writes `bag` to a fresh file (the writer merges into an existing one) and
// reads it back into `back`; returns the reader's code.
int WriteAndRead(const CXmlCfgPropertyBag& bag, const std::wstring& path, CXmlCfgPropertyBag& back) {
  DeleteFileW(path.c_str());
  CXmlIniWriter writer(path.c_str());
  EXPECT_EQ(bag.Save(writer), 0);
  CXmlMsiIniLoader loader(path.c_str());
  return back.Load(loader);
}

}  // namespace

TEST(RuntimeFileRoundTrip, GeneratedBagsComeBackEqualAndRewriteToTheSameBytes) {
  TempFolder folder;
  std::wstring first = folder.File(L"first.ini");
  std::wstring second = folder.File(L"second.ini");
  RandomBagMaker maker(0x5EED2024);
  int compared = 0;
  for (int round = 0; round < 120; ++round) {
    RandomBagMaker::Shape shape;
    if (round == 0) shape = {0, 0, 0, 0, true};  // no components at all
    if (round == 1) shape = {2, 3, 400, 3, true};  // thousands of records
    CXmlCfgPropertyBag bag;
    maker.Fill(bag, shape);

    CXmlCfgPropertyBag back;
    ASSERT_EQ(WriteAndRead(bag, first, back), 0) << "round " << round;
    ASSERT_EQ(DescribeBag(back, AsRead()), DescribeAfterRoundTrip(bag)) << "round " << round;

    // What was read is what was written: storing it again gives the same
    // bytes, so nothing drifts from one deferred action to the next.
    if (!bag.progressMessages.empty()) {
      CXmlCfgPropertyBag again;
      ASSERT_EQ(WriteAndRead(back, second, again), 0) << "round " << round;
      ASSERT_EQ(ReadFileBytes(second), ReadFileBytes(first)) << "round " << round;
      ++compared;
    }
  }
  EXPECT_GT(compared, 60) << "most generated bags carry their own progress texts";
}
