#pragma once

#include <windows.h>
#include <msi.h>

// YVXmlCfg.dll loaded as a host loads it: from the test program's own
// folder, held while the object lives, its exports found by name. Tests
// that go through the real exports see what the installer, a build process
// or an authoring tool sees: the .def names, the calling convention and the
// DLL's own copy of every static.
class ModuleLibrary {
 public:
  // Throws std::runtime_error when the DLL is not beside the program.
  ModuleLibrary();
  ~ModuleLibrary();
  ModuleLibrary(const ModuleLibrary&) = delete;
  ModuleLibrary& operator=(const ModuleLibrary&) = delete;

  // The export `name` as a `Function` pointer; throws std::runtime_error
  // naming it when the DLL has no such export.
  template <class Function>
  Function Export(const char* name) const {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(ExportAddress(name)));
  }

  // Calls a custom-action export with the installer's signature.
  UINT CallAction(const char* name, MSIHANDLE session) const;

 private:
  FARPROC ExportAddress(const char* name) const;

  HMODULE module_;
};
