#include "runtime_file/CXmlIniWriter.h"

#include <string>

#include "config/CXmlCfgPropertyBag.h"
#include "runtime_file/RuntimeFileLayout.h"
#include "runtime_file/RuntimeFileResults.h"
#include "support/Sha256.h"

namespace layout = RuntimeFileLayout;

CXmlIniWriter::CXmlIniWriter(const yv::_stringw& destination) : destination_(destination) {}

CXmlIniWriter::~CXmlIniWriter() = default;

int CXmlIniWriter::Write(const CXmlCfgPropertyBag& bag) {
  bag_ = &bag;
  ini_.SetPath(destination_);
  ini_.Clear();
  // A file that is missing or empty is simply a start from nothing.
  ini_.Load();

  ini_.SetInt(layout::kComponentsSection, layout::kCountKey, static_cast<int>(bag.components.size()));
  int index = 0;
  for (const auto& [name, component] : bag.components) {
    SetListEntry(layout::kComponentsSection, layout::kComponentListFormat, ++index, name.c_str());
    WriteComponentSection(*component);
  }
  for (const auto& [id, text] : bag.progressMessages) {
    ini_.SetString(layout::kProgressMessagesSection, id.c_str(), std::wstring_view(text));
  }
  std::wstring replaced;
  for (const yv::_stringw& code : bag.replacedProducts) replaced += (replaced.empty() ? L"" : L";") + code;
  if (!replaced.empty()) ini_.SetString(layout::kReplacedProductsSection, layout::kProductCodesKey, replaced);

  yv::Sha256 digest;
  bool saved = ini_.Save(destination_, &digest);
  digest_ = digest.FinishHex();
  bag_ = nullptr;
  return saved ? RuntimeFileResult::kSuccess : RuntimeFileResult::kCannotWrite;
}

void CXmlIniWriter::WriteComponentSection(const CXmlCfgComponentProp& component) {
  const wchar_t* section = component.name.c_str();
  ini_.SetInt(section, layout::kActionStateKey, component.actionState);
  ini_.SetInt(section, layout::kCountKey, static_cast<int>(component.files.size()));
  int index = 0;
  for (const auto& [key, file] : component.files) {
    SetListEntry(section, layout::kFileListFormat, ++index, key.c_str());
    WriteFileSection(*file);
  }
}

void CXmlIniWriter::WriteFileSection(const CXmlCfgFileProp& file) {
  const wchar_t* section = file.key.c_str();
  ini_.SetString(section, layout::kPathKey, std::wstring_view(file.path));
  ini_.SetString(section, layout::kUninstPathKey, std::wstring_view(file.uninstPath));
  ini_.SetString(section, layout::kFileNameKey, std::wstring_view(file.fileName));
  ini_.SetInt(section, layout::kFileAttributesKey, static_cast<int>(file.fileAttributes));
  ini_.SetString(section, layout::kTempFilePathKey, std::wstring_view(file.tempFilePath));
  ini_.SetInt(section, layout::kAttributesKey, static_cast<int>(file.attributes));
  ini_.SetString(section, layout::kRootElementNameKey, std::wstring_view(file.rootElementName));
  ini_.SetInt(section, layout::kCreatedOnInstallKey, static_cast<int>(file.createdOnInstall));
  ini_.SetString(section, layout::kSelectionNamespacesKey, std::wstring_view(file.selectionNamespaces));
  if (!file.rootElementNamespace.empty())
    ini_.SetString(section, layout::kRootElementNamespaceKey, std::wstring_view(file.rootElementNamespace));
  ini_.SetString(section, layout::kEncodingKey, std::wstring_view(file.encoding));
  ini_.SetInt(section, layout::kCountKey, static_cast<int>(file.xpaths.size()));
  int index = 0;
  for (const auto& [expression, xpath] : file.xpaths) {
    std::wstring name = CIniFile::IndexedKeyName(layout::kXPathSectionFormat, ++xpathSections_);
    SetListEntry(section, layout::kXPathListFormat, ++index, name.c_str());
    WriteXPathSection(name.c_str(), *xpath);
  }
}

void CXmlIniWriter::WriteXPathSection(const wchar_t* section, const CXmlCfgXPathProp& xpath) {
  ini_.SetString(section, layout::kXPathKey, std::wstring_view(xpath.xpath));
  SetHiddenMark(section, layout::kHiddenXPathKey, xpath.xpathHidden);
  ini_.SetInt(section, layout::kActionKey, static_cast<int>(xpath.action));
  SetQuoted(section, layout::kContentKey, layout::kEscapedContentKey, xpath.content);
  SetHiddenMark(section, layout::kHiddenContentKey, xpath.contentHidden);
  // The namespace declaration is kept apart from the attribute list.
  if (!xpath.GetNamespace().empty())
    ini_.SetString(section, layout::kNamespaceKey, std::wstring_view(xpath.GetNamespace()));
  ini_.SetInt(section, layout::kCountKey, static_cast<int>(xpath.attributes.size()));
  int index = 0;
  for (const auto& attribute : xpath.attributes) {
    std::wstring name = CIniFile::IndexedKeyName(layout::kAttributeSectionFormat, ++attributeSections_);
    SetListEntry(section, layout::kAttributeListFormat, ++index, name.c_str());
    WriteAttributeSection(name.c_str(), *attribute);
  }
}

void CXmlIniWriter::WriteAttributeSection(const wchar_t* section, const CXmlCfgXPathAttribProp& attribute) {
  ini_.SetInt(section, layout::kActionKey, static_cast<int>(attribute.action));
  ini_.SetString(section, layout::kNameKey, std::wstring_view(attribute.name));
  SetQuoted(section, layout::kValueKey, layout::kEscapedValueKey, attribute.value);
  SetHiddenMark(section, layout::kHiddenValueKey, attribute.valueHidden);
}

void CXmlIniWriter::SetQuoted(const wchar_t* section, const wchar_t* key, const wchar_t* escapedKey,
                              const yv::_stringw& text) {
  bool hasLineBreak = text.find_first_of(L"\r\n") != yv::_stringw::npos;
  quoted_.assign(1, layout::kQuote);
  for (wchar_t c : text) {
    if (hasLineBreak && (c == L'\r' || c == L'\n' || c == layout::kEscape)) {
      quoted_ += c == L'\r' ? L"%0D" : c == L'\n' ? L"%0A" : L"%25";
    } else {
      quoted_.push_back(c);
    }
  }
  quoted_.push_back(layout::kQuote);
  ini_.SetString(section, hasLineBreak ? escapedKey : key, std::wstring_view(quoted_));
}

void CXmlIniWriter::SetHiddenMark(const wchar_t* section, const wchar_t* key, bool hidden) {
  if (hidden) ini_.SetInt(section, key, 1);
}

void CXmlIniWriter::SetListEntry(const wchar_t* section, const wchar_t* keyFormat, int index, const wchar_t* value) {
  std::wstring key = CIniFile::IndexedKeyName(keyFormat, index);
  ini_.SetString(section, key.c_str(), value);
}
