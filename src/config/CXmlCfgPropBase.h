#pragma once

// Common base of the file, element and attribute records, so that code which
// only owns or destroys records can hold any of them.
class CXmlCfgPropBase {
 public:
  CXmlCfgPropBase() = default;
  virtual ~CXmlCfgPropBase();
  CXmlCfgPropBase(const CXmlCfgPropBase&) = delete;
  CXmlCfgPropBase& operator=(const CXmlCfgPropBase&) = delete;
};
