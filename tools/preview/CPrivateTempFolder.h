#pragma once

#include <string>

// A temporary folder of the preview's own, made the process's temporary
// folder (TMP and TEMP) while the object lives. The module's test pass backs
// every file up into the temporary folder and, without an installation,
// nobody commits those copies away; here they go with the folder.
class CPrivateTempFolder {
 public:
  CPrivateTempFolder();
  ~CPrivateTempFolder();
  CPrivateTempFolder(const CPrivateTempFolder&) = delete;
  CPrivateTempFolder& operator=(const CPrivateTempFolder&) = delete;

  bool ok() const noexcept { return !path_.empty(); }
  const std::wstring& path() const noexcept { return path_; }

 private:
  std::wstring path_;
  std::wstring oldTmp_;
  std::wstring oldTemp_;
  bool hadTmp_ = false;
  bool hadTemp_ = false;
};
