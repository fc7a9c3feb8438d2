#pragma once

#include <windows.h>
#include <msi.h>

#include <memory>

#include "config/CXmlLoader.h"
#include "database/CAuthoringCheck.h"
#include "database/IElementRowSource.h"
#include "database/IXmlStringIdResolver.h"
#include "support/stringw.h"

class CXmlCfgPropertyBag;
class CXmlCfgFileProp;
class CXmlCfgXPathProp;

// Fills a property bag from the XML-change tables of an installer database:
// YVXmlFile (one row per file), YVXmlElement (a tree of element steps per
// file), YVXmlElementAttrib (attribute changes per element) and the progress
// texts of the Property table. How values are resolved and which action the
// installer takes on a component is left to the derived class.
class CXmlMSILoader : public CXmlLoader, public IXmlStringIdResolver {
 public:
  // How the element tree is read. Both give the same records in the same
  // order; they differ only in cost.
  enum class ElementWalk {
    // Each table read once, the tree walked in memory: linear in the rows.
    kIndexed,
    // One installer query per element, as the tables are laid out: each
    // query scans the table, so the cost grows with the square of the rows.
    kQueryPerElement,
  };

  CXmlMSILoader();
  ~CXmlMSILoader() override;
  CXmlMSILoader(const CXmlMSILoader&) = delete;
  CXmlMSILoader& operator=(const CXmlMSILoader&) = delete;

  // Returns 0 or the first error code (DatabaseResult). A failed installer
  // call leaves as com_exception; the records made before it stay in the bag.
  int Load(CXmlCfgPropertyBag& bag) override;
  DWORD ResolveValue(int kind, const wchar_t* text, wchar_t* buffer, DWORD bufferSize) override = 0;

  // The installer's requested action state for the component.
  virtual int GetComponentActionState(const wchar_t* component) = 0;
  // The attributes a restored backup gets; unknown here, so they are read
  // from the file at restore time.
  virtual DWORD GetInitialFileAttributes(const wchar_t* fileName);
  // Writes the one YVXmlFile key to load into `buffer` (260 characters), or
  // an empty text to load every file. Returns 1.
  virtual DWORD GetFileKeyFilter(wchar_t* buffer);
  // The formatted value of `name` from the Property table, cut to fit
  // `capacity` characters. Returns 0, kPropertyEmpty, or kPropertyMissing
  // (IDS_PROPERTY_MISSING logged, the name itself copied into the buffer).
  virtual int GetPropertyValue(const wchar_t* name, wchar_t* buffer, DWORD capacity);

  // Leaves the text unchanged; returns its length plus one.
  DWORD Resolve(wchar_t* buffer, DWORD capacity) override;

  void SetDatabase(MSIHANDLE database) { database_ = database; }
  MSIHANDLE database() const noexcept { return database_; }
  void SetElementWalk(ElementWalk walk) { walk_ = walk; }
  CAuthoringCheck& authoringCheck() { return check_; }

  // `text` through ResolveValue (260 characters first, then as many as it
  // asks for).
  yv::_stringw ResolveText(int kind, const yv::_stringw& text);
  // Field `field` of `record`, resolved as a folder property name when
  // `asProperty`, else as installer-formatted text (kind 16 when
  // `formatted16`, else kind 1).
  yv::_stringw GetResolvedRecordString(MSIHANDLE record, UINT field, bool asProperty, bool formatted16);

 private:
  int LoadFileRow(MSIHANDLE row);
  int LoadElements(CXmlCfgFileProp& file);
  int FindOrAddXPath(CXmlCfgFileProp& file, const yv::_stringw& rowKey, const yv::_stringw& expression, DWORD flags,
                     CXmlCfgXPathProp*& xpath);
  static void MergeContent(CXmlCfgXPathProp& xpath, const yv::_stringw& content);
  int LoadProgressMessages();
  yv::_stringw DefaultEncoding();
  IElementRowSource& Rows();

  MSIHANDLE database_ = 0;
  CXmlCfgPropertyBag* bag_ = nullptr;
  ElementWalk walk_ = ElementWalk::kIndexed;
  CAuthoringCheck check_;
  // Made on the first file that has elements; lives for one Load.
  std::unique_ptr<IElementRowSource> rows_;
};
