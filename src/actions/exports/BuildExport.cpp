// The build-time export: writes "XMLRT.ini" for projects that carry their XML
// changes in that file instead of an installer database.
#include <windows.h>

#include "runtime_file/CProIniBuilder.h"
#include "support/stringw.h"
#include "yvxmlcfg/IXmlBuildHost.h"

extern "C" {

// Reports nothing, as the build process expects. An exception must not reach
// the build process (it would end it); a build that failed that way leaves an
// empty "XMLRT.ini" behind.
void __stdcall CreateProIniFileForBuild(IXmlBuildHost* host) {
  if (!host) return;
  try {
    yv::_stringw folder;
    host->GetOutputFolder(folder.out());
    CProIniBuilder builder(*host);
    builder.Build(folder);
  } catch (...) {
    OutputDebugStringW(L"YVXmlCfg: CreateProIniFileForBuild stopped on an exception\n");
  }
}

}  // extern "C"
