#include "kit/TempFolder.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "support/UniqueHandle.h"
#include "support/stringw.h"

TempFolder::TempFolder() {
  static unsigned made = 0;
  for (;;) {
    path_ = std::wstring(yv::temp_folder_path().c_str()) + L"yvtest-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++made);
    if (CreateDirectoryW(path_.c_str(), nullptr)) return;
    if (GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("cannot create a temporary test folder");
  }
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored))
    SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
  std::filesystem::remove_all(path_, ignored);
}

std::string ReadFileBytes(const std::wstring& path) {
  std::ostringstream bytes;
  bytes << std::ifstream(std::filesystem::path(path), std::ios::binary).rdbuf();
  return bytes.str();
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  std::ofstream(std::filesystem::path(path), std::ios::binary | std::ios::trunc) << bytes;
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::set<std::wstring> TemporaryModuleFiles(std::wstring folder) {
  std::set<std::wstring> paths;
  if (folder.empty()) folder = yv::temp_folder_path().c_str();
  if (folder.back() != L'\\') folder += L'\\';
  WIN32_FIND_DATAW entry;
  yv::UniqueFindHandle find(FindFirstFileW((folder + L"XML*.tmp").c_str(), &entry));
  if (!find) return paths;
  do paths.insert(folder + entry.cFileName);
  while (FindNextFileW(find.get(), &entry));
  return paths;
}
