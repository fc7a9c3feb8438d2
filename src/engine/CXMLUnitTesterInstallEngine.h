#pragma once

#include <windows.h>
#include <msi.h>

#include <memory>

#include "database/CXmlMSILoader.h"
#include "engine/CYVXMLInstallEngine.h"
#include "runtime_file/CRestoreRecord.h"
#include "yvxmlcfg/IXmlTestHarness.h"

// The engine as a test harness runs it, outside any installation: it loads
// the XML-change tables of the harness's database itself (it is its own
// database loader) and installs or uninstalls every component. Log lines and
// value resolution go to the harness; nobody is there to answer a prompt, so
// every load or save failure is an Abort that only shows in the log.
class CXMLUnitTesterInstallEngine : public CYVXMLInstallEngine, public CXmlMSILoader {
 public:
  // The harness is not owned; it outlives the engine.
  explicit CXMLUnitTesterInstallEngine(IXmlTestHarness& harness);
  ~CXMLUnitTesterInstallEngine() override;

  // The whole pass: load the harness's database, install or uninstall, log
  // IDS_TEST_RETURNED with the result, which is also returned.
  int Run();

  // Event operations.
  void OnLogMessage(const wchar_t* text) override;
  DWORD ResolveString(int kind, const wchar_t* source, wchar_t* buffer, DWORD bufferSize) override;
  int OnErrorPrompt(const wchar_t* text, int errorNumber, int detail) override;

  // Loader operations.
  DWORD ResolveValue(int kind, const wchar_t* text, wchar_t* buffer, DWORD bufferSize) override;
  int GetComponentActionState(const wchar_t* component) override;
  DWORD GetFileKeyFilter(wchar_t* buffer) override;
  int GetPropertyValue(const wchar_t* name, wchar_t* buffer, DWORD capacity) override;
  DWORD Resolve(wchar_t* buffer, DWORD capacity) override;

  // An uninstall pass shows what the uninstall would restore of a file with
  // the file flag 0x10: the changes that this machine's record of the
  // package's product holds for it, if there is one.
  int RecordedChanges(const CXmlCfgFileProp& file, XmlChangeList& changes) override;

  // The text that stands in for a progress message the harness does not
  // want read from its database.
  static constexpr const wchar_t* kProgressPlaceholder =
      L"Progress messages are not unsed in Pro projects, this is just a placeholder message";

 private:
  IXmlTestHarness& harness_;
  std::unique_ptr<CRestoreRecord> record_;
};
