#include <gtest/gtest.h>

#include "kit/TempFolder.h"
#include "runtime_file/CRestoreRecord.h"
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

// What an installation replaces beside its state (the restore record) comes
// back with its rollback: the bytes the first keep found, or no file when
// there was none; Remove drops what was kept.
TEST(RuntimeDataStore, RollbackPutsBackWhatTheFirstKeepFound) {
  TempFolder folder;
  WriteFileBytes(folder.File(L"XML2.tmp"), "[Components]\r\n");
  CRuntimeDataStore store;
  ASSERT_EQ(
      store.Open({folder.File(L"XML2.tmp").c_str(), yv::Sha256::HexOf("[Components]\r\n", 14), yv::RandomHexToken()}),
      0);
  const std::wstring record = folder.File(L"record.ini");
  for (const char* before : {"old", ""}) {
    *before ? WriteFileBytes(record, before) : void(DeleteFileW(record.c_str()));
    EXPECT_EQ(store.KeepForRollback(record.c_str()), 0);
    WriteFileBytes(record, "new");
    EXPECT_EQ(store.KeepForRollback(record.c_str()), 0);
    WriteFileBytes(record, "newer");
    store.PutBackForRollback(record.c_str());
    EXPECT_EQ(FileExists(record) ? ReadFileBytes(record) : "", before);
  }
  EXPECT_EQ(store.KeepForRollback(record.c_str()), 0);
  store.Remove();
  WriteFileBytes(record, "kept");
  store.PutBackForRollback(record.c_str());
  EXPECT_EQ(ReadFileBytes(record), "kept") << "nothing kept, nothing put back";
}

// Only a GUID in braces names a record, in one spelling; a record without
// files is no file.
TEST(RestoreRecord, ProductCodesNameOneFileAndAnEmptyRecordIsDeleted) {
  for (const wchar_t* bad :
       {L"", L"{12345678-1234-1234-1234-1234567890AB", L"..\\{12345678-1234-1234-1234-1234567890AB}",
        L"{12345678-1234-1234-1234-1234567890AG}", L"{12345678-1234-1234-12341-234567890AB}"})
    EXPECT_FALSE(CRestoreRecord::IsProductCode(bad)) << bad;
  EXPECT_TRUE(CRestoreRecord::IsProductCode(L"{12345678-abcd-1234-1234-1234567890AB}"));
  EXPECT_EQ(Plain(CRestoreRecord::PathFor(L"C:\\p", L"{12345678-abcd-1234-1234-1234567890ab}")),
            L"C:\\p\\{12345678-ABCD-1234-1234-1234567890AB}.restore.ini");
  TempFolder folder;
  CRestoreRecord record;
  ASSERT_EQ(record.Open(folder.File(L"r.ini").c_str()), 0);
  record.SetChanges(L"A", L"a.xml", {XmlChange{}});
  ASSERT_EQ(record.Store(), 0);
  EXPECT_TRUE(record.Forget(L"A"));
  EXPECT_FALSE(record.Forget(L"A"));
  EXPECT_EQ(record.Store(), 0);
  EXPECT_FALSE(FileExists(folder.File(L"r.ini")));
}
