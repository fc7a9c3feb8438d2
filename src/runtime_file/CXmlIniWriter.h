#pragma once

#include <windows.h>

#include <string>

#include "config/CXmlWriter.h"
#include "runtime_file/CIniFile.h"
#include "support/stringw.h"

class CXmlCfgComponentProp;
class CXmlCfgFileProp;
class CXmlCfgPropertyBag;
class CXmlCfgXPathAttribProp;
class CXmlCfgXPathProp;

// Stores a property bag in a runtime data file. Values are merged into what
// the file already holds: sections and keys the bag does not set stay. The
// XPath and attribute sections are numbered by two running counters that
// start at 1 with a new writer and go on across writes.
class CXmlIniWriter : public CXmlWriter {
 public:
  explicit CXmlIniWriter(const yv::_stringw& destination);
  virtual ~CXmlIniWriter();
  CXmlIniWriter(const CXmlIniWriter&) = delete;
  CXmlIniWriter& operator=(const CXmlIniWriter&) = delete;

  // Always 0: a destination that cannot be written shows only when the file
  // is read back.
  int Write(const CXmlCfgPropertyBag& bag) override;

  const yv::_stringw& destination() const noexcept { return destination_; }
  // The SHA-256 of the bytes the last Write put into the file.
  const yv::_stringw& digest() const noexcept { return digest_; }

 private:
  void WriteComponentSection(const CXmlCfgComponentProp& component);
  void WriteFileSection(const CXmlCfgFileProp& file);
  void WriteXPathSection(const wchar_t* section, const CXmlCfgXPathProp& xpath);
  void WriteAttributeSection(const wchar_t* section, const CXmlCfgXPathAttribProp& attribute);
  // Writes `text` in quotes under `key`, or, when it holds a line break,
  // escaped under `escapedKey`.
  void SetQuoted(const wchar_t* section, const wchar_t* key, const wchar_t* escapedKey, const yv::_stringw& text);
  void SetHiddenMark(const wchar_t* section, const wchar_t* key, bool hidden);
  void SetListEntry(const wchar_t* section, const wchar_t* keyFormat, int index, const wchar_t* value);

  yv::_stringw destination_;
  yv::_stringw digest_;
  const CXmlCfgPropertyBag* bag_ = nullptr;
  CIniFile ini_;
  int xpathSections_ = 0;
  int attributeSections_ = 0;
  // Content and values between their quotes; kept to reuse its storage.
  std::wstring quoted_;
};
