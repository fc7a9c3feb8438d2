#pragma once

#include <windows.h>
#include <msi.h>

#include <set>
#include <string>

#include "CPreviewOutput.h"
#include "CPreviewProperties.h"
#include "support/SecretMask.h"
#include "yvxmlcfg/IXmlTestHarness.h"

// What the module's test pass asks of its host, answered for a preview: the
// package's database, every file, every component installed (or every one
// uninstalled), values resolved from the preview's properties, and the log
// printed as it comes, with the values of the properties that
// MsiHiddenProperties lists masked as an installation masks them.
//
// Folders are only ever taken from the properties, whose folder values the
// command line's --dir options set; the preview has checked, before the pass
// starts, that every file those folders give lies inside one of them.
class CPreviewHarness final : public IXmlTestHarness {
 public:
  // Reads the element steps of the database's YVXmlElement table.
  CPreviewHarness(MSIHANDLE database, bool install, const CPreviewProperties& properties, CPreviewOutput& output);

  void LogLine(const wchar_t* text) override;
  DWORD ResolveValue(int kind, const wchar_t* source, wchar_t* buffer, DWORD bufferSize) override;
  MSIHANDLE GetDatabase() override { return database_; }
  DWORD GetFileKeyFilter(wchar_t* buffer) override;
  bool IsInstall() override { return install_; }
  bool UseProgressPlaceholder(const wchar_t* propertyName, wchar_t* buffer, DWORD bufferSize) override;

  // The pass's result, from its last log line; false when the pass never
  // got that far.
  bool hasResult() const noexcept { return hasResult_; }
  int result() const noexcept { return result_; }

  // Value kinds: a text, the name of a folder property.
  static constexpr int kKindText = 1;
  static constexpr int kKindFolderProperty = 2;

 private:
  MSIHANDLE database_;
  // The test pass hands element steps (add[@key='x']) to ResolveValue as
  // plain text, the same kind as contents and attribute values. An
  // installation formats the latter only, so the steps must come back as
  // they are: they are recognised by their text.
  std::set<std::wstring> elementSteps_;
  bool install_;
  const CPreviewProperties& properties_;
  yv::SecretMask secrets_;
  CPreviewOutput& output_;
  bool hasResult_ = false;
  int result_ = 0;
};
