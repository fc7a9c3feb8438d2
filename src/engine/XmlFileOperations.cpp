#include "engine/XmlFileOperations.h"

#include <windows.h>

#include "config/CXmlCfgFileProp.h"
#include "config/CXmlCfgXPathAttribProp.h"
#include "config/CXmlCfgXPathProp.h"
#include "config/ConfigFlags.h"
#include "engine/CXmlChangeRecorder.h"
#include "engine/CXmlChangeUndo.h"
#include "engine/CYVXMLInstallEngine.h"
#include "engine/EngineResults.h"
#include "support/FileBytes.h"
#include "support/MessageLog.h"
#include "support/PathTrust.h"
#include "support/ReplacementFile.h"
#include "xml/CYVXmlFile.h"
#include "xml/XmlResults.h"

namespace {

bool Has(DWORD flags, DWORD bit) { return (flags & bit) != 0; }

// The settings every document of this file gets before it is loaded.
void ConfigureDocument(CYVXmlFile& document, const CXmlCfgFileProp& file) {
  document.SetSelectionNamespaces(file.selectionNamespaces);
  document.SetEncoding(file.encoding);
  document.SetFormatOnSave(!Has(file.attributes, XmlFileFlags::kKeepFormatting));
}

// A load the user chose to skip is a success for the file; anything else
// stops it.
int LoadResult(int code) { return code == XmlResult::kUserIgnore ? 0 : code; }

int SaveResult(int code) { return code == XmlResult::kUserIgnore ? 0 : code; }

// An elevated action must not be led through a link to a file the package
// never named.
bool IsRedirected(const yv::_stringw& path) {
  if (yv::InspectPath(path) != yv::PathKind::kRedirected) return false;
  LogMessage(IDS_TARGET_IS_LINK, path);
  return true;
}

// A backup this installation made: an XML*.tmp directly in its backup folder.
bool IsOwnBackup(const yv::_stringw& backup, const yv::_stringw& folder) {
  if (yv::IsFileInFolder(backup, folder, L"XML", L".tmp")) return true;
  LogMessage(IDS_BACKUP_NOT_OWN, backup);
  return false;
}

// Undoes the changes recorded for a file with the file flag 0x10, before the
// install changes it again or the uninstall applies its rows.
int UndoRecordedChanges(const CXmlCfgFileProp& file, CYVXMLInstallEngine& engine, CYVXmlFile& document) {
  if (!Has(file.attributes, XmlFileFlags::kRestoreOnUninstall)) return 0;
  XmlChangeList recorded;
  if (int code = engine.RecordedChanges(file, recorded)) return code;
  CXmlChangeUndo(document, file.GetFullPath()).UndoAll(recorded);
  return 0;
}

// Puts the backup's bytes in place of `target` in one step.
bool CopyBackOver(const yv::_stringw& backup, const yv::_stringw& target) {
  yv::ReplacementFile restored(target);
  return restored.valid() && CopyFileW(backup.c_str(), restored.path().c_str(), FALSE) && restored.Commit();
}

}  // namespace

int InstallFile(CXmlCfgFileProp& file, CYVXMLInstallEngine& engine) {
  yv::_stringw full = file.GetFullPath();
  LogMessage(IDS_INSTALLING_FILE, full);
  engine.OnTickProgress();
  if (IsRedirected(full)) return EngineResult::kTargetIsLink;

  CXmlChangeRecorder recorder;
  CYVXmlFile document(full, &engine);
  bool exists = document.Exists();
  if (!exists && !Has(file.attributes, XmlFileFlags::kCreateIfMissing)) {
    LogMessage(IDS_FILE_SKIPPED, full);
    return 0;
  }
  ConfigureDocument(document, file);
  // An empty file is a missing one that someone already created: it is
  // built from its root row too, after a backup that rollback restores.
  bool build = !exists || (Has(file.attributes, XmlFileFlags::kCreateIfMissing) && document.IsBlank());
  document.SetBuildOverBlank(build);

  if (exists) {
    if (int code = BackupFile(file, engine.BackupFolder())) return code;
  } else {
    file.createdOnInstall = 1;
  }
  if (build) {
    engine.OnProgressMessage(ProgressTemplate::kCreateFile, full.c_str());
    document.SetRootElement(file.rootElementName, file.rootElementNamespace);
  }
  // From here on the file may change: whoever hosts the engine gets the
  // chance to record the backup first, so that a rollback finds it even if
  // this process never gets to store the configuration again. A record that
  // cannot be kept stops the file while it is still unchanged.
  if (int code = engine.OnFileStateChanged(file)) return code;
  engine.OnProgressMessage(ProgressTemplate::kUpdateFile, full.c_str());

  if (int code = document.Load()) return LoadResult(code);
  // A repair first puts back what the last installation found, so that it
  // ends where that installation ended and records the same changes.
  if (int code = UndoRecordedChanges(file, engine, document)) return code;
  bool restorable = Has(file.attributes, XmlFileFlags::kRestoreOnUninstall);
  if (restorable) document.SetChangeObserver(&recorder);
  for (const auto& entry : file.xpaths) {
    if (int code = InstallElement(*entry.second, document)) return code;
  }
  if (restorable) recorder.NoteCreatedContent(document.CreatedElementContent());
  // A save the user chose to skip left the file, and so its record, as they
  // were.
  int saved = document.Save();
  if (saved != 0 || !restorable) return SaveResult(saved);
  return engine.OnChangesRecorded(file, recorder.changes());
}

