#include "CPreviewRun.h"

#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include "CLineDiff.h"
#include "CPreviewFileSet.h"
#include "CPreviewHarness.h"
#include "CPreviewProperties.h"
#include "CPrivateTempFolder.h"
#include "support/msi_handle.h"
#include "yvxmlcfg/IXmlTestHarness.h"

namespace {

constexpr wchar_t kModuleName[] = L"YVXmlCfg.dll";

// Frees the module when the run ends.
class ScopedModule {
 public:
  explicit ScopedModule(HMODULE module) : module_(module) {}
  ~ScopedModule() {
    if (module_) FreeLibrary(module_);
  }
  ScopedModule(const ScopedModule&) = delete;
  ScopedModule& operator=(const ScopedModule&) = delete;
  HMODULE get() const { return module_; }

 private:
  HMODULE module_;
};

// The module beside this program, never one found on the search path.
std::wstring ModulePath() {
  wchar_t self[MAX_PATH + 1];
  DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self, length);
  size_t slash = path.find_last_of(L"\\/");
  return (slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1)) + kModuleName;
}

// A file's text as UTF-8 for the diff: UTF-16 files (with their byte order
// mark) are converted, anything else is shown byte for byte.
std::string DiffText(const std::string& bytes) {
  if (bytes.size() < 2 || static_cast<unsigned char>(bytes[0]) != 0xFF || static_cast<unsigned char>(bytes[1]) != 0xFE)
    return bytes;
  std::wstring wide((bytes.size() - 2) / 2, L'\0');
  for (size_t i = 0; i < wide.size(); ++i) {
    wide[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                                   (static_cast<unsigned char>(bytes[3 + 2 * i]) << 8));
  }
  return CPreviewOutput::ToUtf8(wide);
}

}  // namespace

CPreviewRun::CPreviewRun(const CPreviewCommandLine& commandLine, CPreviewOutput& output)
    : commandLine_(commandLine), output_(output) {}

int CPreviewRun::Run() {
  yv::MsiHandle database;
  UINT opened = MsiOpenDatabaseW(commandLine_.package().c_str(), MSIDBOPEN_READONLY, database.put());
  if (opened != ERROR_SUCCESS) {
    output_.ErrorLine(L"yvxml-preview: cannot open the package '" + commandLine_.package() + L"' (error " +
                      std::to_wstring(opened) + L")");
    return kCannotStart;
  }

  // Later sources win: the package's own values, then the folders, then the
  // properties given on the command line.
  CPreviewProperties properties;
  properties.LoadPropertyTable(database);
  for (const auto& [name, folder] : commandLine_.folders()) properties.Set(name, folder);
  for (const auto& [name, value] : commandLine_.properties()) properties.Set(name, value);

  CPreviewFileSet files;
  files.Resolve(database, properties, commandLine_.folders());
  if (!files.refusals().empty()) {
    for (const std::wstring& refusal : files.refusals()) output_.Line(L"Refused: " + refusal);
    output_.Line(L"Nothing was changed.");
    return kRefused;
  }
  files.Snapshot();

  ScopedModule module(LoadLibraryW(ModulePath().c_str()));
  auto runTest = module.get() ? reinterpret_cast<RunXMLFileTestFunction>(
                                    reinterpret_cast<void*>(GetProcAddress(module.get(), "RunXMLFileTest")))
                              : nullptr;
  if (!runTest) {
    output_.ErrorLine(L"yvxml-preview: cannot load RunXMLFileTest from " + ModulePath());
    return kCannotStart;
  }

  CPreviewHarness harness(database, commandLine_.install(), properties, output_);
  {
    CPrivateTempFolder temp;
    if (!temp.ok()) {
      output_.ErrorLine(L"yvxml-preview: cannot make a temporary folder for the backup copies");
      return kCannotStart;
    }
    runTest(&harness);
  }

  for (const CPreviewFileSet::File& file : files.files()) {
    std::string after;
    bool existsAfter = CPreviewFileSet::ReadBytes(file.path, after);
    if (existsAfter == file.existedBefore && after == file.before) continue;
    CLineDiff diff(DiffText(file.before), DiffText(after));
    std::string path = CPreviewOutput::ToUtf8(file.path);
    output_.Bytes("--- " + (file.existedBefore ? path : std::string("/dev/null")) + "\n");
    output_.Bytes("+++ " + (existsAfter ? path : std::string("/dev/null")) + "\n");
    output_.Bytes(diff.Hunks());
  }

  if (!harness.hasResult()) return kNoResult;
  return harness.result();
}
