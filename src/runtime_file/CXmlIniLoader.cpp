#include "runtime_file/CXmlIniLoader.h"

#include <algorithm>
#include <string>

#include "config/CXmlCfgPropertyBag.h"
#include "runtime_file/RuntimeFileLayout.h"
#include "runtime_file/RuntimeFileResults.h"

namespace layout = RuntimeFileLayout;
namespace result = RuntimeFileResult;

namespace {

constexpr DWORD kFirstResolveChars = 260;

}  // namespace

CXmlIniLoader::CXmlIniLoader() = default;

CXmlIniLoader::~CXmlIniLoader() = default;

int CXmlIniLoader::Load(CXmlCfgPropertyBag& bag) {
  if (path_.empty()) return result::kNoPath;
  bag_ = &bag;
  ini_.SetPath(path_);
  ini_.Clear();
  if (!ini_.Load()) return result::kCannotRead;
  int code = ReadComponents();
  if (code == result::kSuccess) code = ReadProgressMessages();
  if (code == result::kSuccess) ReadReplacedProducts();
  bag_ = nullptr;
  return code;
}

int CXmlIniLoader::ReadComponents() {
  const wchar_t* section = layout::kComponentsSection;
  int count = ini_.GetInt(section, layout::kCountKey, layout::kAbsentCount);
  if (count == layout::kAbsentCount) return result::kComponentCountMissing;
  yv::_stringw name;
  for (int i = 1; i <= count; ++i) {
    ini_.GetIndexedString(section, layout::kComponentListFormat, i, L"", name);
    if (name.empty()) return result::kEmptyName;
    CXmlCfgComponentProp* component = bag_->GetOrAddComponent(name);
    int actionState = ini_.GetInt(name.c_str(), layout::kActionStateKey, layout::kAbsentActionState);
    if (actionState == layout::kAbsentActionState) return result::kActionStateMissing;
    component->actionState = actionState;
    int code = ReadComponentFiles(*component);
    if (code != result::kSuccess) return code;
  }
  return result::kSuccess;
}

int CXmlIniLoader::ReadComponentFiles(CXmlCfgComponentProp& component) {
  const wchar_t* section = component.name.c_str();
  int count = ini_.GetInt(section, layout::kCountKey, layout::kAbsentCount);
  if (count == layout::kAbsentCount) return result::kCountMissing;
  yv::_stringw fileKey;
  for (int i = 1; i <= count; ++i) {
    ini_.GetIndexedString(section, layout::kFileListFormat, i, L"", fileKey);
    if (fileKey.empty()) return result::kSectionNameOrXPathEmpty;
    int code = ReadFileSection(component, fileKey);
    if (code != result::kSuccess) return code;
  }
  return result::kSuccess;
}

int CXmlIniLoader::ReadFileSection(CXmlCfgComponentProp& component, const yv::_stringw& fileKey) {
  CXmlCfgFileProp* file = component.AddFile(fileKey);
  const wchar_t* section = fileKey.c_str();
  // Optional texts keep the record's own value when they read or resolve
  // as empty.
  auto readText = [&](const wchar_t* key, yv::_stringw& field) {
    std::wstring_view text = ResolveRead(CXmlLoader::kKindText, ReadValue(section, key));
    if (!text.empty()) field.assign(text.data(), text.size());
  };

  std::wstring_view text = ReadValue(section, layout::kPathKey);
  if (text.empty()) return result::kPathEmpty;
  text = ResolveRead(CXmlLoader::kKindPath, text);
  if (!text.empty()) file->path.assign(text.data(), text.size());

  readText(layout::kUninstPathKey, file->uninstPath);

  text = ReadValue(section, layout::kFileNameKey);
  if (text.empty()) return result::kEmptyName;
  text = ResolveRead(CXmlLoader::kKindText, text);
  if (!text.empty()) file->fileName.assign(text.data(), text.size());

  int flags = ini_.GetInt(section, layout::kFileAttributesKey, layout::kAbsentFlags);
  if (flags == layout::kAbsentFlags) return result::kFileFlagsMissing;
  file->fileAttributes = static_cast<DWORD>(flags);

  readText(layout::kTempFilePathKey, file->tempFilePath);

  flags = ini_.GetInt(section, layout::kAttributesKey, layout::kAbsentFlags);
  if (flags == layout::kAbsentFlags) return result::kFileFlagsMissing;
  file->attributes = static_cast<DWORD>(flags);

  readText(layout::kRootElementNameKey, file->rootElementName);

  flags = ini_.GetInt(section, layout::kCreatedOnInstallKey, layout::kAbsentFlags);
  if (flags == layout::kAbsentFlags) return result::kCreatedOnInstallMissing;
  file->createdOnInstall = static_cast<DWORD>(flags);

  readText(layout::kSelectionNamespacesKey, file->selectionNamespaces);
  readText(layout::kRootElementNamespaceKey, file->rootElementNamespace);
  readText(layout::kEncodingKey, file->encoding);

  return ReadXPathEntries(*file);
}

