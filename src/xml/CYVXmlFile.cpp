#include "xml/CYVXmlFile.h"

#include <string>
#include <string_view>

#include "support/FileBytes.h"
#include "support/MessageLog.h"
#include "xml/CXmlSelectionNamespaceString.h"
#include "xml/CYVXPathFragment.h"
#include "xml/ComVariant.h"
#include "xml/NewestParser.h"
#include "xml/SplitText.h"

CYVXmlFile::CYVXmlFile(const yv::_stringw& path, CYVXMLInstallEngine* event)
    : path_(path),
      rootElementName_(L"NewRoot"),
      encodingDeclaration_(L"encoding=\"UTF-8\""),
      xmlVersion_(L"1.0"),
      event_(event) {}

CYVXmlFile::~CYVXmlFile() = default;

bool CYVXmlFile::Exists() const {
  DWORD attributes = GetFileAttributesW(yv::ExtendedLengthPath(path_).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CYVXmlFile::IsBlank() const {
  // Anything bigger holds markup for sure; reading it whole would only cost.
  constexpr long long kLargestBlank = 64 * 1024;
  std::string bytes;
  if (!Exists() || !yv::ReadWholeFile(path_, bytes, kLargestBlank)) return false;
  for (std::string_view mark : {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"}) {
    if (bytes.compare(0, mark.size(), mark) == 0) {
      bytes.erase(0, mark.size());
      break;
    }
  }
  // UTF-16 blanks are these bytes with a zero beside each.
  return bytes.find_first_not_of(std::string_view(" \t\r\n\0", 5)) == std::string::npos;
}

void CYVXmlFile::SetSelectionNamespaces(const yv::_stringw& text) {
  selectionNamespaces_ = text;
  if (text.empty()) return;
  LogMessage(IDS_USING_SELECTION_NAMESPACES, text);
  for (const yv::_stringw& token : xmlutils::SplitText(text, L' ', false, 1)) {
    xmlutils::CXmlSelectionNamespaceString declaration(token);
    namespaceMap_[declaration.GetPrefix()] = declaration.GetURI();
  }
}

void CYVXmlFile::SetEncoding(const yv::_stringw& encodingName) {
  if (encodingName.empty()) return;
  // The surrounding spaces keep the declaration readable wherever it is
  // dropped into a template.
  encodingDeclaration_.format(L" encoding=\"%s\" ", encodingName.c_str());
  LogMessage(IDS_USING_ENCODING, encodingName);
}

void CYVXmlFile::SetFormatOnSave(bool formatOnSave) { formatOnSave_ = formatOnSave; }

int CYVXmlFile::SetRootElement(const yv::_stringw& name, const yv::_stringw& namespaceUri) {
  if (name.empty()) return 0;
  xmlutils::CYVXPathFragment step(name);
  rootElementName_ = step.GetName(false);
  if (!namespaceUri.empty()) {
    rootElementNamespace_ = namespaceUri;
  } else {
    yv::_stringw prefix = step.GetPrefix();
    if (!prefix.empty()) rootElementNamespace_ = GetNamespaceForPrefix(prefix);
  }
  LogMessage(IDS_SETTING_ROOT_NAME, name, namespaceUri);
  return 0;
}

yv::_stringw CYVXmlFile::GetNamespaceForPrefix(const yv::_stringw& prefix) const {
  auto entry = namespaceMap_.find(prefix);
  if (entry != namespaceMap_.end()) return entry->second;
  LogMessage(IDS_NO_NAMESPACE_FOR_PREFIX, prefix);
  return yv::_stringw();
}

void CYVXmlFile::ResolveQualifiedName(yv::_stringw& name, yv::_stringw& namespaceUri) const {
  std::size_t colon = name.find(L':');
  if (colon == yv::_stringw::npos) return;
  namespaceUri = GetNamespaceForPrefix(name.substr(0, colon));
  // An unknown prefix stays on the name so that the parser sees what the
  // author wrote.
  if (!namespaceUri.empty()) name = name.substr(colon + 1);
}

yv::ComPtr<IXMLDOMDocument2> CYVXmlFile::CreateDocument() const {
  int version = 0;
  yv::ComPtr<IXMLDOMDocument2> document = msxml::CreateNewestDocument(&version);
  LogMessage(IDS_MSXML_VERSION, version);
  if (!document) return nullptr;

  // Older parsers do not know these two properties; they are wanted where
  // available and harmless where not, so their results do not matter.
  document->setProperty(RequireBstr(L"NewParser"), ComVariant::FromI2(-1).get());
  document->setProperty(RequireBstr(L"ProhibitDTD"), ComVariant::FromI2(0).get());

  ComVariant xpath = ComVariant::FromText(L"XPath");
  HRESULT hr = document->setProperty(RequireBstr(L"SelectionLanguage"), xpath.get());
  if (FAILED(hr)) LogMessage(IDS_SELECTION_LANGUAGE_FAILED, static_cast<unsigned long>(hr));
  hr = document->put_resolveExternals(VARIANT_FALSE);
  if (FAILED(hr)) LogMessage(IDS_RESOLVE_EXTERNALS_FAILED, static_cast<unsigned long>(hr));
  hr = document->put_validateOnParse(VARIANT_FALSE);
  if (FAILED(hr)) LogMessage(IDS_VALIDATE_ON_PARSE_FAILED, static_cast<unsigned long>(hr));
  return document;
}
