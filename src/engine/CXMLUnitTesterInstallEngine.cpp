#include "engine/CXMLUnitTesterInstallEngine.h"

#include <cwchar>

#include "config/ConfigFlags.h"
#include "runtime_file/CRuntimeDataStore.h"
#include "support/CallerBuffer.h"
#include "support/MessageLog.h"
#include "xml/XmlResults.h"

namespace {

// A ProductCode, braces and terminator included, and room to spare.
constexpr DWORD kProductCodeChars = 64;

}  // namespace

CXMLUnitTesterInstallEngine::CXMLUnitTesterInstallEngine(IXmlTestHarness& harness) : harness_(harness) {}

CXMLUnitTesterInstallEngine::~CXMLUnitTesterInstallEngine() = default;

int CXMLUnitTesterInstallEngine::Run() {
  SetDatabase(harness_.GetDatabase());
  // A load that stops early is not reported on its own: the pass runs on
  // whatever it read, and IDS_TEST_RETURNED tells the outcome.
  CYVXMLInstallEngine::Load(static_cast<CXmlMSILoader&>(*this));
  int result = harness_.IsInstall() ? DoInstall() : DoUninstall();
  LogMessage(IDS_TEST_RETURNED, result);
  return result;
}

void CXMLUnitTesterInstallEngine::OnLogMessage(const wchar_t* text) { harness_.LogLine(text ? text : L""); }

DWORD CXMLUnitTesterInstallEngine::ResolveString(int kind, const wchar_t* source, wchar_t* buffer, DWORD bufferSize) {
  if (kind == kKindXPath) return CopyToCallerBuffer(source, buffer, bufferSize) + 1;
  return harness_.ResolveValue(kind, source ? source : L"", buffer, bufferSize);
}

int CXMLUnitTesterInstallEngine::OnErrorPrompt(const wchar_t* text, int errorNumber, int detail) {
  // The text is a file path and goes in as an argument, never as the format.
  yv::_stringw line;
  line.format(L"Error %d: %s (%d)", errorNumber, text ? text : L"", detail);
  LogText(line);
  return PromptAnswer::kAbort;
}

DWORD CXMLUnitTesterInstallEngine::ResolveValue(int kind, const wchar_t* text, wchar_t* buffer, DWORD bufferSize) {
  return ResolveString(kind, text, buffer, bufferSize);
}

// The requested states the loader reports: every component local on install,
// advertised on uninstall; the engine's defaults accept both for either walk.
int CXMLUnitTesterInstallEngine::GetComponentActionState(const wchar_t*) {
  return harness_.IsInstall() ? ComponentActionState::kLocal : ComponentActionState::kAdvertised;
}

DWORD CXMLUnitTesterInstallEngine::GetFileKeyFilter(wchar_t* buffer) { return harness_.GetFileKeyFilter(buffer); }

int CXMLUnitTesterInstallEngine::GetPropertyValue(const wchar_t* name, wchar_t* buffer, DWORD capacity) {
  if (harness_.UseProgressPlaceholder(name, buffer, capacity)) {
    CopyToCallerBuffer(kProgressPlaceholder, buffer, capacity);
    return 0;
  }
  return CXmlMSILoader::GetPropertyValue(name, buffer, capacity);
}

DWORD CXMLUnitTesterInstallEngine::Resolve(wchar_t* buffer, DWORD capacity) {
  // The harness writes into the buffer it also reads from; it gets a copy of
  // the text as its source so that the two never overlap.
  yv::_stringw source(buffer);
  return ResolveString(kKindText, source.c_str(), buffer, capacity);
}

int CXMLUnitTesterInstallEngine::RecordedChanges(const CXmlCfgFileProp& file, XmlChangeList& changes) {
  changes.clear();
  if (harness_.IsInstall()) return 0;
  if (!record_) {
    record_ = std::make_unique<CRestoreRecord>();
    wchar_t product[kProductCodeChars] = L"";
    CXmlMSILoader::GetPropertyValue(L"ProductCode", product, kProductCodeChars);
    yv::_stringw folder = CRuntimeDataStore::MachineFolder();
    if (CRestoreRecord::IsProductCode(product) && !folder.empty()) {
      if (int code = record_->Open(CRestoreRecord::PathFor(folder, product))) return code;
    }
  }
  changes = record_->Changes(file.key);
  if (changes.empty())
    LogText(yv::_stringw().format(L"No restore record of XML file '%s' on this machine: its uninstall restores nothing "
                                  L"but what its uninstall rows say",
                                  file.GetFullPath().c_str()));
  return 0;
}
