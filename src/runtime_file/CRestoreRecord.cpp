#include "runtime_file/CRestoreRecord.h"

#include <algorithm>
#include <cwctype>
#include <iterator>
#include <string>

#include "runtime_file/CIniFile.h"
#include "runtime_file/RuntimeFileResults.h"
#include "support/MessageLog.h"
#include "support/PathTrust.h"

namespace {

constexpr const wchar_t* kFileKey = L"File";
constexpr const wchar_t* kChangesKey = L"Changes";
constexpr const wchar_t* kKindNames[] = {L"attribute", L"text", L"created", L"removed"};

std::wstring Quoted(const yv::_stringw& text) {
  std::wstring quoted(1, L'"');
  for (wchar_t c : text) {
    if (c == L'%' || c == L'\r' || c == L'\n') {
      quoted += c == L'%' ? L"%25" : c == L'\r' ? L"%0D" : L"%0A";
    } else {
      quoted.push_back(c);
    }
  }
  return quoted + L'"';
}

// None for a key that is missing (or not a quoted text).
std::optional<yv::_stringw> Unquoted(std::wstring_view stored) {
  if (stored.size() < 2 || stored.front() != L'"' || stored.back() != L'"') return std::nullopt;
  stored = stored.substr(1, stored.size() - 2);
  yv::_stringw text;
  for (size_t i = 0; i < stored.size(); ++i) {
    std::wstring_view code = stored.substr(i, 3);
    wchar_t decoded = code == L"%0D" ? L'\r' : code == L"%0A" ? L'\n' : code == L"%25" ? L'%' : 0;
    if (decoded != 0) i += 2;
    text.push_back(decoded != 0 ? decoded : stored[i]);
  }
  return text;
}

std::wstring Key(int number, const wchar_t* field) { return std::to_wstring(number) + L"." + field; }

}  // namespace

bool CRestoreRecord::IsProductCode(const yv::_stringw& text) {
  static constexpr wchar_t kShape[] = L"{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
  if (text.size() != std::size(kShape) - 1) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (kShape[i] == L'X' ? !std::iswxdigit(text[i]) : text[i] != kShape[i]) return false;
  }
  return true;
}

yv::_stringw CRestoreRecord::PathFor(const yv::_stringw& folder, const yv::_stringw& productCode) {
  yv::_stringw name = productCode;
  for (wchar_t& c : name) c = static_cast<wchar_t>(std::towupper(c));
  return yv::_stringw::join(folder, name + L".restore.ini");
}

int CRestoreRecord::Open(const yv::_stringw& path) {
  path_ = path;
  files_.clear();
  switch (yv::InspectPath(path_)) {
    case yv::PathKind::kMissing:
      return RuntimeFileResult::kSuccess;
    case yv::PathKind::kRedirected:
      LogMessage(IDS_STATE_FOLDER_UNTRUSTED, path_);
      return RuntimeFileResult::kStateFolderUntrusted;
    case yv::PathKind::kPlainFile:
      break;
  }
  if (!yv::IsTrustedFile(path_)) {
    LogMessage(IDS_STATE_FOLDER_UNTRUSTED, path_);
    return RuntimeFileResult::kStateFolderUntrusted;
  }
  CIniFile ini(path_);
  if (!ini.Load()) {
    LogMessage(IDS_RESTORE_RECORD_UNREADABLE, path_);
    return RuntimeFileResult::kCannotRead;
  }
  for (const std::wstring& section : ini.SectionNames()) Read(ini, section);
  return RuntimeFileResult::kSuccess;
}

