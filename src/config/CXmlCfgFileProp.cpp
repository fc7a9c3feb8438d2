#include "config/CXmlCfgFileProp.h"

#include <utility>

CXmlCfgFileProp::CXmlCfgFileProp(const yv::_stringw& fileKey, const yv::_stringw& componentName)
    : key(fileKey), component(componentName) {}

CXmlCfgFileProp::~CXmlCfgFileProp() = default;

CXmlCfgXPathProp* CXmlCfgFileProp::AddXPath(yv::_stringw expression) {
  auto& slot = xpaths[expression];
  slot = std::make_unique<CXmlCfgXPathProp>(std::move(expression));
  return slot.get();
}

yv::_stringw CXmlCfgFileProp::GetFullPath() const {
  yv::_stringw full(path);
  if (!full.empty() && full.back() != L'\\') full += L'\\';
  full += fileName;
  return full;
}
