#include "CPreviewProperties.h"

#include <msiquery.h>

#include <vector>

#include "MsiRecordText.h"
#include "support/msi_handle.h"

void CPreviewProperties::LoadPropertyTable(MSIHANDLE database) {
  if (MsiDatabaseIsTablePersistentW(database, L"Property") != MSICONDITION_TRUE) return;
  yv::MsiHandle view;
  if (MsiDatabaseOpenViewW(database, L"SELECT `Property`, `Value` FROM `Property`", view.put()) != ERROR_SUCCESS)
    return;
  if (MsiViewExecute(view, 0) != ERROR_SUCCESS) return;
  yv::MsiHandle row;
  while (MsiViewFetch(view, row.put()) == ERROR_SUCCESS) values_[MsiRecordText(row, 1)] = MsiRecordText(row, 2);
}

std::wstring CPreviewProperties::Get(const std::wstring& name) const {
  auto found = values_.find(name);
  return found == values_.end() ? std::wstring() : found->second;
}

std::wstring CPreviewProperties::Format(const std::wstring& text) const {
  std::wstring out;
  size_t pos = 0;
  FormatUntilClose(text, pos, false, out);
  return out;
}

bool CPreviewProperties::FormatUntilClose(const std::wstring& text, size_t& pos, bool nested, std::wstring& out) const {
  while (pos < text.size()) {
    wchar_t c = text[pos];
    if (c == L']' && nested) {
      ++pos;
      return true;
    }
    if (c != L'[') {
      out += c;
      ++pos;
      continue;
    }
    size_t open = pos++;
    // [\c]: one character taken as it is, brackets included.
    if (pos + 2 < text.size() && text[pos] == L'\\' && text[pos + 2] == L']') {
      out += text[pos + 1];
      pos += 3;
      continue;
    }
    std::wstring key;
    if (!FormatUntilClose(text, pos, true, key)) {
      // Never closed: the installer leaves such text as it stands.
      out += text.substr(open);
      pos = text.size();
      return !nested;
    }
    out += Evaluate(key);
  }
  return !nested;
}

std::wstring CPreviewProperties::Evaluate(const std::wstring& key) const {
  if (key.empty() || key == L"~") return std::wstring();
  switch (key[0]) {
    case L'%': {
      std::wstring name = key.substr(1);
      DWORD size = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
      if (size == 0) return std::wstring();
      std::vector<wchar_t> value(size);
      DWORD length = GetEnvironmentVariableW(name.c_str(), value.data(), size);
      return std::wstring(value.data(), length < size ? length : 0);
    }
    case L'#':
    case L'!':
    case L'$':
      return std::wstring();
    default:
      return Get(key);
  }
}
