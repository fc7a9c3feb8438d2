#include "config/CXmlCfgPropertyBag.h"

#include "config/CXmlLoader.h"
#include "config/CXmlWriter.h"

CXmlCfgPropertyBag::CXmlCfgPropertyBag() = default;

CXmlCfgPropertyBag::~CXmlCfgPropertyBag() = default;

int CXmlCfgPropertyBag::Load(CXmlLoader& loader) { return loader.Load(*this); }

int CXmlCfgPropertyBag::Save(CXmlWriter& writer) const { return writer.Write(*this); }

CXmlCfgComponentProp* CXmlCfgPropertyBag::GetOrAddComponent(const yv::_stringw& name) {
  auto found = components.find(name);
  if (found == components.end()) {
    found = components.emplace(name, std::make_unique<CXmlCfgComponentProp>(name)).first;
  }
  return found->second.get();
}

yv::_stringw CXmlCfgPropertyBag::GetProgressMessage(const yv::_stringw& name) const {
  auto found = progressMessages.find(name);
  return found == progressMessages.end() ? yv::_stringw() : found->second;
}
