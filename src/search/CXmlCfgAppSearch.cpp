#include "search/CXmlCfgAppSearch.h"

#include <msiquery.h>

#include "database/MsiQuery.h"
#include "xml/CYVXmlFile.h"
#include "xml/XmlResults.h"

namespace {

// The locator table's columns, by position.
constexpr UINT kSignatureField = 1;
constexpr UINT kParentField = 2;
constexpr UINT kElementField = 3;
constexpr UINT kAttributeField = 4;
constexpr UINT kSearchTypeField = 5;

// One fixed bar for the whole run: rows do not move it.
constexpr DWORD kProgressSteps = 2;
constexpr DWORD kTicksPerStep = 5000;

const wchar_t kInvalidSearchType[] =
    L"YVXmlLocator record appears to have an invalid value for YVAttributes. It must be set to 0, 1, or 2.";

// Reads the value that the row asks for from the first selected node.
// Returns the document layer's code, or 1 for a search type it does not know
// (already logged).
int ReadSelectedValue(CYVXmlFile& document, int searchType, const yv::_stringw& attribute, yv::_stringw& value,
                      CXmlCfgAppSearch& log) {
  switch (searchType) {
    case LocatorSearchType::kAttributeValue:
      return document.GetAttributeValue(attribute, value);
    case LocatorSearchType::kElementText:
      return document.GetElementContent(value);
    case LocatorSearchType::kElementExists:
      value = L"1";
      return XmlResult::kSuccess;
    default:
      log.Log(kInvalidSearchType);
      return 1;
  }
}

}  // namespace

CXmlCfgAppSearch::CXmlCfgAppSearch(MSIHANDLE session) : CXmlCfgActionBase(session) {}

CXmlCfgAppSearch::~CXmlCfgAppSearch() = default;

void CXmlCfgAppSearch::Log(const wchar_t* text) { CXmlCfgActionBase::Log(text); }

int CXmlCfgAppSearch::DoXmlAppSearches() {
  SetupProgressBar(kProgressSteps, kTicksPerStep);
  ProgressMessage(L"Running YVXmlAppSearch...");
  try {
    if (msi_query::IsTableMissing(database(), L"YVXmlLocator") || msi_query::IsTableMissing(database(), L"AppSearch")) {
      Log(L"AppSearch or YVXmlLocator table does not exist.  Both tables are need to search the contents of an XML "
          L"file.");
      return 0;
    }
    yv::MsiHandle view;
    OpenView(view, database(), L"SELECT * FROM `YVXmlLocator`");
    yv::MsiHandle row;
    while (msi_query::FetchRow(view, row)) {
      // A failed row is already in the log; the next one is searched anyway.
      DoXmlAppSearch(row);
    }
    CompleteProgressBar();
  } catch (...) {
    Log(L"Unhandled exception caught in DoXmlAppSearches");
  }
  return 0;
}

bool CXmlCfgAppSearch::DoXmlAppSearch(MSIHANDLE row) {
  try {
    if (!ReadLocatorRecord(row)) return false;

    yv::_stringw path;
    if (!LocateFile(path)) return false;

    CYVXmlFile document(path, nullptr);
    if (!document.Exists()) {
      LogFormat(L"The file '%s' does not exist.", path);
      return false;
    }
    int loaded;
    try {
      loaded = document.Load();
    } catch (...) {
      loaded = XmlResult::kDocumentElementUnreadable;
    }
    if (loaded == XmlResult::kNoParser) {
      LogFormat(L"Error opening the file '%s'. XML version 3.0 or higher needs to be installed to search the contents "
                L"of an XML file.",
                path);
      return false;
    }
    if (loaded != XmlResult::kSuccess) {
      LogFormat(L"Error opening the file '%s'. Please verify that this is a well formed XML document.", path);
      return false;
    }

    try {
      if (!document.SelectXPath(element_, yv::_stringw(), false, true)) {
        LogFormat(L"Element not found using the following Element: %s. It is possible that the element did not exist "
                  L"or the XPath syntax is invalid.",
                  element_);
        return false;
      }
    } catch (...) {
      LogFormat(L"Unhandled exception caught while getting the XML nodes for the following Element: '%s'. It is "
                L"possible that the element did not exist or the XPath syntax is invalid.",
                element_);
      return false;
    }

    int read = ReadSelectedValue(document, searchType_, attribute_, foundValue_, *this);
    if (read == XmlResult::kAttributeMissing) {
      LogFormat(L"Attribute '%s' not found using the following Element: '%s'. Check for the existence of the "
                L"Attribute.",
                attribute_, element_);
      return false;
    }
    if (read != XmlResult::kSuccess) {
      LogFormat(L"GetXmlInfo failed for the following Element: '%s'.", element_);
      return false;
    }

    return StoreResult();
  } catch (...) {
    Log(L"Unhandled exception caught in CXmlCfgAppSearch::DoXmlAppSearch.");
    Log(L"CXmlCfgAppSearch::DoXmlAppSearch failed.");
    return false;
  }
}