void CRestoreRecord::Read(const CIniFile& ini, const std::wstring& section) {
  FileRecord& file = files_[section.c_str()];
  const wchar_t* name = section.c_str();
  file.path = Unquoted(ini.Value(name, kFileKey)).value_or(yv::_stringw());
  int count = ini.GetInt(name, kChangesKey, 0);
  for (int number = 1; number <= count; ++number) {
    auto text = [&](const wchar_t* field) { return Unquoted(ini.Value(name, Key(number, field).c_str())); };
    std::wstring_view kind = ini.Value(name, Key(number, L"Kind").c_str());
    XmlChange change;
    size_t found = std::find(std::begin(kKindNames), std::end(kKindNames), kind) - std::begin(kKindNames);
    // A change this version does not know cannot be undone: the changes
    // before it would not find the document they left.
    if (found == std::size(kKindNames)) break;
    change.kind = static_cast<XmlChange::Kind>(found);
    change.xpath = text(L"XPath").value_or(yv::_stringw());
    change.element = text(L"Element").value_or(yv::_stringw());
    change.name = text(L"Name").value_or(yv::_stringw());
    change.attribute = text(L"Attribute").value_or(yv::_stringw());
    change.namespaceUri = text(L"Namespace").value_or(yv::_stringw());
    change.before = text(L"Before");
    change.after = text(L"After");
    change.position = ini.GetInt(name, Key(number, L"Position").c_str(), 0);
    change.namespaces = text(L"Namespaces").value_or(yv::_stringw());
    file.changes.push_back(std::move(change));
  }
}

XmlChangeList CRestoreRecord::Changes(const yv::_stringw& fileKey) const {
  auto found = files_.find(fileKey);
  return found == files_.end() ? XmlChangeList() : found->second.changes;
}

void CRestoreRecord::SetChanges(const yv::_stringw& fileKey, const yv::_stringw& filePath,
                                const XmlChangeList& changes) {
  files_[fileKey] = FileRecord{filePath, changes};
}

yv::_stringw CRestoreRecord::FileKeyOf(const yv::_stringw& filePath) const {
  for (const auto& [key, file] : files_) {
    if (CompareStringOrdinal(file.path.c_str(), -1, filePath.c_str(), -1, TRUE) == CSTR_EQUAL) return key;
  }
  return yv::_stringw();
}

bool CRestoreRecord::Forget(const yv::_stringw& fileKey) { return files_.erase(fileKey) != 0; }

int CRestoreRecord::Store() const {
  if (files_.empty()) {
    if (yv::InspectPath(path_) != yv::PathKind::kMissing && !yv::DeleteFileNoFollow(path_)) {
      LogMessage(IDS_RESTORE_RECORD_NOT_WRITTEN, path_);
      return RuntimeFileResult::kCannotWrite;
    }
    return RuntimeFileResult::kSuccess;
  }
  CIniFile ini;
  for (const auto& [key, file] : files_) {
    const wchar_t* section = key.c_str();
    ini.SetString(section, kFileKey, Quoted(file.path));
    ini.SetInt(section, kChangesKey, static_cast<int>(file.changes.size()));
    int number = 0;
    for (const XmlChange& change : file.changes) {
      auto set = [&](const wchar_t* field, const std::wstring& value) {
        ini.SetString(section, Key(number, field).c_str(), value);
      };
      ++number;
      set(L"Kind", kKindNames[static_cast<int>(change.kind)]);
      set(L"XPath", Quoted(change.xpath));
      set(L"Element", Quoted(change.element));
      set(L"Name", Quoted(change.name));
      if (change.kind == XmlChange::Kind::kAttribute) {
        set(L"Attribute", Quoted(change.attribute));
        set(L"Namespace", Quoted(change.namespaceUri));
      }
      if (change.before) set(L"Before", Quoted(*change.before));
      if (change.after) set(L"After", Quoted(*change.after));
      if (change.kind == XmlChange::Kind::kRemoved) {
        set(L"Position", std::to_wstring(change.position));
        set(L"Namespaces", Quoted(change.namespaces));
      }
    }
  }
  if (!ini.Save(path_)) {
    LogMessage(IDS_RESTORE_RECORD_NOT_WRITTEN, path_);
    return RuntimeFileResult::kCannotWrite;
  }
  return RuntimeFileResult::kSuccess;
}
