#include "CPreviewFileSet.h"

#include <msiquery.h>

#include "MsiRecordText.h"
#include "database/XmlTableColumns.h"
#include "support/UniqueHandle.h"
#include "support/msi_handle.h"

std::wstring CPreviewFileSet::Normalize(const std::wstring& path) {
  DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::vector<wchar_t> buffer(size);
  DWORD length = GetFullPathNameW(path.c_str(), size, buffer.data(), nullptr);
  if (length == 0 || length >= size) return path;
  return std::wstring(buffer.data(), length);
}

bool CPreviewFileSet::IsInside(const std::wstring& path, const std::wstring& folder) {
  std::wstring root = Normalize(folder);
  while (!root.empty() && (root.back() == L'\\' || root.back() == L'/')) root.pop_back();
  std::wstring full = Normalize(path);
  if (root.empty() || full.size() <= root.size() + 1 || full[root.size()] != L'\\') return false;
  return CompareStringOrdinal(full.c_str(), static_cast<int>(root.size()), root.c_str(), static_cast<int>(root.size()),
                              TRUE) == CSTR_EQUAL;
}

void CPreviewFileSet::Resolve(MSIHANDLE database, const CPreviewProperties& properties,
                              const std::map<std::wstring, std::wstring>& folders) {
  if (MsiDatabaseIsTablePersistentW(database, L"YVXmlFile") != MSICONDITION_TRUE) return;
  yv::MsiHandle view;
  if (MsiDatabaseOpenViewW(database, L"SELECT * FROM `YVXmlFile`", view.put()) != ERROR_SUCCESS ||
      MsiViewExecute(view, 0) != ERROR_SUCCESS) {
    refusals_.push_back(L"the YVXmlFile table cannot be read");
    return;
  }
  yv::MsiHandle row;
  while (MsiViewFetch(view, row.put()) == ERROR_SUCCESS) {
    File file;
    file.key = MsiRecordText(row, XmlFileColumn::kKey);
    std::wstring folderProperty = MsiRecordText(row, XmlFileColumn::kFolderProperty);
    std::wstring folder = properties.Get(folderProperty);
    if (folder.empty()) {
      refusals_.push_back(L"XML file '" + file.key + L"': its folder property '" + folderProperty +
                          L"' has no value; give it with --dir");
      continue;
    }
    file.path = folder;
    if (file.path.back() != L'\\') file.path += L'\\';
    file.path += properties.Format(MsiRecordText(row, XmlFileColumn::kFileName));
    bool inside = false;
    for (const auto& allowed : folders) inside = inside || IsInside(file.path, allowed.second);
    if (!inside) {
      refusals_.push_back(L"XML file '" + file.key + L"' (" + file.path + L") is outside every --dir folder");
      continue;
    }
    // Two rows for one file: one before and after is enough.
    bool seen = false;
    for (const File& other : files_) {
      seen = seen || CompareStringOrdinal(Normalize(other.path).c_str(), -1, Normalize(file.path).c_str(), -1, TRUE) ==
                         CSTR_EQUAL;
    }
    if (!seen) files_.push_back(file);
  }
}

void CPreviewFileSet::Snapshot() {
  for (File& file : files_) file.existedBefore = ReadBytes(file.path, file.before);
}

bool CPreviewFileSet::ReadBytes(const std::wstring& path, std::string& bytes) {
  bytes.clear();
  yv::UniqueFileHandle handle(CreateFileW(path.c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle) return false;
  char chunk[1 << 16];
  DWORD read = 0;
  while (ReadFile(handle.get(), chunk, sizeof chunk, &read, nullptr) && read > 0) bytes.append(chunk, read);
  return true;
}
