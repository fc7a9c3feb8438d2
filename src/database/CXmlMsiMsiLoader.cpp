#include "database/CXmlMsiMsiLoader.h"

#include <msiquery.h>

#include <algorithm>
#include <string>

#include "config/CXmlCfgPropertyBag.h"
#include "config/ConfigFlags.h"
#include "database/MsiQuery.h"

namespace {

constexpr DWORD kFormatBufferSize = 4000;
// An Upgrade row with this attribute only detects the products it finds;
// RemoveExistingProducts leaves them installed.
constexpr int kUpgradeOnlyDetects = 0x2;

}  // namespace

CXmlMsiMsiLoader::CXmlMsiMsiLoader() = default;

CXmlMsiMsiLoader::~CXmlMsiMsiLoader() = default;

void CXmlMsiMsiLoader::SetInstallHandle(MSIHANDLE install) {
  install_ = install;
  activeDatabase_.reset(MsiGetActiveDatabase(install));
  SetDatabase(activeDatabase_);
}

int CXmlMsiMsiLoader::Load(CXmlCfgPropertyBag& bag) {
  int code = CXmlMSILoader::Load(bag);
  if (code == 0 && install_) bag.replacedProducts = ReplacedProducts();
  return code;
}

// What FindRelatedProducts put in the action properties of the Upgrade rows
// that remove what they find: RemoveExistingProducts uninstalls those
// products in this installation, before or after it changes the files.
std::vector<yv::_stringw> CXmlMsiMsiLoader::ReplacedProducts() {
  std::vector<yv::_stringw> codes;
  if (msi_query::IsTableMissing(database(), L"Upgrade")) return codes;
  yv::MsiHandle view, row;
  OpenView(view, database(), L"SELECT `Attributes`, `ActionProperty` FROM `Upgrade`");
  while (msi_query::FetchRow(view, row)) {
    if (MsiRecordGetInteger(row, 1) & kUpgradeOnlyDetects) continue;
    yv::_stringw found = GetSessionProperty(install_, GetRecordString(row, 2).c_str());
    for (size_t start = 0; start < found.size();) {
      size_t end = std::min(found.find(L';', start), found.size());
      if (end > start) codes.emplace_back(found.substr(start, end - start).c_str());
      start = end + 1;
    }
  }
  return codes;
}

int CXmlMsiMsiLoader::GetComponentActionState(const wchar_t* component) {
  if (!install_) return ComponentActionState::kLocal;
  INSTALLSTATE installed = INSTALLSTATE_UNKNOWN;
  INSTALLSTATE action = INSTALLSTATE_UNKNOWN;
  // A component the installer does not know keeps "unknown", which no host
  // takes for install or uninstall.
  MsiGetComponentStateW(install_, component, &installed, &action);
  return action;
}

DWORD CXmlMsiMsiLoader::GetFileAttributes(const wchar_t* path) { return GetFileAttributesW(path); }

// Any failure of the installer's formatting leaves the text as stored: a
// value that cannot be formatted is still a value.
yv::_stringw CXmlMsiMsiLoader::FormatText(const wchar_t* text) {
  yv::_stringw stored(text);
  if (stored.empty()) return stored;
  yv::MsiHandle record(MsiCreateRecord(1));
  if (!record || MsiRecordSetStringW(record, 0, stored.c_str()) != ERROR_SUCCESS) return stored;
  std::wstring buffer(kFormatBufferSize, L'\0');
  DWORD size = kFormatBufferSize;
  UINT result = MsiFormatRecordW(install_, record, &buffer[0], &size);
  if (result == ERROR_MORE_DATA) {
    size += 1;
    buffer.assign(size, L'\0');
    result = MsiFormatRecordW(install_, record, &buffer[0], &size);
  }
  if (result != ERROR_SUCCESS) return stored;
  return yv::_stringw(buffer.c_str());
}

// The folder in a property; a value such as %ProgramFiles%\App is expanded
// from the environment of the installation.
yv::_stringw CXmlMsiMsiLoader::FolderFromProperty(const wchar_t* name) {
  // Read whole: a cut folder would name another folder.
  yv::_stringw folder = GetSessionProperty(install_, name);
  if (folder.find(L'%') == yv::_stringw::npos) return folder;
  DWORD needed = ExpandEnvironmentStringsW(folder.c_str(), nullptr, 0);
  if (needed == 0) return folder;
  std::wstring expanded(needed, L'\0');
  if (ExpandEnvironmentStringsW(folder.c_str(), &expanded[0], needed) == 0) return folder;
  return yv::_stringw(expanded.c_str());
}

DWORD CXmlMsiMsiLoader::ResolveValue(int kind, const wchar_t* text, wchar_t* buffer, DWORD bufferSize) {
  yv::_stringw result;
  if (kind == kKindXPath || !install_) {
    result = text;
  } else if ((kind & kKindPath) == 0) {
    result = FormatText(text);
  } else {
    result = FolderFromProperty(text);
  }
  if (buffer && bufferSize > 0) lstrcpynW(buffer, result.c_str(), static_cast<int>(bufferSize));
  return static_cast<DWORD>(result.size()) + 1;
}
