#pragma once

#include <windows.h>
#include <msi.h>

#include <map>
#include <string>
#include <vector>

#include "CPreviewProperties.h"

// The XML files a package's YVXmlFile table names, resolved the way the
// module resolves them (folder property value, a backslash, the formatted
// file name), checked against the folders the preview may change, and their
// bytes before and after the pass.
class CPreviewFileSet {
 public:
  struct File {
    std::wstring key;
    std::wstring path;  // as the module will open it
    bool existedBefore = false;
    std::string before;
  };

  // Reads the YVXmlFile rows. Each file whose full path is not inside one of
  // `folders` (folder property name -> folder) gets one line in refusals().
  void Resolve(MSIHANDLE database, const CPreviewProperties& properties,
               const std::map<std::wstring, std::wstring>& folders);
  const std::vector<std::wstring>& refusals() const noexcept { return refusals_; }
  const std::vector<File>& files() const noexcept { return files_; }

  // Keeps a copy of every file's bytes; call before the pass.
  void Snapshot();

  // Reads a whole file. False when it cannot be opened (missing).
  static bool ReadBytes(const std::wstring& path, std::string& bytes);
  // The absolute form of `path` with "." and ".." taken out, as the file
  // system will see it.
  static std::wstring Normalize(const std::wstring& path);
  // Whether `path` lies inside `folder` (both normalized, any case).
  static bool IsInside(const std::wstring& path, const std::wstring& folder);

 private:
  std::vector<File> files_;
  std::vector<std::wstring> refusals_;
};
