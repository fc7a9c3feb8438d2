#include <gtest/gtest.h>

#include "kit/TempFolder.h"
#include "runtime_file/CRuntimeDataStore.h"
#include "runtime_file/RuntimeDataReference.h"
#include "runtime_file/RuntimeFileResults.h"
#include "support/Sha256.h"

namespace {

std::wstring Plain(const yv::_stringw& text) { return text.c_str(); }

}  // namespace

// The action data is taken apart only when it is a path, a SHA-256 and a
// token; a bare path (no digest to check against) or damaged hex is refused.
TEST(RuntimeDataReference, OnlyAPathWithDigestAndTokenIsAccepted) {
  const std::wstring digest(64, L'a'), token(32, L'B'), path = L"C:\\Users\\u\\Temp\\XML1A.tmp";
  RuntimeDataReference parsed;
  ASSERT_TRUE(RuntimeDataReference::Parse((path + L"|" + digest + L"|" + token).c_str(), parsed));
  EXPECT_EQ(Plain(parsed.Format()), path + L"|" + digest + L"|" + token);
  EXPECT_EQ(Plain(parsed.path) + Plain(parsed.token), path + token);
  for (const std::wstring& bad :
       {path, path + L"|" + digest, L"|" + digest + L"|" + token, path + L"|" + digest.substr(1) + L"|" + token,
        path + L"|" + digest + L"|" + token + L"0", path + L"|" + std::wstring(64, L'g') + L"|" + token,
        L"C:\\a|b|" + digest + L"|" + token})
    EXPECT_FALSE(RuntimeDataReference::Parse(bad.c_str(), parsed)) << bad;
}

// The private state is made only from bytes that hash to what costing
// published, is a byte copy of them, and once made is what every later
// action reads: replacing the file in the temporary folder changes nothing.
TEST(RuntimeDataStore, TrustsOnlyTheBytesCostingWroteAndKeepsItsOwnCopy) {
  TempFolder folder;
  const std::string bytes = "\xFF\xFE[\0C\0]\0\r\0\n\0";
  WriteFileBytes(folder.File(L"XML1.tmp"), bytes);
  RuntimeDataReference reference{folder.File(L"XML1.tmp").c_str(), yv::Sha256::HexOf(bytes.data(), bytes.size()),
                                 yv::RandomHexToken()};
  RuntimeDataReference other = reference;
  other.digest[0] = other.digest[0] == L'0' ? L'1' : L'0';

  CRuntimeDataStore refused;
  EXPECT_EQ(refused.Open(other), RuntimeFileResult::kRuntimeDataTampered);
  EXPECT_FALSE(FileExists(Plain(refused.statePath())));

  CRuntimeDataStore store;
  ASSERT_EQ(store.Open(reference), 0);
  EXPECT_EQ(Plain(store.folder()), Plain(CRuntimeDataStore::FolderForThisProcess()));
  EXPECT_EQ(ReadFileBytes(Plain(store.statePath())), bytes);

  WriteFileBytes(folder.File(L"XML1.tmp"), "[Components]\r\nCount=9\r\n");
  CRuntimeDataStore later;
  ASSERT_EQ(later.Open(reference), 0);
  EXPECT_EQ(ReadFileBytes(Plain(later.statePath())), bytes);
  later.Remove();
  EXPECT_FALSE(FileExists(Plain(store.statePath())));
  EXPECT_EQ(later.Open(reference), RuntimeFileResult::kRuntimeDataTampered) << "the changed file is no source";
}
