#include "runtime_file/CRuntimeDataStore.h"

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "config/CXmlCfgComponentProp.h"
#include "config/CXmlCfgFileProp.h"
#include "config/CXmlCfgPropertyBag.h"
#include "runtime_file/RuntimeFileResults.h"
#include "support/FileBytes.h"
#include "support/MessageLog.h"
#include "support/PathTrust.h"
#include "support/ReplacementFile.h"
#include "support/Sha256.h"
#include "support/UniqueHandle.h"

namespace {

constexpr wchar_t kFolderName[] = L"YVXmlCfg";
// Between a journal record's file key, backup path and created flag: a
// character that no key or path holds.
constexpr wchar_t kRecordSeparator = L'\t';
// A runtime data file larger than this is no file costing wrote.
constexpr LONGLONG kMaxRuntimeDataBytes = 1LL << 30;

}  // namespace

namespace {

yv::_stringw PrivateFolderUnder(int knownFolder) {
  wchar_t base[MAX_PATH] = L"";
  if (FAILED(SHGetFolderPathW(nullptr, knownFolder | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, base)))
    return yv::_stringw();
  return yv::_stringw::join(base, kFolderName);
}

}  // namespace

yv::_stringw CRuntimeDataStore::FolderForThisProcess() {
  return PrivateFolderUnder(yv::RunsElevatedOrAsLocalSystem() ? CSIDL_COMMON_APPDATA : CSIDL_LOCAL_APPDATA);
}

yv::_stringw CRuntimeDataStore::MachineFolder() { return PrivateFolderUnder(CSIDL_COMMON_APPDATA); }

bool CRuntimeDataStore::HasLeftovers(const RuntimeDataReference& reference) {
  yv::_stringw folder = FolderForThisProcess();
  return yv::InspectPath(reference.path) != yv::PathKind::kMissing ||
         (!folder.empty() &&
          yv::InspectPath(yv::_stringw::join(folder, reference.token + L".ini")) != yv::PathKind::kMissing);
}

int CRuntimeDataStore::Open(const RuntimeDataReference& reference) {
  folder_ = FolderForThisProcess();
  if (folder_.empty() || !yv::EnsurePrivateFolder(folder_)) {
    LogMessage(IDS_STATE_FOLDER_UNTRUSTED, folder_);
    return RuntimeFileResult::kStateFolderUntrusted;
  }
  statePath_ = yv::_stringw::join(folder_, reference.token + L".ini");
  switch (yv::InspectPath(statePath_)) {
    case yv::PathKind::kMissing:
      return CopyVerified(reference);
    case yv::PathKind::kRedirected:
      LogMessage(IDS_STATE_FOLDER_UNTRUSTED, statePath_);
      return RuntimeFileResult::kStateFolderUntrusted;
    case yv::PathKind::kPlainFile:
      break;
  }
  if (!yv::IsTrustedFile(statePath_)) {
    LogMessage(IDS_STATE_FOLDER_UNTRUSTED, statePath_);
    return RuntimeFileResult::kStateFolderUntrusted;
  }
  return RuntimeFileResult::kSuccess;
}

