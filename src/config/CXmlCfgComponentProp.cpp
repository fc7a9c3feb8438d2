#include "config/CXmlCfgComponentProp.h"

CXmlCfgComponentProp::CXmlCfgComponentProp(const yv::_stringw& componentName) : name(componentName) {}

CXmlCfgComponentProp::~CXmlCfgComponentProp() = default;

CXmlCfgFileProp* CXmlCfgComponentProp::AddFile(const yv::_stringw& fileKey) {
  auto& slot = files[fileKey];
  slot = std::make_unique<CXmlCfgFileProp>(fileKey, name);
  return slot.get();
}
