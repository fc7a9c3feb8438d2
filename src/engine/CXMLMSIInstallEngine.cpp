#include "engine/CXMLMSIInstallEngine.h"

#include <msiquery.h>

#include "config/ConfigFlags.h"
#include "runtime_file/CXmlIniWriter.h"
#include "runtime_file/CXmlMsiIniLoader.h"
#include "runtime_file/RuntimeFileResults.h"
#include "support/MessageLog.h"
#include "support/PathTrust.h"

namespace {

// The one-argument format of a progress text. Only "%s" takes the argument
// and "%%" stands for '%'; any other '%' is kept as written, so a text from
// the package can never make the formatting read arguments that are not there.
yv::_stringw FormatProgressText(const yv::_stringw& pattern, const wchar_t* argument) {
  yv::_stringw text;
  bool argumentUsed = false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == L'%' && i + 1 < pattern.size()) {
      wchar_t next = pattern[i + 1];
      if (next == L'%') {
        text.push_back(L'%');
        ++i;
        continue;
      }
      if (next == L's' && !argumentUsed) {
        text += argument ? argument : L"";
        argumentUsed = true;
        ++i;
        continue;
      }
    }
    text.push_back(pattern[i]);
  }
  return text;
}

}  // namespace

CXMLMSIInstallEngine::CXMLMSIInstallEngine(MSIHANDLE session) : CXmlCfgActionBase(session) {}

CXMLMSIInstallEngine::~CXMLMSIInstallEngine() = default;

// The message log hands over its lines masked.
void CXMLMSIInstallEngine::OnLogMessage(const wchar_t* text) { WriteLogLine(text); }

void CXMLMSIInstallEngine::OnSetupProgress(DWORD steps, DWORD ticksPerStep) { SetupProgressBar(steps, ticksPerStep); }

void CXMLMSIInstallEngine::OnTickProgress() { IncrementProgressBar(); }

void CXMLMSIInstallEngine::OnNotify() { Notify(); }

// An end user watching the progress dialog sees which XML file is being
// changed, and that a rollback is under way.
void CXMLMSIInstallEngine::OnProgressMessage(const wchar_t* templateName, const wchar_t* argument) {
  ShowProgressMessage(templateName, argument);
}

void CXMLMSIInstallEngine::OnProgressText(const wchar_t* text) { ShowProgressText(text); }

int CXMLMSIInstallEngine::OnErrorPrompt(const wchar_t* text, int errorNumber, int detail) {
  return PromptError(text, errorNumber, detail);
}

bool CXMLMSIInstallEngine::IsInstallState(int state) {
  return state == ComponentActionState::kAdvertised || state == ComponentActionState::kLocal;
}

bool CXMLMSIInstallEngine::IsUninstallState(int state) {
  return state == ComponentActionState::kAdvertised || state == ComponentActionState::kAbsent;
}

bool CXMLMSIInstallEngine::IsActionState(int state) {
  return state == ComponentActionState::kAdvertised || state == ComponentActionState::kAbsent ||
         state == ComponentActionState::kLocal;
}

// A journal record after each backup keeps the state ahead of the files on
// disk: if this process dies part-way, the rollback action still finds every
// backup made so far.
int CXMLMSIInstallEngine::OnFileStateChanged(const CXmlCfgFileProp& file) {
  return store_.statePath().empty() ? 0 : store_.AppendBackupRecord(file);
}

yv::_stringw CXMLMSIInstallEngine::BackupFolder() { return store_.folder(); }

int CXMLMSIInstallEngine::RecordedChanges(const CXmlCfgFileProp& file, XmlChangeList& changes) {
  if (int code = OpenRestoreRecord()) return code;
  // The products this installation replaces changed the file before it did:
  // their changes lie beneath its own, and the undo goes newest first.
  changes.clear();
  for (const yv::_stringw& product : bag().replacedProducts) {
    CRestoreRecord replaced;
    if (int code = OpenReplacedRecord(product, replaced)) return code;
    yv::_stringw key = replaced.FileKeyOf(file.GetFullPath());
    if (key.empty()) continue;
    LogMessage(IDS_RESTORE_TAKEN_OVER, file.GetFullPath(), product);
    XmlChangeList theirs = replaced.Changes(key);
    changes.insert(changes.end(), theirs.begin(), theirs.end());
  }
  XmlChangeList own = record_->Changes(file.key);
  changes.insert(changes.end(), own.begin(), own.end());
  return 0;
}

