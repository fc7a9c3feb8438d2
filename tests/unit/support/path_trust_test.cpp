#include <windows.h>
#include <gtest/gtest.h>

#include <sddl.h>

#include "kit/TempFolder.h"
#include "support/PathTrust.h"
#include "support/UniqueHandle.h"

using yv::PathKind;

namespace {

// A folder, then given the permissions `sddl` describes. (Wine turns
// permissions into Unix mode bits; those given at creation lose what the
// umask removes, those set afterwards do not.)
bool MakeFolder(const std::wstring& path, const wchar_t* sddl) {
  yv::UniqueLocalMemory<PSECURITY_DESCRIPTOR> descriptor;
  return ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, descriptor.put(), nullptr) &&
         CreateDirectoryW(path.c_str(), nullptr) &&
         SetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, descriptor.get());
}

}  // namespace

// Links themselves cannot be made from Windows code under Wine (it maps
// Unix links only); the end-to-end tests plant them from outside. Here: what
// is no link is recognised as such in each spelling, and a folder anyone may
// write to is never taken for a private one.
TEST(PathTrust, PlainPathsPassAndFoldersOthersMayWriteAreRefused) {
  TempFolder folder;
  WriteFileBytes(folder.File(L"Long settings name.xml"), "<a/>");
  wchar_t shortName[MAX_PATH] = L"";
  GetShortPathNameW(folder.File(L"Long settings name.xml").c_str(), shortName, MAX_PATH);
  EXPECT_EQ(yv::InspectPath(folder.File(L"Long settings name.xml").c_str()), PathKind::kPlainFile);
  EXPECT_EQ(yv::InspectPath(shortName), PathKind::kPlainFile) << shortName;
  EXPECT_EQ(yv::InspectPath((folder.path() + L"\\.\\Long settings name.xml").c_str()), PathKind::kPlainFile);
  EXPECT_EQ(yv::InspectPath(folder.File(L"new.xml").c_str()), PathKind::kMissing);
  EXPECT_EQ(yv::InspectPath(folder.File(L"no\\such\\new.xml").c_str()), PathKind::kMissing);

  const std::wstring mine = folder.File(L"private"), open = folder.File(L"open");
  EXPECT_TRUE(yv::EnsurePrivateFolder(mine.c_str()));
  EXPECT_TRUE(yv::EnsurePrivateFolder(mine.c_str())) << "a second look finds the same folder";
  ASSERT_TRUE(MakeFolder(open, L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;WD)"));
  EXPECT_FALSE(yv::EnsurePrivateFolder(open.c_str())) << "everyone may write to it";

  // Backups are recognised by folder and name only.
  const yv::_stringw backups = L"C:\\ProgramData\\YVXmlCfg";
  EXPECT_TRUE(yv::IsFileInFolder(L"C:\\ProgramData\\yvxmlcfg\\xml1F.TMP", backups, L"XML", L".tmp"));
  for (const wchar_t* other : {L"C:\\ProgramData\\YVXmlCfg\\sub\\XML1.tmp", L"C:\\ProgramData\\XML1.tmp",
                               L"C:\\ProgramData\\YVXmlCfg\\state.ini", L"C:\\ProgramData\\YVXmlCfg\\XML1.tmp.exe",
                               L"C:\\ProgramData\\YVXmlCfg2\\XML1.tmp", L"XML1.tmp"})
    EXPECT_FALSE(yv::IsFileInFolder(other, backups, L"XML", L".tmp")) << other;
}