int BackupFile(CXmlCfgFileProp& file, const yv::_stringw& folder) {
  if (folder.empty()) return EngineResult::kNoTempFolder;
  wchar_t backup[MAX_PATH + 1];
  if (GetTempFileNameW(folder.c_str(), L"XML", 0, backup) == 0) return EngineResult::kNoTempFile;
  if (!CopyFileW(yv::ExtendedLengthPath(file.GetFullPath()).c_str(), backup, FALSE)) {
    DWORD error = GetLastError();
    DeleteFileW(backup);  // the empty placeholder the name was reserved with
    SetLastError(error);
    return EngineResult::kBackupCopyFailed;
  }
  // The copy takes the file's attributes; a read-only copy could not be
  // deleted by the commit and would stay in the backup folder for ever.
  SetFileAttributesW(backup, FILE_ATTRIBUTE_NORMAL);
  // On the disk before the journal names it: after a power cut the record
  // must not point at bytes that never arrived.
  if (!yv::FlushFileToDisk(backup)) {
    DeleteFileW(backup);
    return EngineResult::kBackupCopyFailed;
  }
  file.tempFilePath = backup;
  return 0;
}

int UninstallFile(CXmlCfgFileProp& file, CYVXMLInstallEngine& engine) {
  yv::_stringw full = file.GetFullPath();
  LogMessage(IDS_UNINSTALLING_FILE, full);
  engine.OnTickProgress();
  if (full.empty()) return 0;
  if (IsRedirected(full)) return EngineResult::kTargetIsLink;

  if (Has(file.attributes, XmlFileFlags::kDeleteOnUninstall)) {
    engine.OnProgressMessage(ProgressTemplate::kRemoveFile, full.c_str());
    yv::_stringw reachable = yv::ExtendedLengthPath(full);
    SetFileAttributesW(reachable.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileW(reachable.c_str())) LogMessage(IDS_CANNOT_REMOVE_FILE, full);
    return 0;
  }

  CYVXmlFile document(full, &engine);
  if (!document.Exists()) return 0;
  engine.OnProgressMessage(ProgressTemplate::kUpdateFile, full.c_str());
  ConfigureDocument(document, file);
  if (int code = document.Load()) return LoadResult(code);
  // A failed uninstall leaves the product installed: its rollback puts the
  // file back as the installation left it.
  int backedUp = BackupFile(file, engine.BackupFolder());
  if (backedUp == 0) backedUp = engine.OnFileStateChanged(file);
  if (backedUp != 0) return backedUp;
  // What the installation found comes back first; the file's uninstall rows
  // apply to the restored document.
  if (int code = UndoRecordedChanges(file, engine, document)) return code;
  for (const auto& entry : file.xpaths) {
    if (int code = UninstallElement(*entry.second, document)) return code;
  }
  return SaveResult(document.Save());
}

