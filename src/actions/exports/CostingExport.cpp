// The immediate costing action: loads the package's XML-change tables and
// hands the runtime data file to the deferred actions.
#include <windows.h>
#include <msi.h>

#include "actions/ActionRunner.h"
#include "actions/CXmlCfgCosting.h"

extern "C" {

UINT __stdcall YVXmlCosting(MSIHANDLE session) {
  return RunAction<CXmlCfgCosting>(session, L"YVXmlCosting", [](CXmlCfgCosting& costing) { return costing.Run(); });
}

}  // extern "C"
