#pragma once

class CXmlCfgPropertyBag;

// Stores a whole property bag somewhere. The bag calls Write with itself.
class CXmlWriter {
 public:
  // Returns 0 for success.
  virtual int Write(const CXmlCfgPropertyBag& bag) = 0;

 protected:
  ~CXmlWriter() = default;
};
