#include "engine/CYVXMLInstallEngine.h"

#include <vector>

#include "config/CXmlCfgComponentProp.h"
#include "engine/EngineResults.h"
#include "engine/XmlFileOperations.h"
#include "support/MessageLog.h"

CYVXMLInstallEngine::CYVXMLInstallEngine() { SetLogSink(this); }

CYVXMLInstallEngine::~CYVXMLInstallEngine() {
  SetLogSink(nullptr);
  LogSecrets().Clear();
}

bool CYVXMLInstallEngine::IsInstallState(int) { return true; }

bool CYVXMLInstallEngine::IsUninstallState(int) { return true; }

bool CYVXMLInstallEngine::IsActionState(int) { return true; }

int CYVXMLInstallEngine::OnFileStateChanged(const CXmlCfgFileProp&) { return 0; }

int CYVXMLInstallEngine::RecordedChanges(const CXmlCfgFileProp&, XmlChangeList& changes) {
  changes.clear();
  return 0;
}

int CYVXMLInstallEngine::OnChangesRecorded(const CXmlCfgFileProp&, const XmlChangeList&) { return 0; }

// What the configuration marks as hidden is masked in every line logged from
// here on, also when the load stopped part-way and the engine goes on with
// what it read.
int CYVXMLInstallEngine::Load(CXmlLoader& loader) {
  int code = touchPoint_.Load(loader, this);
  bag().AddHiddenTextsTo(LogSecrets());
  return code;
}

// One progress step per selected file, plus one that the engine never ticks
// and a host may complete at the end.
template <class Select, class Apply>
int CYVXMLInstallEngine::Walk(Select select, MessageId startMessage, Apply apply) {
  std::vector<CXmlCfgComponentProp*> selected;
  DWORD steps = 0;
  for (auto& entry : bag().components) {
    if (!select(entry.second->actionState)) continue;
    selected.push_back(entry.second.get());
    steps += static_cast<DWORD>(entry.second->files.size());
  }
  if (steps < 1) return 0;

  OnSetupProgress(steps + 1, 1);
  LogMessage(startMessage, static_cast<int>(selected.size()));
  for (CXmlCfgComponentProp* component : selected) {
    if (int code = apply(*component)) return code;
  }
  OnEndProgress();
  return 0;
}

int CYVXMLInstallEngine::DoInstall() {
  return Walk([this](int state) { return IsInstallState(state); }, IDS_INSTALLING_COMPONENTS,
              [this](CXmlCfgComponentProp& component) { return InstallComponent(component); });
}

int CYVXMLInstallEngine::DoUninstall() {
  return Walk([this](int state) { return IsUninstallState(state); }, IDS_UNINSTALLING_COMPONENTS,
              [this](CXmlCfgComponentProp& component) { return UninstallComponent(component); });
}

int CYVXMLInstallEngine::InstallComponent(CXmlCfgComponentProp& component) {
  LogMessage(IDS_INSTALLING_COMPONENT, component.name);
  for (auto& entry : component.files) {
    if (int code = InstallFile(*entry.second, *this)) return code;
  }
  return 0;
}

int CYVXMLInstallEngine::UninstallComponent(CXmlCfgComponentProp& component) {
  LogMessage(IDS_UNINSTALLING_COMPONENT, component.name);
  for (auto& entry : component.files) {
    if (int code = UninstallFile(*entry.second, *this)) return code;
  }
  return 0;
}

int CYVXMLInstallEngine::DoRollback() {
  if (bag().components.empty()) return 0;
  OnProgressText(bag().GetProgressMessage(ProgressTemplate::kRollbackFiles).c_str());
  // Every component, whatever its action state: a file the install never
  // touched has no backup and is left as it is.
  yv::_stringw folder = BackupFolder();
  for (auto& component : bag().components) {
    for (auto& file : component.second->files) RollbackFile(*file.second, folder);
  }
  return 0;
}

int CYVXMLInstallEngine::DoCommit() {
  yv::_stringw folder = BackupFolder();
  for (auto& component : bag().components) {
    for (auto& file : component.second->files) CommitFile(*file.second, folder);
  }
  return 0;
}

yv::_stringw CYVXMLInstallEngine::BackupFolder() {
  wchar_t folder[MAX_PATH + 1] = L"";
  return GetTempPathW(MAX_PATH, folder) == 0 ? yv::_stringw() : yv::_stringw(folder);
}
