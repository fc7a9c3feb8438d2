#include "actions/ActionRunner.h"

#include "actions/InstallerLogLine.h"

void LogUnhandledException(MSIHANDLE session, const wchar_t* exportName) {
  try {
    SendInstallerLogLine(session, UnhandledExceptionLine(exportName).c_str());
  } catch (...) {
    // Out of memory while reporting an exception: the result code still
    // tells the installer that the action failed.
    OutputDebugStringW(L"YVXmlCfg: an action failed and its log line could not be written\n");
  }
}
