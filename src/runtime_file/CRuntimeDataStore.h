#pragma once

#include "runtime_file/RuntimeDataReference.h"
#include "support/stringw.h"

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

  // Deletes the state file once the installation is over.
  void Remove();

  // The private folder for this process: under the machine's application
  // data when elevated or the local system, else under the account's own.
  static yv::_stringw FolderForThisProcess();

 private:
  int CopyVerified(const RuntimeDataReference& reference);

  yv::_stringw folder_;
  yv::_stringw statePath_;
};
