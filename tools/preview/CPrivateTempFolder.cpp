#include "CPrivateTempFolder.h"

#include <windows.h>

#include <vector>

#include "support/UniqueHandle.h"

namespace {

bool GetVariable(const wchar_t* name, std::wstring& value) {
  DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return false;
  std::vector<wchar_t> buffer(size);
  DWORD length = GetEnvironmentVariableW(name, buffer.data(), size);
  value.assign(buffer.data(), length < size ? length : 0);
  return true;
}

void RestoreVariable(const wchar_t* name, bool had, const std::wstring& value) {
  SetEnvironmentVariableW(name, had ? value.c_str() : nullptr);
}

}  // namespace

CPrivateTempFolder::CPrivateTempFolder() {
  wchar_t base[MAX_PATH + 1];
  wchar_t name[MAX_PATH + 1];
  if (GetTempPathW(MAX_PATH, base) == 0 || GetTempFileNameW(base, L"YVP", 0, name) == 0) return;
  // The name was reserved as an empty file; the folder takes its place.
  DeleteFileW(name);
  if (!CreateDirectoryW(name, nullptr)) return;
  path_ = name;
  hadTmp_ = GetVariable(L"TMP", oldTmp_);
  hadTemp_ = GetVariable(L"TEMP", oldTemp_);
  SetEnvironmentVariableW(L"TMP", path_.c_str());
  SetEnvironmentVariableW(L"TEMP", path_.c_str());
}

CPrivateTempFolder::~CPrivateTempFolder() {
  if (path_.empty()) return;
  RestoreVariable(L"TMP", hadTmp_, oldTmp_);
  RestoreVariable(L"TEMP", hadTemp_, oldTemp_);
  // The module writes plain files only, no subfolders.
  WIN32_FIND_DATAW found;
  yv::UniqueFindHandle search(FindFirstFileW((path_ + L"\\*").c_str(), &found));
  if (search) {
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        std::wstring file = path_ + L"\\" + found.cFileName;
        SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(file.c_str());
      }
    } while (FindNextFileW(search.get(), &found));
  }
  search.reset();
  RemoveDirectoryW(path_.c_str());
}
