#pragma once

#include <windows.h>

#include "database/CXmlMSILoader.h"
#include "support/stringw.h"
#include "yvxmlcfg/IXmlBuildHost.h"

// Writes "XMLRT.ini" at build time for projects that have no installer
// database when they run: the XML-change tables of the build host's database
// are loaded as for an installation in which every component is installed,
// and stored in the runtime data file format. Nothing is formatted against
// an installation (there is none): texts only lose their "##" pairs, the
// build's escape for a literal "#", and folders take the host's form.
class CProIniBuilder : public CXmlMSILoader {
 public:
  // The host is not owned; it outlives the builder.
  explicit CProIniBuilder(IXmlBuildHost& host);
  ~CProIniBuilder() override;

  // Empties or creates "XMLRT.ini" in `folder`, loads the host's tables and
  // writes them there. Reports nothing: a load that stops early leaves the
  // file with what was loaded before it stopped. A failed installer call
  // leaves as com_exception, with the file left empty.
  void Build(const yv::_stringw& folder);

  DWORD ResolveValue(int kind, const wchar_t* text, wchar_t* buffer, DWORD bufferSize) override;
  // Every component is built as installed locally.
  int GetComponentActionState(const wchar_t* component) override;

  // Copies `text` without its "##" pairs into `buffer` when the result and
  // its terminator fit `bufferSize` characters (the buffer is left alone
  // otherwise). Each search for the next pair resumes where the last one
  // was removed, so a run of n "#" keeps n mod 2. Returns the length of
  // `text` plus one, never less than the result needs.
  virtual DWORD RemoveHashPairs(const wchar_t* text, wchar_t* buffer, DWORD bufferSize);

  static constexpr const wchar_t* kFileName = L"XMLRT.ini";

 private:
  IXmlBuildHost& host_;
};
