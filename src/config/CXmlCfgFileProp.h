#pragma once

#include <windows.h>

#include <map>
#include <memory>

#include "config/CXmlCfgPropBase.h"
#include "config/CXmlCfgXPathProp.h"
#include "config/ConfigFlags.h"
#include "config/OrdinalLess.h"
#include "support/stringw.h"

// One XML file of a component: where it is, how it is treated, and the
// elements to change in it. The elements are kept in ordinal order of their
// XPath text, so an element is always handled before the longer paths that
// extend it.
class CXmlCfgFileProp : public CXmlCfgPropBase {
 public:
  using XPathMap = std::map<yv::_stringw, std::unique_ptr<CXmlCfgXPathProp>, OrdinalLess>;

  CXmlCfgFileProp(const yv::_stringw& fileKey, const yv::_stringw& componentName);
  ~CXmlCfgFileProp() override;

  // Creates an empty element record for `expression`; an earlier record for
  // the same text is destroyed and replaced.
  CXmlCfgXPathProp* AddXPath(yv::_stringw expression);

  // The folder and the file name joined by one backslash; the file name
  // alone when the folder is empty.
  yv::_stringw GetFullPath() const;

  yv::_stringw fileName;
  // File system attributes to put back with a backup, or
  // kUnknownFileAttributes to read them from the file at restore time.
  DWORD fileAttributes = 0;
  yv::_stringw key;
  yv::_stringw component;
  yv::_stringw path;
  yv::_stringw uninstPath;
  yv::_stringw rootElementName;
  yv::_stringw rootElementNamespace;
  // XmlFileFlags.
  DWORD attributes = 0;
  yv::_stringw selectionNamespaces;
  yv::_stringw encoding;
  // The backup copy made by the install; empty when there is none.
  yv::_stringw tempFilePath;
  // 1 once the install created the file, so that rollback deletes it.
  DWORD createdOnInstall = 0;
  XPathMap xpaths;
};
