#include "actions/CXmlCfgActionBase.h"

#include <msiquery.h>

#include "actions/InstallerLogLine.h"
#include "database/MsiQuery.h"
#include "support/MessageLog.h"

namespace {
constexpr int kCancel = IDCANCEL;
}  // namespace

CXmlCfgActionBase::CXmlCfgActionBase(MSIHANDLE session, void*) : CXmlCfgActionBase(session, &GetTickCount) {}

CXmlCfgActionBase::CXmlCfgActionBase(MSIHANDLE session, ProgressBar::TickSource clock)
    : session_(session), database_(MsiGetActiveDatabase(session)), progress_(session, clock) {}

CXmlCfgActionBase::~CXmlCfgActionBase() = default;

bool CXmlCfgActionBase::IsValid() { return true; }

void CXmlCfgActionBase::Log(const wchar_t* text) { WriteLogLine(MaskedLogLine(text).c_str()); }

void CXmlCfgActionBase::WriteLogLine(const wchar_t* text) { SendInstallerLogLine(session_, text); }

int CXmlCfgActionBase::PromptError(const wchar_t* text, int errorNumber, int detail) {
  yv::MsiHandle record(MsiCreateRecord(3));
  MsiRecordSetInteger(record, 1, errorNumber);
  MsiRecordSetStringW(record, 2, text ? text : L"");
  MsiRecordSetInteger(record, 3, detail);
  int answer = MsiProcessMessage(
      session_, static_cast<INSTALLMESSAGE>(INSTALLMESSAGE_ERROR | MB_ICONWARNING | MB_ABORTRETRYIGNORE), record);
  // A failed call (-1 on Windows, an error code on some installer
  // implementations) is no button of this box. Callers retry on anything but
  // Abort and Ignore, so passing it on would retry for ever.
  if (answer != IDABORT && answer != IDRETRY && answer != IDIGNORE) return 0;
  return answer;
}

int CXmlCfgActionBase::NoteAnswer(int answer) {
  if (answer == kCancel) cancelled_ = true;
  return answer;
}

// The progress operations must never fail an action: whatever goes wrong
// while talking to the installer is logged with a fixed text and the action
// carries on.
void CXmlCfgActionBase::LogFixedText(const wchar_t* text) {
  yv::MsiHandle record(MsiCreateRecord(1));
  MsiRecordSetStringW(record, 0, text);
  MsiProcessMessage(session_, INSTALLMESSAGE_INFO, record);
}

int CXmlCfgActionBase::SetupProgressBar(DWORD steps, DWORD ticksPerStep) {
  try {
    return progress_.Setup(steps, ticksPerStep);
  } catch (...) {
    LogFixedText(L"An unhandled exception occurred in SetupProgressBar");
    return 0;
  }
}

int CXmlCfgActionBase::IncrementProgressBar() {
  try {
    return NoteAnswer(progress_.Increment());
  } catch (...) {
    LogFixedText(L"An unhandled exception occurred in IncrementProgressBar");
    return 0;
  }
}

int CXmlCfgActionBase::CompleteProgressBar() {
  try {
    return NoteAnswer(progress_.Complete());
  } catch (...) {
    LogFixedText(L"An unhandled exception occurred in IncrementProgressBar");
    return 0;
  }
}

void CXmlCfgActionBase::Notify() {}

int CXmlCfgActionBase::ProgressMessage(const wchar_t* text) {
  try {
    yv::MsiHandle record(MsiCreateRecord(3));
    MsiRecordSetStringW(record, 1, L"Progress Custom Action");
    MsiRecordSetStringW(record, 2, text ? text : L"");
    return NoteAnswer(MsiProcessMessage(session_, INSTALLMESSAGE_ACTIONSTART, record));
  } catch (...) {
    LogFixedText(L"An unhandled exception occurred in ProgressMessage");
    return 0;
  }
}

yv::_stringw CXmlCfgActionBase::GetProperty(const wchar_t* name) {
  UINT result = ERROR_SUCCESS;
  yv::_stringw value = GetSessionProperty(session_, name, &result);
  if (result != ERROR_SUCCESS) {
    yv::_stringw what, line;
    what.format(L"MsiGetProperty error for property '%s'", name ? name : L"");
    Log(line.format(L"%s %s: %d", what.c_str(), L"failed with code", static_cast<int>(result)).c_str());
  }
  return value;
}

int CXmlCfgActionBase::SetProperty(const wchar_t* name, const wchar_t* value) {
  UINT result = MsiSetPropertyW(session_, name, value);
  if (result != ERROR_SUCCESS) {
    yv::_stringw what, line;
    what.format(L"MsiSetProperty error for property '%s'", name ? name : L"");
    Log(line.format(L"%s %s: %d", what.c_str(), L"failed with code", static_cast<int>(result)).c_str());
  }
  return 0;
}

yv::_stringw CXmlCfgActionBase::GetRuntimeDataPath(bool deferred) {
  return GetProperty(deferred ? L"CustomActionData" : L"YVXmlFinalize");
}
