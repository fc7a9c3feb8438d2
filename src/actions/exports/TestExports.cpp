// The export that the authoring tool's test harness calls, outside any
// installation: one install or uninstall pass over the harness's database.
#include <windows.h>

#include "engine/CXMLUnitTesterInstallEngine.h"
#include "support/MessageLog.h"
#include "yvxmlcfg/IXmlTestHarness.h"

extern "C" {

// The harness owns the thread's COM apartment: nothing is initialised here.
void __stdcall RunXMLFileTest(IXmlTestHarness* harness) {
  if (!harness) return;
  try {
    CXMLUnitTesterInstallEngine engine(*harness);
    engine.Run();
  } catch (...) {
    // The engine is gone, and with it the log sink: tell the harness
    // directly, in the line every export uses for this.
    try {
      harness->LogLine(UnhandledExceptionLine(L"RunXMLFileTest").c_str());
    } catch (...) {
      OutputDebugStringW(L"YVXmlCfg: RunXMLFileTest failed and its log line could not be written\n");
    }
  }
}

}  // extern "C"