int CXMLMSIInstallEngine::OpenReplacedRecord(const yv::_stringw& product, CRestoreRecord& replaced) {
  // Only a ProductCode names a record; this product's own is not replaced.
  if (!CRestoreRecord::IsProductCode(product) ||
      CompareStringOrdinal(product.c_str(), -1, GetProperty(L"ProductCode").c_str(), -1, TRUE) == CSTR_EQUAL)
    return 0;
  return replaced.Open(CRestoreRecord::PathFor(store_.folder(), product));
}

int CXMLMSIInstallEngine::OnChangesRecorded(const CXmlCfgFileProp& file, const XmlChangeList& changes) {
  if (int code = OpenRestoreRecord()) return code;
  record_->SetChanges(file.key, file.GetFullPath(), changes);
  recordChanged_ = true;
  return 0;
}

int CXMLMSIInstallEngine::OpenRestoreRecord() {
  if (record_) return 0;
  yv::_stringw product = GetProperty(L"ProductCode");
  if (!CRestoreRecord::IsProductCode(product)) {
    LogMessage(IDS_NO_PRODUCT_CODE, product);
    return RuntimeFileResult::kNoProductCode;
  }
  auto record = std::make_unique<CRestoreRecord>();
  if (int code = record->Open(CRestoreRecord::PathFor(store_.folder(), product))) return code;
  record_ = std::move(record);
  return 0;
}

// A record that cannot be used stops the action before any file changes.
int CXMLMSIInstallEngine::OpenRestoreRecordIfUsed() {
  for (const auto& component : bag().components) {
    for (const auto& file : component.second->files) {
      if (file.second->attributes & XmlFileFlags::kRestoreOnUninstall) return OpenRestoreRecord();
    }
  }
  return 0;
}

int CXMLMSIInstallEngine::StoreRestoreRecord() {
  if (!recordChanged_) return 0;
  if (int code = store_.KeepForRollback(record_->path())) return code;
  return record_->Store();
}

void CXMLMSIInstallEngine::ForgetRemovedFiles() {
  bool forgotten = false;
  for (const auto& component : bag().components) {
    if (component.second->actionState != ComponentActionState::kAbsent) continue;
    for (const auto& [key, file] : component.second->files) {
      if ((file->attributes & XmlFileFlags::kRestoreOnUninstall) && OpenRestoreRecord() == 0)
        forgotten = record_->Forget(key) || forgotten;
    }
  }
  if (forgotten) record_->Store();
}

void CXMLMSIInstallEngine::ForgetTakenOverFiles() {
  for (const yv::_stringw& product : bag().replacedProducts) {
    CRestoreRecord replaced;
    if (OpenReplacedRecord(product, replaced) != 0) continue;
    bool forgotten = false;
    for (const auto& component : bag().components) {
      if (!IsInstallState(component.second->actionState)) continue;
      for (const auto& file : component.second->files) {
        if (!(file.second->attributes & XmlFileFlags::kRestoreOnUninstall)) continue;
        yv::_stringw key = replaced.FileKeyOf(file.second->GetFullPath());
        forgotten = (!key.empty() && replaced.Forget(key)) || forgotten;
      }
    }
    if (forgotten) replaced.Store();
  }
}

void CXMLMSIInstallEngine::ShowProgressMessage(const wchar_t* templateName, const wchar_t* argument) {
  yv::_stringw pattern = bag().GetProgressMessage(templateName ? templateName : L"");
  ProgressMessage(pattern.empty() ? L"" : FormatProgressText(pattern, argument).c_str());
}

void CXMLMSIInstallEngine::ShowProgressText(const wchar_t* text) { ProgressMessage(text); }