int CXmlIniLoader::ReadXPathEntries(CXmlCfgFileProp& file) {
  const wchar_t* section = file.key.c_str();
  int count = ini_.GetInt(section, layout::kCountKey, layout::kAbsentCount);
  if (count == layout::kAbsentCount) return result::kCountMissing;
  yv::_stringw sectionName;
  yv::_stringw expression;
  for (int i = 1; i <= count; ++i) {
    ini_.GetIndexedString(section, layout::kXPathListFormat, i, L"", sectionName);
    // An empty entry names no section; it fails like an absent expression.
    if (sectionName.empty()) return result::kSectionNameOrXPathEmpty;
    ini_.GetString(sectionName.c_str(), layout::kXPathKey, L"", expression);
    if (expression.empty()) return result::kSectionNameOrXPathEmpty;
    // A damaged XPath section costs only that element; the file goes on.
    ReadXPathSection(sectionName, Resolve(CXmlLoader::kKindXPath, expression), file);
  }
  return result::kSuccess;
}

int CXmlIniLoader::ReadXPathSection(const yv::_stringw& sectionName, const yv::_stringw& expression,
                                    CXmlCfgFileProp& file) {
  CXmlCfgXPathProp* xpath = file.AddXPath(expression);
  xpath->sectionName = sectionName;
  const wchar_t* section = xpath->sectionName.c_str();
  xpath->xpathHidden = IsMarkedHidden(section, layout::kHiddenXPathKey);
  xpath->contentHidden = IsMarkedHidden(section, layout::kHiddenContentKey);

  int action = ini_.GetInt(section, layout::kActionKey, layout::kAbsentFlags);
  if (action == layout::kAbsentFlags) return result::kActionMissing;
  xpath->action = static_cast<DWORD>(action);

  std::wstring_view declared = ResolveRead(CXmlLoader::kKindText, ReadValue(section, layout::kNamespaceKey));
  if (!declared.empty())
    xpath->AddAttribute(CXmlCfgXPathProp::kNamespaceAttributeName)->value.assign(declared.data(), declared.size());

  std::wstring_view content =
      ResolveRead(CXmlLoader::kKindText, ReadQuotedValue(section, layout::kContentKey, layout::kEscapedContentKey));
  if (!content.empty()) xpath->content.assign(content.data(), content.size());

  int count = ini_.GetInt(section, layout::kCountKey, layout::kAbsentCount);
  if (count == layout::kAbsentCount) return result::kAttributeCountMissing;
  // Only the a<n> keys present can name a section: every other entry of the
  // list reads as an empty name and is skipped. Walking the keys present
  // keeps a damaged count from costing billions of lookups.
  std::vector<int> listed = ini_.IndexedKeys(section, layout::kAttributeListFormat);
  xpath->attributes.reserve(listed.size());
  yv::_stringw attributeSection;
  for (int i : listed) {
    if (i > count) break;
    ini_.GetIndexedString(section, layout::kAttributeListFormat, i, L"", attributeSection);
    if (attributeSection.empty()) continue;
    // A damaged attribute section costs only that attribute.
    ReadAttributeSection(attributeSection, *xpath);
  }
  return result::kSuccess;
}

int CXmlIniLoader::ReadAttributeSection(const yv::_stringw& sectionName, CXmlCfgXPathProp& xpath) {
  const wchar_t* section = sectionName.c_str();
  std::wstring_view name = ReadValue(section, layout::kNameKey);
  if (name.empty()) return result::kAttributeNameEmpty;
  name = ResolveRead(CXmlLoader::kKindText, name);
  CXmlCfgXPathAttribProp* attribute = xpath.AddAttribute(yv::_stringw(name.data(), name.size()));
  std::wstring_view value =
      ResolveRead(CXmlLoader::kKindText, ReadQuotedValue(section, layout::kValueKey, layout::kEscapedValueKey));
  attribute->value.assign(value.data(), value.size());
  attribute->valueHidden = IsMarkedHidden(section, layout::kHiddenValueKey);
  int action = ini_.GetInt(section, layout::kActionKey, layout::kAbsentFlags);
  if (action == layout::kAbsentFlags) return result::kActionMissing;
  attribute->action = static_cast<DWORD>(action);
  return result::kSuccess;
}

