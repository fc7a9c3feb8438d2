#include "support/ReplacementFile.h"

#include "support/FileBytes.h"
#include "support/Sha256.h"
#include "support/UniqueHandle.h"

namespace yv {

namespace {

_stringw FolderOf(const _stringw& path) {
  size_t slash = path.find_last_of(L"\\/");
  return slash == _stringw::npos ? _stringw(L".") : _stringw(path.substr(0, slash + 1));
}

constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

}  // namespace

ReplacementFile::ReplacementFile(const _stringw& target) : target_(ExtendedLengthPath(target)) {
  _stringw folder = FolderOf(target_);
  wchar_t name[MAX_PATH + 1] = L"";
  // GetTempFileNameW takes no folder longer than MAX_PATH - 14 characters;
  // beside a longer one the name is reserved the same way by hand.
  if (folder.size() < MAX_PATH - 14) {
    if (GetTempFileNameW(folder.c_str(), L"~yv", 0, name) != 0) path_ = name;
    return;
  }
  _stringw reserved = folder + L"~yv" + _stringw(RandomHexToken().substr(0, 8)) + L".tmp";
  UniqueFileHandle file(
      CreateFileW(reserved.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file) path_ = reserved;
}

ReplacementFile::~ReplacementFile() {
  if (!path_.empty()) {
    DWORD error = GetLastError();
    DeleteFileW(path_.c_str());
    SetLastError(error);
  }
}

bool ReplacementFile::Commit() {
  if (path_.empty()) return false;
  if (!FlushFileToDisk(path_)) return false;
  bool replaced;
  DWORD attributes = GetFileAttributesW(target_.c_str());
  // A folder is never replaced by a file, and a read-only file is not
  // written: Windows refuses that to every account, and so does the module
  // where the system would not (Wine running as root).
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    replaced = ReplaceFileW(target_.c_str(), path_.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                            nullptr) != FALSE;
    // ReplaceFileW keeps the target's attributes on Windows; not every
    // implementation does, so they are put back explicitly.
    if (replaced) SetFileAttributesW(target_.c_str(), attributes & kKeptAttributes);
  } else {
    replaced = MoveFileExW(path_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
  }
  if (replaced) path_.clear();
  return replaced;
}

}  // namespace yv
