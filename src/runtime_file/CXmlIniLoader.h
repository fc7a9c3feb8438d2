#pragma once

#include <windows.h>

#include <string_view>
#include <vector>

#include "config/CXmlLoader.h"
#include "runtime_file/CIniFile.h"
#include "support/stringw.h"

class CXmlCfgComponentProp;
class CXmlCfgFileProp;
class CXmlCfgPropertyBag;
class CXmlCfgXPathProp;

// Reads a runtime data file back into a property bag. The file is read once,
// then walked from the Components section down through the component, file,
// XPath and attribute sections that the list keys name.
//
// A missing required value of a component or file fails the whole load with
// one of RuntimeFileResult's codes; a damaged XPath or attribute section only
// ends the reading of that section. Records filled before a failure stay in
// the bag. How stored values become final texts is up to the derived class
// (ResolveValue).
class CXmlIniLoader : public CXmlLoader {
 public:
  int Load(CXmlCfgPropertyBag& bag) override;
  DWORD ResolveValue(int kind, const wchar_t* text, wchar_t* buffer, DWORD bufferSize) override = 0;
  virtual ~CXmlIniLoader();
  CXmlIniLoader(const CXmlIniLoader&) = delete;
  CXmlIniLoader& operator=(const CXmlIniLoader&) = delete;

  const yv::_stringw& path() const noexcept { return path_; }

 protected:
  CXmlIniLoader();
  void SetPath(const yv::_stringw& path) { path_ = path; }

  // ResolveValue with a first buffer of 260 characters and, when the value
  // needs more, one more call with the size it asked for.
  yv::_stringw Resolve(int kind, const yv::_stringw& text);

 private:
  int ReadComponents();
  int ReadComponentFiles(CXmlCfgComponentProp& component);
  int ReadFileSection(CXmlCfgComponentProp& component, const yv::_stringw& fileKey);
  int ReadXPathEntries(CXmlCfgFileProp& file);
  int ReadXPathSection(const yv::_stringw& sectionName, const yv::_stringw& expression, CXmlCfgFileProp& file);
  int ReadAttributeSection(const yv::_stringw& sectionName, CXmlCfgXPathProp& xpath);
  int ReadProgressMessages();
  void ReadReplacedProducts();

  // The value of `key` read through a buffer of `chars` characters: cut to
  // chars - 1, empty when the key or its section is absent. Valid until the
  // next read.
  std::wstring_view ReadValue(const wchar_t* section, const wchar_t* key);
  // The same for Content and Value, less one pair of surrounding quotes.
  // A value with line breaks is read from `escapedKey` and decoded.
  std::wstring_view ReadQuotedValue(const wchar_t* section, const wchar_t* key, const wchar_t* escapedKey);
  static std::wstring_view UnescapeLineBreaks(std::wstring_view text);
  // Whether the hidden-text mark `key` of `section` is set.
  bool IsMarkedHidden(const wchar_t* section, const wchar_t* key) const;
  // ResolveValue by the two-call protocol; valid until the next resolution.
  std::wstring_view ResolveRead(int kind, std::wstring_view text);

  yv::_stringw path_;
  CXmlCfgPropertyBag* bag_ = nullptr;
  CIniFile ini_;
  // Buffers reused for every value, so that reading a large file does not
  // allocate twice per value.
  std::vector<wchar_t> read_;
  std::vector<wchar_t> resolved_;
};
