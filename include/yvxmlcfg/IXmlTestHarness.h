#pragma once

// The object a test harness hands to RunXMLFileTest, exported by
// YVXmlCfg.dll:
//
//   extern "C" void __stdcall RunXMLFileTest(IXmlTestHarness* harness);
//
// The module runs one whole install or uninstall pass over the XML-change
// tables of the harness's database, in the calling thread, and reports
// everything through this object. It does not initialise COM: the harness
// owns the thread's apartment and must have entered one before the call.
//
// Binary layout: the module calls these operations through the virtual
// table, by position, so the order below is fixed, including the reserved
// slots. The interface has no virtual destructor on purpose: compilers
// disagree on how many table slots one takes. The module never deletes the
// harness.

#include <windows.h>
#include <msi.h>

class IXmlTestHarness {
 public:
  // One finished line of the engine's log (no line break at its end).
  virtual void LogLine(const wchar_t* text) = 0;

  // Reserved: never called by the module. Keep the slot.
  virtual void Reserved1() {}

  // Turns a stored value into its final text. `kind` is 1 for a text, 2 for
  // a folder property name, 16 for installer-formatted text (XPaths, kind 8,
  // are copied by the module itself). `source` and `buffer` never overlap.
  // Write at most bufferSize characters, terminator included, and return the
  // length that the whole result needs, terminator included: the module asks
  // again with that size when its buffer was too small.
  virtual DWORD ResolveValue(int kind, const wchar_t* source, wchar_t* buffer, DWORD bufferSize) = 0;

  // Reserved: never called by the module. Keep the slot.
  virtual void Reserved2() {}

  // The installer database whose XML-change tables are tested. It stays the
  // harness's to close, after RunXMLFileTest returned.
  virtual MSIHANDLE GetDatabase() = 0;

  // Writes into `buffer` (room for 260 characters) the one YVXmlFile key to
  // test, or an empty text to test every file. The result is not examined;
  // return 1.
  virtual DWORD GetFileKeyFilter(wchar_t* buffer) = 0;

  // Reserved: never called by the module. Keep the slot.
  virtual void Reserved3() {}

  // True to install every component, false to uninstall every component.
  // Asked once per component while loading and once before the pass.
  virtual bool IsInstall() = 0;

  // Asked for each progress-message property (`propertyName`, one of the
  // YV_PROGMSG_... names) before it is read from the Property table. Return
  // true to have the module use a fixed placeholder text instead.
  virtual bool UseProgressPlaceholder(const wchar_t* propertyName, wchar_t* buffer, DWORD bufferSize) = 0;

 protected:
  ~IXmlTestHarness() = default;
};

// The module's test entry point.
extern "C" typedef void(__stdcall* RunXMLFileTestFunction)(IXmlTestHarness* harness);
