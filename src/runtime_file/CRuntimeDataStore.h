#pragma once

#include "runtime_file/RuntimeDataReference.h"
#include "support/stringw.h"

class CXmlCfgFileProp;
class CXmlCfgPropertyBag;

// The private state of one installation: a copy of the runtime data file
// that costing wrote, checked against its digest, kept in a folder that only
// the local system and the administrators may write (the account's own
// folder when the actions run without elevation, where there is nothing to
// gain). The elevated actions read and store only this copy, and make their
// backups beside it, so nothing a user can write decides which files they
// touch.
class CRuntimeDataStore {
 public:
  // Finds this installation's state file, or makes it from the runtime data
  // file when the bytes there hash to the reference's digest. 0, or
  // RuntimeFileResult's code for a tampered file, an untrusted state folder
  // or a state file that cannot be written; each is logged.
  int Open(const RuntimeDataReference& reference);

  // The state file to load and store the configuration through.
  const yv::_stringw& statePath() const noexcept { return statePath_; }
  // The folder the state file and this installation's backups live in.
  const yv::_stringw& folder() const noexcept { return folder_; }

  // Records, before the file is changed, where a file's backup is or that
  // the install creates it: one line appended to the state's journal and
  // flushed, so the cost does not grow with the configuration, and a
  // rollback after a crash still finds every backup. 0 or kCannotWrite.
  int AppendBackupRecord(const CXmlCfgFileProp& file);
  // Applies the journal's complete records to a bag loaded from the state
  // file; a record cut short by a crash is no record.
  void ApplyBackupRecords(CXmlCfgPropertyBag& bag) const;
  // Once the whole configuration is stored again the journal says nothing
  // new.
  void ClearBackupRecords();

  // Keeps the file at `path` as it is now (its bytes, or that there is no
  // such file) beside the state, the first time an installation asks, so
  // that its rollback can put the file back. 0 or kCannotWrite.
  int KeepForRollback(const yv::_stringw& path);
  // Puts back what KeepForRollback kept of `path`: its old bytes, or no
  // file. Nothing when nothing was kept.
  void PutBackForRollback(const yv::_stringw& path);

  // Deletes the state file, its journal and what was kept for the rollback
  // once the installation is over.
  void Remove();

  // Whether anything of the installation is still there to clean up: its
  // state file or the runtime data file.
  static bool HasLeftovers(const RuntimeDataReference& reference);

  // The private folder for this process: under the machine's application
  // data when elevated or the local system, else under the account's own.
  static yv::_stringw FolderForThisProcess();
  // The private folder of the elevated actions, where the records of the
  // products installed for the machine live.
  static yv::_stringw MachineFolder();

 private:
  int CopyVerified(const RuntimeDataReference& reference);

  yv::_stringw JournalPath() const;
  yv::_stringw KeptPath() const;

  yv::_stringw folder_;
  yv::_stringw statePath_;
};
