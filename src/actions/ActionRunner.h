#pragma once

#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <cstdint>

#include "support/ComApartment.h"
#include "support/MessageLog.h"
#include "support/msi_handle.h"

// The result an export hands the installer when its action object failed in a
// way the object could not report itself: the installer's own "fatal error
// during installation".
constexpr UINT kUnhandledExceptionResult = ERROR_INSTALL_FAILURE;

// Writes the one line that tells the installer log an action ended in an
// exception, straight through the session: no engine (and so no log sink)
// may be alive any more at that point.
void LogUnhandledException(MSIHANDLE session, const wchar_t* exportName);

// Runs one installer-facing export: COM for the thread, one action object
// over the session, its operation, and the result as the installer's unsigned
// 32-bit form (-2004 arrives as 0xFFFFF82C). No exception crosses into the
// installer: it would take the whole custom-action process down.
template <class Action, class Operation>
UINT RunAction(MSIHANDLE session, const wchar_t* exportName, Operation operation) {
  yv::ComApartment apartment;
  try {
    Action action(session);
    return static_cast<UINT>(static_cast<std::int32_t>(operation(action)));
  } catch (...) {
    LogUnhandledException(session, exportName);
    return kUnhandledExceptionResult;
  }
}
