#include "CPreviewHarness.h"

#include <msiquery.h>

#include <cwchar>
#include <string>
#include <vector>

#include "MsiRecordText.h"
#include "database/XmlTableColumns.h"
#include "support/msi_handle.h"

namespace {
// The test pass's last line; its number is the pass's result.
constexpr wchar_t kResultPrefix[] = L"XML test returned: ";
}  // namespace

CPreviewHarness::CPreviewHarness(MSIHANDLE database, bool install, const CPreviewProperties& properties,
                                 CPreviewOutput& output)
    : database_(database), install_(install), properties_(properties), output_(output) {
  secrets_.AddPropertyValues(properties.Get(L"MsiHiddenProperties"),
                             [&](const std::wstring& name) { return properties.Get(name); });
  if (MsiDatabaseIsTablePersistentW(database, L"YVXmlElement") != MSICONDITION_TRUE) return;
  yv::MsiHandle view;
  if (MsiDatabaseOpenViewW(database, L"SELECT * FROM `YVXmlElement`", view.put()) != ERROR_SUCCESS ||
      MsiViewExecute(view, 0) != ERROR_SUCCESS)
    return;
  yv::MsiHandle row;
  while (MsiViewFetch(view, row.put()) == ERROR_SUCCESS)
    elementSteps_.insert(MsiRecordText(row, XmlElementColumn::kStep));
}

// The result is read from the line as the module wrote it: a short hidden
// value could mask its digits.
void CPreviewHarness::LogLine(const wchar_t* text) {
  std::wstring line(text ? text : L"");
  output_.Line(secrets_.Apply(line));
  if (line.rfind(kResultPrefix, 0) == 0) {
    hasResult_ = true;
    result_ = static_cast<int>(std::wcstol(line.c_str() + wcslen(kResultPrefix), nullptr, 10));
  }
}

DWORD CPreviewHarness::ResolveValue(int kind, const wchar_t* source, wchar_t* buffer, DWORD bufferSize) {
  std::wstring text(source ? source : L"");
  std::wstring value;
  if (kind == kKindFolderProperty) {
    value = properties_.Get(text);
  } else if (kind == kKindText && elementSteps_.count(text)) {
    value = text;
  } else {
    value = properties_.Format(text);
  }
  if (buffer && bufferSize > 0) {
    size_t count = std::min<size_t>(value.size(), bufferSize - 1);
    value.copy(buffer, count);
    buffer[count] = L'\0';
  }
  return static_cast<DWORD>(value.size()) + 1;
}

DWORD CPreviewHarness::GetFileKeyFilter(wchar_t* buffer) {
  if (buffer) buffer[0] = L'\0';
  return 1;
}

// The pass shows no progress, so its texts need not come from the package.
bool CPreviewHarness::UseProgressPlaceholder(const wchar_t*, wchar_t*, DWORD) { return true; }
