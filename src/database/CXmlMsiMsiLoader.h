#pragma once

#include <windows.h>
#include <msi.h>

#include <vector>

#include "database/CXmlMSILoader.h"
#include "support/msi_handle.h"

// The database loader of a running installation: values are formatted by the
// installer session, folder properties are read from it (and expanded from
// the environment), and each component's action state is the one the
// installer requested. Without an installation (no install handle) values
// are taken as stored and every component counts as installed locally.
class CXmlMsiMsiLoader : public CXmlMSILoader {
 public:
  CXmlMsiMsiLoader();
  ~CXmlMsiMsiLoader() override;

  // Binds the loader to an installer session and to the session's own
  // database handle, which the loader keeps and closes.
  void SetInstallHandle(MSIHANDLE install);
  MSIHANDLE installHandle() const noexcept { return install_; }

  // The base loader's bag, and with an installation the products it removes.
  int Load(CXmlCfgPropertyBag& bag) override;

  DWORD ResolveValue(int kind, const wchar_t* text, wchar_t* buffer, DWORD bufferSize) override;
  int GetComponentActionState(const wchar_t* component) override;
  virtual DWORD GetFileAttributes(const wchar_t* path);

 private:
  yv::_stringw FormatText(const wchar_t* text);
  yv::_stringw FolderFromProperty(const wchar_t* name);
  std::vector<yv::_stringw> ReplacedProducts();

  MSIHANDLE install_ = 0;
  yv::MsiHandle activeDatabase_;
};
