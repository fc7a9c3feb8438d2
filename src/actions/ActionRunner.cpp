#include "actions/ActionRunner.h"

void LogUnhandledException(MSIHANDLE session, const wchar_t* exportName) {
  try {
    yv::_stringw line = UnhandledExceptionLine(exportName);
    yv::MsiHandle record(MsiCreateRecord(2));
    MsiRecordSetStringW(record, 0, L"Yelvin [Time]: [1]");
    MsiRecordSetStringW(record, 1, line.c_str());
    MsiProcessMessage(session, INSTALLMESSAGE_INFO, record);
  } catch (...) {
    // Out of memory while reporting an exception: the result code still
    // tells the installer that the action failed.
    OutputDebugStringW(L"YVXmlCfg: an action failed and its log line could not be written\n");
  }
}
