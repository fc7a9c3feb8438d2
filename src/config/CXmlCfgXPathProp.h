#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "config/CXmlCfgPropBase.h"
#include "config/CXmlCfgXPathAttribProp.h"
#include "support/stringw.h"

// One element of an XML file to change, addressed by its XPath, with the
// attribute changes applied to it in the order they were added.
class CXmlCfgXPathProp : public CXmlCfgPropBase {
 public:
  explicit CXmlCfgXPathProp(yv::_stringw expression);
  ~CXmlCfgXPathProp() override;

  // The attribute name that declares the element's namespace instead of
  // being an attribute change.
  static constexpr const wchar_t* kNamespaceAttributeName = L"xmlns";

  // Adds an attribute change named `attributeName` and returns it. An
  // "xmlns" attribute replaces the namespace declaration instead of joining
  // the list, so the list holds only real attribute changes.
  CXmlCfgXPathAttribProp* AddAttribute(yv::_stringw attributeName);

  // The URI of the namespace declaration, empty when there is none.
  yv::_stringw GetNamespace() const;

  yv::_stringw xpath;
  // XmlElementFlags.
  DWORD action = 0;
  yv::_stringw content;
  // Whether the XPath, and the content, hold the value of a hidden installer
  // property: no log line may show them.
  bool xpathHidden = false;
  bool contentHidden = false;
  // The runtime data file section this record was read from.
  yv::_stringw sectionName;
  std::vector<std::unique_ptr<CXmlCfgXPathAttribProp>> attributes;
  std::unique_ptr<CXmlCfgXPathAttribProp> namespaceDeclaration;
};
