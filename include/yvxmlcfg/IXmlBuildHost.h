#pragma once

// The object a build process hands to CreateProIniFileForBuild, exported by
// YVXmlCfg.dll:
//
//   extern "C" void __stdcall CreateProIniFileForBuild(IXmlBuildHost* host);
//
// For projects that have no installer database when they run, the module
// reads the XML-change tables of the host's database at build time and
// writes the whole description as "XMLRT.ini" into the host's output
// folder, in the format of the runtime data file. Text values lose every
// "##" pair; folder values are replaced by the host's own form of them.
// The export reports nothing and returns nothing; it does not need COM.
//
// Binary layout: the module calls these operations through the virtual
// table, by position, so the order below is fixed, including the nine
// reserved slots before the three the module uses. The interface has no
// virtual destructor on purpose: compilers disagree on how many table slots
// one takes. The module never deletes the host.

#include <windows.h>
#include <msi.h>
#include <oleauto.h>

class IXmlBuildHost {
 public:
  // Reserved: never called by the module. Keep the slots.
  virtual void Reserved1() {}
  virtual void Reserved2() {}
  virtual void Reserved3() {}
  virtual void Reserved4() {}
  virtual void Reserved5() {}
  virtual void Reserved6() {}
  virtual void Reserved7() {}
  virtual void Reserved8() {}
  virtual void Reserved9() {}

  // The project's installer database, whose XML-change tables are read. It
  // stays the host's to close, after CreateProIniFileForBuild returned.
  virtual MSIHANDLE GetDatabase() = 0;

  // The form in which the folder named by `input` (the YVXmlFile row's
  // folder property name) is to be written. Store a new BSTR in *output;
  // the module frees it. The result is not examined.
  virtual HRESULT TranslatePath(BSTR input, BSTR* output) = 0;

  // The folder that receives "XMLRT.ini". Store a new BSTR in *output; the
  // module frees it. The result is not examined.
  virtual HRESULT GetOutputFolder(BSTR* output) = 0;

 protected:
  ~IXmlBuildHost() = default;
};

// The module's build-time entry point.
extern "C" typedef void(__stdcall* CreateProIniFileForBuildFunction)(IXmlBuildHost* host);
