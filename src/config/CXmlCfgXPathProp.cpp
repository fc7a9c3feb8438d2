#include "config/CXmlCfgXPathProp.h"

#include <utility>

CXmlCfgXPathProp::CXmlCfgXPathProp(yv::_stringw expression) : xpath(std::move(expression)) {}

CXmlCfgXPathProp::~CXmlCfgXPathProp() = default;

CXmlCfgXPathAttribProp* CXmlCfgXPathProp::AddAttribute(yv::_stringw attributeName) {
  bool declaration = attributeName == kNamespaceAttributeName;
  auto attribute = std::make_unique<CXmlCfgXPathAttribProp>(std::move(attributeName));
  CXmlCfgXPathAttribProp* added = attribute.get();
  if (declaration) {
    namespaceDeclaration = std::move(attribute);
  } else {
    attributes.push_back(std::move(attribute));
  }
  return added;
}

yv::_stringw CXmlCfgXPathProp::GetNamespace() const {
  return namespaceDeclaration ? namespaceDeclaration->value : yv::_stringw();
}