int CXMLMSIInstallEngine::LoadRuntimeData(bool deferred) {
  yv::_stringw data = GetRuntimeDataPath(deferred);
  if (data.empty()) return RuntimeFileResult::kNoPath;
  // A bare path, as an older costing or a hand-made action data would give,
  // carries no digest to check the file against: it is not trusted either.
  if (!RuntimeDataReference::Parse(data, reference_)) {
    LogMessage(IDS_RUNTIME_DATA_TAMPERED, data);
    return RuntimeFileResult::kRuntimeDataTampered;
  }
  if (int code = store_.Open(reference_)) return code;
  CXmlMsiIniLoader loader(store_.statePath());
  if (int code = CYVXMLInstallEngine::Load(loader)) return code;
  store_.ApplyBackupRecords(bag());
  return 0;
}

int CXMLMSIInstallEngine::StoreRuntimeData() {
  CXmlIniWriter writer(store_.statePath());
  int code = bag().Save(writer);
  // The state now holds every record the journal did; if it could not be
  // stored, the last complete state and the journal still hold them.
  if (code == 0)
    store_.ClearBackupRecords();
  else
    LogMessage(IDS_STATE_FILE_NOT_WRITTEN, store_.statePath());
  return code;
}

int CXMLMSIInstallEngine::Install() {
  if (int code = LoadRuntimeData(true)) return code;
  if (int code = OpenRestoreRecordIfUsed()) return code;
  int installed = DoInstall();
  // Also after a failure part-way: the backups and created files recorded so
  // far are what the rollback action works from, and without rollback the
  // files saved so far stay changed and keep their record.
  int stored = StoreRuntimeData();
  int recorded = StoreRestoreRecord();
  return stored != 0 ? stored : recorded != 0 ? recorded : installed;
}

int CXMLMSIInstallEngine::Uninstall() {
  if (int code = LoadRuntimeData(true)) return code;
  if (int code = OpenRestoreRecordIfUsed()) return code;
  int uninstalled = DoUninstall();
  // The backups are what the rollback of a failed uninstall works from.
  int stored = StoreRuntimeData();
  return stored != 0 ? stored : uninstalled;
}

int CXMLMSIInstallEngine::Rollback() {
  if (int code = LoadRuntimeData(true)) return code;
  DoRollback();
  // The restore record the install replaced comes back, or goes when there
  // was none.
  yv::_stringw product = GetProperty(L"ProductCode");
  if (CRestoreRecord::IsProductCode(product))
    store_.PutBackForRollback(CRestoreRecord::PathFor(store_.folder(), product));
  // The installation is over and no commit follows: nothing of it stays
  // behind but the backups that could not be put back, which the log names.
  store_.Remove();
  yv::DeleteFileNoFollow(reference_.path);
  return 0;
}

int CXMLMSIInstallEngine::DiscardRuntimeData() {
  RuntimeDataReference reference;
  if (RuntimeDataReference::Parse(GetRuntimeDataPath(false), reference)) yv::DeleteFileNoFollow(reference.path);
  return 0;
}

int CXMLMSIInstallEngine::CleanUp(bool deferred) {
  // Without rollback the commit action never runs, and finalize does its
  // work instead; with rollback enabled finalize must leave the backups to
  // the rollback and commit actions.
  if (!deferred && MsiEvaluateConditionW(session(), L"RollbackDisabled") != MSICONDITION_TRUE) return 0;
  yv::_stringw data = GetRuntimeDataPath(deferred);
  // A rollback already removed what a failed installation left.
  RuntimeDataReference reference;
  if (data.empty() || (RuntimeDataReference::Parse(data, reference) && !CRuntimeDataStore::HasLeftovers(reference)))
    return 0;
  if (int code = LoadRuntimeData(deferred)) return code;
  DoCommit();
  ForgetRemovedFiles();
  ForgetTakenOverFiles();
  store_.Remove();
  // The runtime data file lies in the installing user's temporary folder: it
  // is deleted as the file it is, never through a link put in its place.
  if (!yv::DeleteFileNoFollow(reference_.path)) LogMessage(IDS_CANNOT_REMOVE_RUNTIME_FILE, reference_.path);
  return 0;
}
