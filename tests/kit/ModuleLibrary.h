#pragma once

#include <windows.h>
#include <msi.h>

#include <stdexcept>
#include <string>

// YVXmlCfg.dll loaded as a host loads it: from the test program's own
// folder, held while the object lives, its exports found by name. Tests
// that go through the real exports see what the installer, a build process
// or an authoring tool sees: the .def names, the calling convention and the
// DLL's own copy of every static.
class ModuleLibrary {
 public:
  ModuleLibrary() {
    wchar_t self[MAX_PATH];
    std::wstring path(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
    module_ = LoadLibraryW((path.substr(0, path.find_last_of(L'\\') + 1) + L"YVXmlCfg.dll").c_str());
    if (!module_) throw std::runtime_error("YVXmlCfg.dll must sit beside the test program");
  }
  ~ModuleLibrary() { FreeLibrary(module_); }
  ModuleLibrary(const ModuleLibrary&) = delete;
  ModuleLibrary& operator=(const ModuleLibrary&) = delete;

  // The export `name` as a `Function` pointer; throws naming it when the DLL
  // has no such export.
  template <class Function>
  Function Export(const char* name) const {
    FARPROC address = GetProcAddress(module_, name);
    if (!address) throw std::runtime_error(std::string("YVXmlCfg.dll exports no ") + name);
    return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
  }
  // Calls a custom-action export with the installer's signature.
  UINT CallAction(const char* name, MSIHANDLE session) const {
    return Export<UINT(__stdcall*)(MSIHANDLE)>(name)(session);
  }

 private:
  HMODULE module_;
};
