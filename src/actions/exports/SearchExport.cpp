// The immediate search action: reads values out of XML files already on the
// machine into installer properties.
#include <windows.h>
#include <msi.h>

#include "actions/ActionRunner.h"
#include "search/CXmlCfgAppSearch.h"
#include "support/ComApartment.h"

extern "C" {

// Always succeeds: a search that finds nothing, or fails, must never stop an
// installation; its reasons are in the installer log.
UINT __stdcall YVXmlAppSearch(MSIHANDLE session) {
  yv::ComApartment apartment;
  try {
    CXmlCfgAppSearch search(session);
    search.DoXmlAppSearches();
  } catch (...) {
    LogUnhandledException(session, L"YVXmlAppSearch");
  }
  return ERROR_SUCCESS;
}

}  // extern "C"
