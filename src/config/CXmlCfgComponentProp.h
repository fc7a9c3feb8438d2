#pragma once

#include <map>
#include <memory>

#include "config/CXmlCfgFileProp.h"
#include "config/OrdinalLess.h"
#include "support/stringw.h"

// One installer component that carries XML files, with the action the
// installer is about to take on it.
class CXmlCfgComponentProp {
 public:
  using FileMap = std::map<yv::_stringw, std::unique_ptr<CXmlCfgFileProp>, OrdinalLess>;

  explicit CXmlCfgComponentProp(const yv::_stringw& componentName);
  virtual ~CXmlCfgComponentProp();
  CXmlCfgComponentProp(const CXmlCfgComponentProp&) = delete;
  CXmlCfgComponentProp& operator=(const CXmlCfgComponentProp&) = delete;

  // Creates an empty file record for `fileKey` owned by this component; an
  // earlier record with the same key is destroyed and replaced.
  CXmlCfgFileProp* AddFile(const yv::_stringw& fileKey);

  yv::_stringw name;
  // The installer's requested action state (ComponentActionState); the
  // engine's host decides which values mean install and uninstall.
  int actionState = 0;
  // The number of files is the component's progress weight.
  FileMap files;
};