int InstallElement(const CXmlCfgXPathProp& element, CYVXmlFile& document) {
  using namespace XmlElementFlags;
  if (!document.SelectXPath(element.xpath, element.GetNamespace(), Has(element.action, kCreateOnInstall),
                            Has(element.action, kFirstMatchOnly)))
    return 0;
  if (Has(element.action, kRemoveOnInstall)) return document.RemoveElement();
  if (Has(element.action, kContentMask)) {
    int mode = Has(element.action, kPrependContent)  ? ContentMode::kPrepend
               : Has(element.action, kAppendContent) ? ContentMode::kAppend
                                                     : ContentMode::kReplace;
    document.SetElementContent(element.content, mode);
  }
  for (const auto& attribute : element.attributes) {
    if (int code = InstallAttribute(*attribute, document)) return code;
  }
  return 0;
}

int UninstallElement(const CXmlCfgXPathProp& element, CYVXmlFile& document) {
  using namespace XmlElementFlags;
  if (!document.SelectXPath(element.xpath, element.GetNamespace(), Has(element.action, kCreateOnUninstall),
                            Has(element.action, kFirstMatchOnly)))
    return 0;
  // "//" stands for the whole document: removing it would empty the file.
  if (Has(element.action, kRemoveOnUninstall) && element.xpath != L"//") return document.RemoveElement();
  for (const auto& attribute : element.attributes) UninstallAttribute(*attribute, document);
  return 0;
}

namespace {

int ApplyAttribute(const CXmlCfgXPathAttribProp& attribute, CYVXmlFile& document, DWORD whenBit) {
  using namespace XmlAttributeFlags;
  // A namespace declaration only tells which namespace the element is in.
  if (attribute.name == L"xmlns") return 0;
  if (!Has(attribute.action, whenBit)) return 0;
  int operation = Has(attribute.action, kAppendValue) ? AttributeOperation::kAppend
                  : Has(attribute.action, kRemove)    ? AttributeOperation::kRemove
                                                      : AttributeOperation::kSet;
  return document.UpdateAttribute(attribute.name, attribute.value, Has(attribute.action, kCreateIfMissing), operation);
}

}  // namespace

int InstallAttribute(const CXmlCfgXPathAttribProp& attribute, CYVXmlFile& document) {
  return ApplyAttribute(attribute, document, XmlAttributeFlags::kApplyOnInstall);
}

int UninstallAttribute(const CXmlCfgXPathAttribProp& attribute, CYVXmlFile& document) {
  return ApplyAttribute(attribute, document, XmlAttributeFlags::kApplyOnUninstall);
}

int RollbackFile(const CXmlCfgFileProp& file, const yv::_stringw& backupFolder) {
  yv::_stringw full = file.GetFullPath();
  LogMessage(IDS_ROLLING_BACK_FILE, full);
  LogMessage(IDS_BACKUP_LOCATION, file.tempFilePath);
  if (!full.empty() && IsRedirected(full)) return 0;
  if (!file.tempFilePath.empty() && !IsOwnBackup(file.tempFilePath, backupFolder)) return 0;
  yv::_stringw reachable = yv::ExtendedLengthPath(full);

  if (!file.tempFilePath.empty() && !full.empty()) {
    DWORD attributes = file.fileAttributes;
    if (attributes == kUnknownFileAttributes) attributes = GetFileAttributesW(reachable.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
    // A read-only file must still get its old bytes back. They replace the
    // file in one step, and the backup goes once it is back in place. A
    // file the failure stopped before it changed needs no copy (and no room
    // for one on a full disk).
    SetFileAttributesW(reachable.c_str(), FILE_ATTRIBUTE_NORMAL);
    bool putBack = yv::SameFileBytes(file.tempFilePath, full) || CopyBackOver(file.tempFilePath, full);
    SetFileAttributesW(reachable.c_str(), attributes);
    if (putBack) {
      yv::DeleteFileNoFollow(file.tempFilePath);
    } else {
      LogMessage(IDS_CANNOT_RESTORE_BACKUP);
      LogMessage(IDS_BACKUP_KEPT, full, file.tempFilePath);
    }
  } else if (file.createdOnInstall != 0) {
    SetFileAttributesW(reachable.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(reachable.c_str());
  } else {
    LogMessage(IDS_CANNOT_RESTORE_BACKUP);
  }
  return 0;
}

int CommitFile(const CXmlCfgFileProp& file, const yv::_stringw& backupFolder) {
  if (!file.tempFilePath.empty() && IsOwnBackup(file.tempFilePath, backupFolder))
    yv::DeleteFileNoFollow(file.tempFilePath);
  return 0;
}
