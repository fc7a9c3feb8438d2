#pragma once

#include <map>
#include <memory>
#include <vector>

#include "config/CXmlCfgComponentProp.h"
#include "config/OrdinalLess.h"
#include "support/SecretMask.h"
#include "support/stringw.h"

class CXmlLoader;
class CXmlWriter;

// The whole description of the XML changes of one installation: the
// components that carry XML files and the texts shown while they are
// processed. The components are processed in ordinal order of their names.
class CXmlCfgPropertyBag {
 public:
  using ComponentMap = std::map<yv::_stringw, std::unique_ptr<CXmlCfgComponentProp>, OrdinalLess>;
  using TextMap = std::map<yv::_stringw, yv::_stringw, OrdinalLess>;

  CXmlCfgPropertyBag();
  virtual ~CXmlCfgPropertyBag();
  CXmlCfgPropertyBag(const CXmlCfgPropertyBag&) = delete;
  CXmlCfgPropertyBag& operator=(const CXmlCfgPropertyBag&) = delete;

  // Hands the bag to `loader` to be filled; returns the loader's code.
  int Load(CXmlLoader& loader);
  // Hands the bag to `writer` to be stored; returns the writer's code.
  int Save(CXmlWriter& writer) const;

  // The component named `name`, created with action state 0 and no files
  // when the bag does not hold it yet.
  CXmlCfgComponentProp* GetOrAddComponent(const yv::_stringw& name);

  // The progress text stored under `name`, or an empty text.
  yv::_stringw GetProgressMessage(const yv::_stringw& name) const;

  // Marks every XPath, content and attribute value that contains one of the
  // texts of `secrets` as hidden.
  void MarkHiddenTexts(const yv::SecretMask& secrets);
  // Adds every text marked hidden to `secrets`: the later actions know
  // hidden values only by these marks.
  void AddHiddenTextsTo(yv::SecretMask& secrets) const;

  // Progress texts by template name (the YV_PROGMSG_XML_* identifiers).
  TextMap progressMessages;
  // The ProductCodes of the older products this installation removes (a
  // major upgrade): what they recorded for a file with the file flag 0x10 is
  // undone before this installation changes the file, and becomes its own.
  std::vector<yv::_stringw> replacedProducts;
  ComponentMap components;
};
