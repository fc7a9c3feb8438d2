#include "actions/CXmlCfgCosting.h"

#include <objbase.h>

#include "actions/ActionLogSink.h"
#include "config/CXmlCfgPropertyBag.h"
#include "database/CXmlMsiMsiLoader.h"
#include "runtime_file/CXmlIniWriter.h"
#include "runtime_file/RuntimeDataReference.h"
#include "support/MessageLog.h"
#include "support/Sha256.h"
#include "xml/NewestParser.h"

namespace {

constexpr DWORD kCostingSteps = 2;
constexpr DWORD kTicksPerStep = 5000;
constexpr DWORD kTempPathBufferSize = 260;

// The later actions, in the order their properties are set. Each deferred
// one gets the runtime data reference as its CustomActionData because its
// custom action carries exactly this name.
constexpr const wchar_t* kActionProperties[] = {
    L"YVXmlCosting", L"YVXmlInstall", L"YVXmlUnInstall", L"YVXmlRollback", L"YVXmlFinalize", L"YVXmlCommit",
};

// The installer's own list of the properties whose values its log must not
// show; the module keeps them out of its lines too.
constexpr const wchar_t* kHiddenPropertiesList = L"MsiHiddenProperties";

}  // namespace

CXmlCfgCosting::CXmlCfgCosting(MSIHANDLE session) : CXmlCfgActionBase(session) {}

CXmlCfgCosting::~CXmlCfgCosting() { LogSecrets().Clear(); }

bool CXmlCfgCosting::HasXmlParser() { return static_cast<bool>(msxml::CreateNewestDocument()); }

int CXmlCfgCosting::Run() {
  // Before the first line, so that none of them shows a hidden value.
  LogSecrets().AddPropertyValues(GetProperty(kHiddenPropertiesList),
                                 [this](const std::wstring& name) { return GetProperty(name.c_str()); });
  // The deferred actions would fail on every file without a parser, but the
  // package may bring one later in the script; costing goes on regardless.
  if (!HasXmlParser()) Log(L"MSXML is not currently installed...");
  SetupProgressBar(kCostingSteps, kTicksPerStep);
  ProgressMessage(GetProperty(L"YV_PROGMSG_XML_COSTING").c_str());
  if (IsCancelled()) return CostingResult::kCancelled;
  if (int code = Cost()) return code;
  CompleteProgressBar();
  return IsCancelled() ? CostingResult::kCancelled : CostingResult::kSuccess;
}

int CXmlCfgCosting::Cost() {
  // The loader names the rows it refuses; the author reads it in this log.
  ActionLogSink sink(*this);
  CXmlMsiMsiLoader loader;
  loader.SetInstallHandle(session());
  CXmlCfgPropertyBag bag;
  if (int code = bag.Load(loader)) return code;
  // The later actions cannot ask the installer: they learn from the runtime
  // data file which texts hold hidden values.
  bag.MarkHiddenTexts(LogSecrets());

  wchar_t folder[kTempPathBufferSize] = L"";
  if (GetTempPathW(kTempPathBufferSize, folder) == 0) {
    Log(L"Error: temp path doesn't exist");
    return CostingResult::kNoTempFolder;
  }
  wchar_t path[MAX_PATH] = L"";
  if (GetTempFileNameW(folder, L"XML", 0, path) == 0) {
    Log(L"Error: unable to create temp file");
    return CostingResult::kNoTempFile;
  }
  CXmlIniWriter writer(path);
  if (int code = bag.Save(writer)) {
    Log(yv::_stringw().format(L"Error: unable to write the runtime data file '%s'", path).c_str());
    // No later action will ever read it: a half-written file would only
    // stay behind in the user's temporary folder.
    DeleteFileW(path);
    return code;
  }

  // The digest of exactly the bytes written travels with the path, so the
  // elevated actions can tell the file they read is the one written here.
  RuntimeDataReference reference{path, writer.digest(), yv::RandomHexToken()};
  yv::_stringw data = reference.Format();
  for (const wchar_t* property : kActionProperties) SetProperty(property, data.c_str());
  return CostingResult::kSuccess;
}