void CXmlIniLoader::ReadReplacedProducts() {
  std::wstring_view codes = ini_.Value(layout::kReplacedProductsSection, layout::kProductCodesKey);
  while (!codes.empty()) {
    size_t end = std::min(codes.find(L';'), codes.size());
    if (end > 0) bag_->replacedProducts.emplace_back(std::wstring(codes.substr(0, end)).c_str());
    codes.remove_prefix(std::min(end + 1, codes.size()));
  }
}

int CXmlIniLoader::ReadProgressMessages() {
  wchar_t text[layout::kProgressMessageChars];
  for (const wchar_t* id : layout::kProgressMessageIds) {
    // Without the section every text is the default; a section without the
    // key gives an empty text, which fails the load.
    ini_.GetString(layout::kProgressMessagesSection, id, layout::kDefaultProgressMessage, text,
                   layout::kProgressMessageChars);
    if (text[0] == L'\0') return result::kProgressMessageEmpty;
    bag_->progressMessages[id] = text;
  }
  return result::kSuccess;
}

std::wstring_view CXmlIniLoader::ReadValue(const wchar_t* section, const wchar_t* key) {
  // Copied out with a terminator: resolution takes a terminated text.
  std::wstring_view value = ini_.Value(section, key);
  read_.assign(value.begin(), value.end());
  read_.push_back(L'\0');
  return std::wstring_view(read_.data(), value.size());
}

std::wstring_view CXmlIniLoader::ReadQuotedValue(const wchar_t* section, const wchar_t* key,
                                                 const wchar_t* escapedKey) {
  bool escaped = !ini_.Value(section, escapedKey).empty();
  std::wstring_view text = ReadValue(section, escaped ? escapedKey : key);
  if (text.size() >= 2 && text.front() == layout::kQuote && text.back() == layout::kQuote) {
    // Resolution takes a terminated text: end it in place of the quote.
    read_[text.size() - 1] = L'\0';
    text = text.substr(1, text.size() - 2);
  }
  if (escaped) text = UnescapeLineBreaks(text);
  return text;
}

// Decodes in place, into read_ where `text` lies: the decoded text is never
// longer. An escape that is not one of the three stays as written.
std::wstring_view CXmlIniLoader::UnescapeLineBreaks(std::wstring_view text) {
  wchar_t* out = const_cast<wchar_t*>(text.data());
  wchar_t* start = out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::wstring_view code = text.substr(i, 3);
    wchar_t decoded = code == L"%0D" ? L'\r' : code == L"%0A" ? L'\n' : code == L"%25" ? layout::kEscape : 0;
    if (decoded != 0) i += 2;
    *out++ = decoded != 0 ? decoded : text[i];
  }
  *out = L'\0';
  return std::wstring_view(start, static_cast<std::size_t>(out - start));
}

// A mark set to anything but 0 hides its text.
bool CXmlIniLoader::IsMarkedHidden(const wchar_t* section, const wchar_t* key) const {
  return ini_.GetInt(section, key, 0) != 0;
}

std::wstring_view CXmlIniLoader::ResolveRead(int kind, std::wstring_view text) {
  // `text` ends with a terminator: it is a whole value read into read_, or a
  // part of one ending where a quote was.
  if (resolved_.size() < kFirstResolveChars) resolved_.resize(kFirstResolveChars);
  resolved_[0] = L'\0';
  DWORD needed = ResolveValue(kind, text.data(), resolved_.data(), kFirstResolveChars);
  DWORD size = kFirstResolveChars;
  if (needed > kFirstResolveChars) {
    if (resolved_.size() < needed) resolved_.resize(needed);
    resolved_[0] = L'\0';
    ResolveValue(kind, text.data(), resolved_.data(), needed);
    size = needed;
  }
  resolved_[size - 1] = L'\0';
  return std::wstring_view(resolved_.data());
}

yv::_stringw CXmlIniLoader::Resolve(int kind, const yv::_stringw& text) {
  std::wstring_view resolved = ResolveRead(kind, std::wstring_view(text.c_str()));
  return yv::_stringw(resolved.data(), resolved.size());
}
