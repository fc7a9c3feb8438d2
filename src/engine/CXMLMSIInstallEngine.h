#pragma once

#include <windows.h>
#include <msi.h>

#include <memory>

#include "actions/CXmlCfgActionBase.h"
#include "engine/CYVXMLInstallEngine.h"
#include "runtime_file/CRestoreRecord.h"
#include "runtime_file/CRuntimeDataStore.h"
#include "runtime_file/RuntimeDataReference.h"

// The engine as the installer runs it in the deferred actions (install,
// uninstall, rollback, commit) and in the finalize action. Its events become
// installer log lines, progress-bar moves, action texts and error boxes; its
// configuration comes from the runtime data file that the costing action
// wrote, whose path each action finds in its data.
class CXMLMSIInstallEngine : public CYVXMLInstallEngine, public CXmlCfgActionBase {
 public:
  explicit CXMLMSIInstallEngine(MSIHANDLE session);
  ~CXMLMSIInstallEngine() override;

  // The actions. Each returns what the export hands the installer.
  int Install();
  int Uninstall();
  int Rollback();
  int Commit() { return CleanUp(true); }
  int Finalize() { return CleanUp(false); }
  // After a failed installation (immediate, as the installing user): deletes
  // the runtime data file the costing wrote, which no later action removes
  // when the failure came before the installation script. Always 0.
  int DiscardRuntimeData();

  // Event operations, routed to the installer session.
  void OnLogMessage(const wchar_t* text) override;
  void OnSetupProgress(DWORD steps, DWORD ticksPerStep) override;
  void OnTickProgress() override;
  void OnNotify() override;
  void OnProgressMessage(const wchar_t* templateName, const wchar_t* argument) override;
  void OnProgressText(const wchar_t* text) override;
  int OnErrorPrompt(const wchar_t* text, int errorNumber, int detail) override;
  bool IsInstallState(int actionState) override;
  bool IsUninstallState(int actionState) override;
  bool IsActionState(int actionState) override;
  int OnFileStateChanged(const CXmlCfgFileProp& file) override;
  yv::_stringw BackupFolder() override;
  int RecordedChanges(const CXmlCfgFileProp& file, XmlChangeList& changes) override;
  int OnChangesRecorded(const CXmlCfgFileProp& file, const XmlChangeList& changes) override;

  // The action text for a file: the bag's text for `templateName` with the
  // argument in place of its placeholder.
  virtual void ShowProgressMessage(const wchar_t* templateName, const wchar_t* argument);
  virtual void ShowProgressText(const wchar_t* text);

 private:
  // Reads this installation's private state into the bag, first making it
  // from the runtime data file named in the action's data if that file is
  // still what costing wrote.
  int LoadRuntimeData(bool deferred);
  int StoreRuntimeData();
  // Commit (deferred) and finalize (immediate, only without rollback): delete
  // the backups and the runtime data file.
  int CleanUp(bool deferred);

  // The product's restore record, read on first use from the private state
  // folder under the session's ProductCode.
  int OpenRestoreRecord();
  int OpenRestoreRecordIfUsed();
  // After the install: the record with this installation's changes, the
  // record as it was kept first for the rollback.
  int StoreRestoreRecord();
  // After an uninstall succeeded: the records of the files whose components
  // were removed are done with.
  void ForgetRemovedFiles();
  // The record of `product`, a product this installation replaces, in
  // `replaced`; left empty for a text that is no ProductCode or names this
  // product. 0, or the code of a record that cannot be trusted or read.
  int OpenReplacedRecord(const yv::_stringw& product, CRestoreRecord& replaced);
  // After an installation that replaced older products succeeded: the files
  // it took over are no longer theirs to restore when their uninstall comes
  // (a major upgrade that removes them after it installs).
  void ForgetTakenOverFiles();

  RuntimeDataReference reference_;
  CRuntimeDataStore store_;
  std::unique_ptr<CRestoreRecord> record_;
  bool recordChanged_ = false;
};
