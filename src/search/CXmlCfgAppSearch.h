#pragma once

#include <windows.h>
#include <msi.h>

#include <string>

#include "actions/CXmlCfgActionBase.h"
#include "support/MessageLog.h"
#include "support/stringw.h"

// What a YVXmlLocator row reads from the element it selects (its YVAttributes
// column).
namespace LocatorSearchType {
constexpr int kAttributeValue = 0;
constexpr int kElementText = 1;
constexpr int kElementExists = 2;
}  // namespace LocatorSearchType

// The immediate search action: for every YVXmlLocator row, finds the XML file
// that the installer's own file search put into a property, reads an
// attribute value, an element's text or an element's existence from it, and
// stores the result in the property that the row's AppSearch entry names.
//
// No engine is alive during the search, so nothing listens to the numbered
// messages: every line this action wants in the installer log it writes
// itself. Nothing here fails the installation; each problem becomes a log
// line and the next row is searched.
class CXmlCfgAppSearch : public CXmlCfgActionBase {
 public:
  explicit CXmlCfgAppSearch(MSIHANDLE session);
  ~CXmlCfgAppSearch() override;

  // The action's run. Always 0.
  int DoXmlAppSearches();
  // One search over one YVXmlLocator row; false when any step failed (the
  // reason is in the log).
  bool DoXmlAppSearch(MSIHANDLE row);
  // Reads the row's columns and the two AppSearch property names.
  bool ReadLocatorRecord(MSIHANDLE row);
  // The Property of the AppSearch row whose Signature_ is `signature`.
  bool LookUpAppSearchProperty(const yv::_stringw& signature, yv::_stringw& property);
  bool CheckNotNull(const wchar_t* table, const wchar_t* column, const yv::_stringw& value);

  void Log(const wchar_t* text) override;

  // A printf-style line (%s takes the module's strings) through Log.
  template <class... Args>
  void LogFormat(const wchar_t* pattern, const Args&... args) {
    yv::_stringw line;
    line.format(pattern, yv::detail::LogArgument(args)...);
    Log(line.c_str());
  }

  // The row last read, for tests.
  const yv::_stringw& fileProperty() const noexcept { return fileProperty_; }
  const yv::_stringw& resultProperty() const noexcept { return resultProperty_; }
  const yv::_stringw& foundValue() const noexcept { return foundValue_; }
  int searchType() const noexcept { return searchType_; }

 private:
  bool LocateFile(yv::_stringw& path);
  bool StoreResult();

  yv::_stringw fileProperty_;
  yv::_stringw resultProperty_;
  yv::_stringw foundValue_;
  std::wstring signature_;
  std::wstring parent_;
  yv::_stringw element_;
  yv::_stringw attribute_;
  // Stored as the installer's 16-bit column type: a value beyond it wraps
  // into a code no search knows.
  short searchType_ = 0;
};