bool CXmlCfgAppSearch::LocateFile(yv::_stringw& path) {
  try {
    path = GetProperty(fileProperty_.c_str());
    if (path.empty()) {
      LogFormat(L"The location of the XML file, stored in the Property '%s', is currently a NULL value.  It appears "
                L"that the AppSearch did not find the file.",
                fileProperty_);
      return false;
    }
    return true;
  } catch (...) {
    Log(L"Unhandled exception occured while searching AppSearch and YVXmlLocator for the location of the XML file.");
    Log(L"An error occurred while searching AppSearch and YVXmlLocator tables for the location of the XML file.");
    return false;
  }
}

bool CXmlCfgAppSearch::StoreResult() {
  try {
    SetProperty(resultProperty_.c_str(), foundValue_.c_str());
    LogFormat(L"Success! The YVXmlAppSearch action set the value of the associated property to the following value: "
              L"'%s'.",
              foundValue_);
    return true;
  } catch (...) {
    LogFormat(L"YVXmlAppSearch threw an unhandled exception while attempting to set the property to the following "
              L"value: '%s'",
              foundValue_);
    return false;
  }
}

bool CXmlCfgAppSearch::ReadLocatorRecord(MSIHANDLE row) {
  element_ = GetRecordString(row, kElementField);
  if (!CheckNotNull(L"YVXmlLocator", L"Element", element_)) return false;

  attribute_.clear();
  foundValue_.clear();
  int searchType = MsiRecordGetInteger(row, kSearchTypeField);
  switch (searchType) {
    case LocatorSearchType::kAttributeValue:
      attribute_ = GetRecordString(row, kAttributeField);
      LogFormat(L"Searching for an XML Attribute value using the Element '%s' and the Attribute '%s'.", element_,
                attribute_);
      if (attribute_.empty()) {
        LogFormat(L"The XMLLocator search for the element in '%s' appears to have a NULL Attribute in the YVXmlLocator "
                  L"table.  There can not be a NULL attribute name when searching for the attribute value.",
                  element_);
        return false;
      }
      break;
    case LocatorSearchType::kElementText:
      LogFormat(L"Searching for the contents of the XML Element using the Element '%s'.", element_);
      break;
    case LocatorSearchType::kElementExists:
      LogFormat(L"Searching for the existence of the XML Element using the Element '%s'.", element_);
      break;
    default:
      // A null column arrives as MSI_NULL_INTEGER and lands here too.
      Log(kInvalidSearchType);
      return false;
  }
  searchType_ = static_cast<short>(searchType);

  yv::_stringw signature = GetRecordString(row, kSignatureField);
  signature_.assign(signature.c_str(), signature.size());
  if (!CheckNotNull(L"YVXmlLocator", L"Signature", signature)) return false;
  yv::_stringw parent = GetRecordString(row, kParentField);
  parent_.assign(parent.c_str(), parent.size());
  if (!CheckNotNull(L"YVXmlLocator", L"Parent", parent)) return false;

  return LookUpAppSearchProperty(parent, fileProperty_) && LookUpAppSearchProperty(signature, resultProperty_);
}

bool CXmlCfgAppSearch::CheckNotNull(const wchar_t* table, const wchar_t* column, const yv::_stringw& value) {
  if (!value.empty()) return true;
  try {
    LogFormat(L"YVXmlAppSearch failed because of a NULL value required for the search. Table: '%s', Column: '%s'",
              table, column);
  } catch (...) {
    // The row is refused either way; a line that cannot be written (no
    // memory for it) must not turn into a failure of the whole search.
    OutputDebugStringW(L"YVXmlAppSearch: a required locator column is empty\n");
  }
  return false;
}

bool CXmlCfgAppSearch::LookUpAppSearchProperty(const yv::_stringw& signature, yv::_stringw& property) {
  try {
    yv::MsiHandle view;
    yv::MsiHandle record;
    if (OpenQuery(view, database(), record, L"SELECT * FROM `AppSearch` WHERE `Signature_`='%s'", signature) != 0) {
      LogFormat(L"No AppSearch record found with a Signature of: '%s'", signature);
      return false;
    }
    property = GetRecordString(record, 1);
    if (property.empty()) {
      LogFormat(L"The AppSearch record with a Signature of: '%s' contains a NULL property value.", signature);
      return false;
    }
    return true;
  } catch (...) {
    LogFormat(L"An unhandled exception occurred while trying to get the Property from the AppSearch record with a "
              L"value of: '%s'.",
              signature);
    return false;
  }
}
