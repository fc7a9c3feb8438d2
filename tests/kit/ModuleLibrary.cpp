#include "kit/ModuleLibrary.h"

#include <stdexcept>
#include <string>

ModuleLibrary::ModuleLibrary() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self);
  path = path.substr(0, path.find_last_of(L'\\') + 1) + L"YVXmlCfg.dll";
  module_ = LoadLibraryW(path.c_str());
  if (!module_) throw std::runtime_error("YVXmlCfg.dll must sit beside the test program");
}

ModuleLibrary::~ModuleLibrary() { FreeLibrary(module_); }

UINT ModuleLibrary::CallAction(const char* name, MSIHANDLE session) const {
  return Export<UINT(__stdcall*)(MSIHANDLE)>(name)(session);
}

FARPROC ModuleLibrary::ExportAddress(const char* name) const {
  FARPROC address = GetProcAddress(module_, name);
  if (!address) throw std::runtime_error(std::string("YVXmlCfg.dll exports no ") + name);
  return address;
}
