// The deferred actions and the finalize action: each runs the installer-hosted
// engine over the runtime data file that the costing action wrote.
#include <windows.h>
#include <msi.h>

#include "actions/ActionRunner.h"
#include "engine/CXMLMSIInstallEngine.h"

extern "C" {

UINT __stdcall YVXmlInstall(MSIHANDLE session) {
  return RunAction<CXMLMSIInstallEngine>(session, L"YVXmlInstall",
                                         [](CXMLMSIInstallEngine& engine) { return engine.Install(); });
}

UINT __stdcall YVXmlUnInstall(MSIHANDLE session) {
  return RunAction<CXMLMSIInstallEngine>(session, L"YVXmlUnInstall",
                                         [](CXMLMSIInstallEngine& engine) { return engine.Uninstall(); });
}

UINT __stdcall YVXmlRollback(MSIHANDLE session) {
  return RunAction<CXMLMSIInstallEngine>(session, L"YVXmlRollback",
                                         [](CXMLMSIInstallEngine& engine) { return engine.Rollback(); });
}

UINT __stdcall YVXmlCommit(MSIHANDLE session) {
  return RunAction<CXMLMSIInstallEngine>(session, L"YVXmlCommit",
                                         [](CXMLMSIInstallEngine& engine) { return engine.Commit(); });
}

// Runs when the installation fails (the execute sequence's -3): a failure
// before the installation script ran leaves no action that would remove the
// runtime data file otherwise.
UINT __stdcall YVXmlCleanup(MSIHANDLE session) {
  return RunAction<CXMLMSIInstallEngine>(session, L"YVXmlCleanup",
                                         [](CXMLMSIInstallEngine& engine) { return engine.DiscardRuntimeData(); });
}

UINT __stdcall YVXmlFinalize(MSIHANDLE session) {
  return RunAction<CXMLMSIInstallEngine>(session, L"YVXmlFinalize",
                                         [](CXMLMSIInstallEngine& engine) { return engine.Finalize(); });
}

}  // extern "C"