// The runtime data file is read once into memory, and exactly the bytes that
// were checked are what the state file gets: a file swapped after the check
// changes nothing.
int CRuntimeDataStore::CopyVerified(const RuntimeDataReference& reference) {
  std::string bytes;
  if (!yv::ReadWholeFile(reference.path, bytes, kMaxRuntimeDataBytes) ||
      yv::Sha256::HexOf(bytes.data(), bytes.size()) != reference.digest) {
    LogMessage(IDS_RUNTIME_DATA_TAMPERED, reference.path);
    return RuntimeFileResult::kRuntimeDataTampered;
  }
  // CREATE_NEW: a file someone placed under this name first is never written
  // through. The file takes the private folder's permissions.
  yv::UniqueFileHandle state(CreateFileW(statePath_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  DWORD written = 0;
  bool stored = state && WriteFile(state.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                written == bytes.size() && FlushFileBuffers(state.get());
  if (!stored) {
    state.reset();
    DeleteFileW(statePath_.c_str());
    LogMessage(IDS_STATE_FILE_NOT_WRITTEN, statePath_);
    return RuntimeFileResult::kStateFileNotWritten;
  }
  return RuntimeFileResult::kSuccess;
}

yv::_stringw CRuntimeDataStore::JournalPath() const {
  return statePath_.empty() ? yv::_stringw() : yv::_stringw(statePath_ + L".journal");
}

int CRuntimeDataStore::AppendBackupRecord(const CXmlCfgFileProp& file) {
  std::wstring record = std::wstring(file.key.c_str()) + kRecordSeparator + file.tempFilePath.c_str() +
                        kRecordSeparator + (file.createdOnInstall ? L"1" : L"0") + L"\r\n";
  yv::UniqueFileHandle journal(CreateFileW(JournalPath().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  DWORD bytes = static_cast<DWORD>(record.size() * sizeof(wchar_t)), written = 0;
  if (!journal || !WriteFile(journal.get(), record.data(), bytes, &written, nullptr) || written != bytes ||
      !FlushFileBuffers(journal.get())) {
    LogMessage(IDS_STATE_FILE_NOT_WRITTEN, JournalPath());
    return RuntimeFileResult::kCannotWrite;
  }
  return RuntimeFileResult::kSuccess;
}

void CRuntimeDataStore::ApplyBackupRecords(CXmlCfgPropertyBag& bag) const {
  std::string bytes;
  if (JournalPath().empty() || !yv::ReadWholeFile(JournalPath(), bytes, kMaxRuntimeDataBytes)) return;
  std::wstring_view text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
  for (size_t end; (end = text.find(L"\r\n")) != std::wstring_view::npos; text.remove_prefix(end + 2)) {
    std::wstring_view record = text.substr(0, end);
    size_t first = record.find(kRecordSeparator), last = record.rfind(kRecordSeparator);
    if (first == std::wstring_view::npos || first == last) continue;
    yv::_stringw key(record.data(), first);
    for (auto& component : bag.components) {
      auto found = component.second->files.find(key);
      if (found == component.second->files.end()) continue;
      found->second->tempFilePath = yv::_stringw(record.data() + first + 1, last - first - 1);
      found->second->createdOnInstall = record.substr(last + 1) == L"1" ? 1 : 0;
    }
  }
}

void CRuntimeDataStore::ClearBackupRecords() {
  if (!JournalPath().empty()) yv::DeleteFileNoFollow(JournalPath());
}

yv::_stringw CRuntimeDataStore::KeptPath() const {
  return statePath_.empty() ? yv::_stringw() : yv::_stringw(statePath_ + L".before");
}

int CRuntimeDataStore::KeepForRollback(const yv::_stringw& path) {
  yv::_stringw kept = KeptPath();
  if (kept.empty()) return RuntimeFileResult::kCannotWrite;
  // Only the first keep of an installation holds what the rollback must
  // give back.
  if (yv::InspectPath(kept) != yv::PathKind::kMissing) return RuntimeFileResult::kSuccess;
  // No bytes stand for no file: a file that is kept is never empty.
  std::string bytes;
  bool read = yv::InspectPath(path) == yv::PathKind::kMissing || yv::ReadWholeFile(path, bytes, kMaxRuntimeDataBytes);
  yv::ReplacementFile copy(kept);
  if (!read || !copy.valid() || !yv::WriteWholeFile(copy.path(), bytes) || !copy.Commit()) {
    LogMessage(IDS_STATE_FILE_NOT_WRITTEN, kept);
    return RuntimeFileResult::kCannotWrite;
  }
  return RuntimeFileResult::kSuccess;
}

void CRuntimeDataStore::PutBackForRollback(const yv::_stringw& path) {
  yv::_stringw kept = KeptPath();
  std::string bytes;
  if (kept.empty() || !yv::ReadWholeFile(kept, bytes, kMaxRuntimeDataBytes)) return;
  bool putBack = false;
  if (bytes.empty()) {
    putBack = yv::InspectPath(path) == yv::PathKind::kMissing || yv::DeleteFileNoFollow(path);
  } else {
    yv::ReplacementFile restored(path);
    putBack = restored.valid() && yv::WriteWholeFile(restored.path(), bytes) && restored.Commit();
  }
  if (putBack)
    yv::DeleteFileNoFollow(kept);
  else
    LogMessage(IDS_RESTORE_RECORD_NOT_WRITTEN, path);
}

void CRuntimeDataStore::Remove() {
  if (statePath_.empty()) return;
  ClearBackupRecords();
  yv::DeleteFileNoFollow(KeptPath());
  yv::DeleteFileNoFollow(statePath_);
}
