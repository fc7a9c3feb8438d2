#include "config/CXmlCfgXPathProp.h"

CXmlCfgXPathProp::CXmlCfgXPathProp(const yv::_stringw& expression) : xpath(expression) {}

CXmlCfgXPathProp::~CXmlCfgXPathProp() = default;

CXmlCfgXPathAttribProp* CXmlCfgXPathProp::AddAttribute(const yv::_stringw& attributeName) {
  auto attribute = std::make_unique<CXmlCfgXPathAttribProp>(attributeName);
  CXmlCfgXPathAttribProp* added = attribute.get();
  if (attributeName == kNamespaceAttributeName) {
    namespaceDeclaration = std::move(attribute);
  } else {
    attributes.push_back(std::move(attribute));
  }
  return added;
}

yv::_stringw CXmlCfgXPathProp::GetNamespace() const {
  return namespaceDeclaration ? namespaceDeclaration->value : yv::_stringw();
}
