#include "actions/InstallerLogLine.h"

#include <msiquery.h>

#include <string>

#include "support/msi_handle.h"

void SendInstallerLogLine(MSIHANDLE session, const wchar_t* text) {
  // The installer formats the line after putting the text in: brackets and
  // braces in it (XPath predicates, row keys) would be taken for property
  // references and vanish, so each one goes in as its escape.
  std::wstring escaped;
  for (const wchar_t* c = text ? text : L""; *c; ++c) {
    if (*c == L'[' || *c == L']' || *c == L'{' || *c == L'}') {
      escaped += L"[\\";
      escaped += *c;
      escaped += L']';
    } else {
      escaped += *c;
    }
  }
  yv::MsiHandle record(MsiCreateRecord(2));
  MsiRecordSetStringW(record, 0, L"Yelvin [Time]: [1]");
  MsiRecordSetStringW(record, 1, escaped.c_str());
  MsiProcessMessage(session, INSTALLMESSAGE_INFO, record);
}
