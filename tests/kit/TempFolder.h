#pragma once

#include <set>
#include <string>

// A fresh folder under the temporary folder, removed with everything in it
// (read-only files too) when the test is done.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::wstring& path() const { return path_; }
  std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

// Whole-file helpers for fixtures and assertions.
std::string ReadFileBytes(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool FileExists(const std::wstring& path);
// The module's files in `folder`, the temporary folder by default (backups
// and runtime data files, named XML*.tmp), as full paths. Test programs
// running side by side share the folder, so compare only what a test can
// tell apart as its own.
std::set<std::wstring> TemporaryModuleFiles(std::wstring folder = L"");
