#include "database/CXmlMSILoader.h"

#include <msiquery.h>

#include <string>

#include "config/CXmlCfgComponentProp.h"
#include "config/CXmlCfgFileProp.h"
#include "config/CXmlCfgPropertyBag.h"
#include "config/CXmlCfgXPathAttribProp.h"
#include "config/CXmlCfgXPathProp.h"
#include "config/ConfigFlags.h"
#include "database/CIndexedElementSource.h"
#include "database/CQueryElementSource.h"
#include "database/CXPathEmitter.h"
#include "database/DatabaseResults.h"
#include "database/MsiQuery.h"
#include "database/XmlTableColumns.h"

namespace {

constexpr DWORD kValueBufferSize = 260;

// Read in this order; the first that fails ends the load with its code.
constexpr const wchar_t* kProgressMessageNames[] = {
    L"YV_PROGMSG_XML_COSTING",     L"YV_PROGMSG_XML_FILES",       L"YV_PROGMSG_XML_CREATE_FILE",
    L"YV_PROGMSG_XML_UPDATE_FILE", L"YV_PROGMSG_XML_REMOVE_FILE", L"YV_PROGMSG_XML_ROLLBACK_FILES",
};

// The encoding of every file when YVXmlFile has no encoding column.
constexpr const wchar_t* kFileEncodingProperty = L"YV_XML_FILE_ENCODING";

void CopyCut(const yv::_stringw& text, wchar_t* buffer, DWORD capacity) {
  if (capacity == 0 || !buffer) return;
  lstrcpynW(buffer, text.c_str(), static_cast<int>(capacity));
}

}  // namespace

CXmlMSILoader::CXmlMSILoader() = default;

CXmlMSILoader::~CXmlMSILoader() = default;

DWORD CXmlMSILoader::GetInitialFileAttributes(const wchar_t*) { return kUnknownFileAttributes; }

DWORD CXmlMSILoader::GetFileKeyFilter(wchar_t* buffer) {
  if (buffer) buffer[0] = L'\0';
  return 1;
}

DWORD CXmlMSILoader::Resolve(wchar_t* buffer, DWORD) { return buffer ? static_cast<DWORD>(lstrlenW(buffer)) + 1 : 1; }

yv::_stringw CXmlMSILoader::ResolveText(int kind, const yv::_stringw& text) {
  std::wstring buffer(kValueBufferSize, L'\0');
  DWORD needed = ResolveValue(kind, text.c_str(), &buffer[0], kValueBufferSize);
  if (needed > kValueBufferSize) {
    buffer.assign(needed, L'\0');
    ResolveValue(kind, text.c_str(), &buffer[0], needed);
  }
  return yv::_stringw(buffer.c_str());
}

yv::_stringw CXmlMSILoader::GetResolvedRecordString(MSIHANDLE record, UINT field, bool asProperty, bool formatted16) {
  int kind = asProperty ? kKindPath : formatted16 ? kKindFormattedText : kKindText;
  return ResolveText(kind, GetRecordString(record, field));
}

int CXmlMSILoader::GetPropertyValue(const wchar_t* name, wchar_t* buffer, DWORD capacity) {
  yv::MsiHandle view, row;
  UINT found = OpenQuery(view, database_, row, L"SELECT * FROM `%s` WHERE `Property`='%s'", L"Property", name);
  if (found == ERROR_SUCCESS) {
    yv::_stringw value = GetResolvedRecordString(row, 2, false, false);
    CopyCut(value, buffer, capacity);
    return (capacity == 0 || !buffer || buffer[0] == L'\0') ? DatabaseResult::kPropertyEmpty : DatabaseResult::kSuccess;
  }
  LogMessage(IDS_PROPERTY_MISSING, name, static_cast<int>(found));
  CopyCut(name, buffer, capacity);
  return DatabaseResult::kPropertyMissing;
}

IElementRowSource& CXmlMSILoader::Rows() {
  if (!rows_) {
    if (walk_ == ElementWalk::kIndexed) {
      rows_ = std::make_unique<CIndexedElementSource>(database_);
    } else {
      rows_ = std::make_unique<CQueryElementSource>(database_);
    }
  }
  return *rows_;
}

int CXmlMSILoader::Load(CXmlCfgPropertyBag& bag) {
  bag_ = &bag;
  rows_.reset();
  if (msi_query::IsTableMissing(database_, L"YVXmlFile")) {
    LogMessage(IDS_TABLE_MISSING, L"YVXmlFile");
  } else {
    wchar_t filter[kValueBufferSize] = L"";
    GetFileKeyFilter(filter);
    yv::MsiHandle view;
    if (filter[0] == L'\0') {
      OpenView(view, database_, L"SELECT * FROM `YVXmlFile`");
    } else {
      OpenView(view, database_, L"SELECT * FROM `YVXmlFile` WHERE `YVXmlFile`='%s'", filter);
    }
    yv::MsiHandle row;
    while (msi_query::FetchRow(view, row)) {
      if (int code = LoadFileRow(row)) return code;
    }
  }
  return LoadProgressMessages();
}

int CXmlMSILoader::LoadFileRow(MSIHANDLE row) {
  yv::_stringw componentName = GetRecordString(row, XmlFileColumn::kComponent);
  CXmlCfgComponentProp* component = bag_->GetOrAddComponent(componentName);
  component->actionState = GetComponentActionState(componentName.c_str());

  yv::_stringw key = GetRecordString(row, XmlFileColumn::kKey);
  CXmlCfgFileProp* file = component->AddFile(key);
  LogMessage(IDS_LOADING_FILE, key);

  file->path = GetResolvedRecordString(row, XmlFileColumn::kFolderProperty, true, false);
  if (file->path.empty()) {
    LogMessage(IDS_FOLDER_PROPERTY_EMPTY, key, GetRecordString(row, XmlFileColumn::kFolderProperty));
    return DatabaseResult::kFolderEmpty;
  }
  file->fileName = GetResolvedRecordString(row, XmlFileColumn::kFileName, false, true);
  if (file->fileName.empty()) {
    LogMessage(IDS_FILE_NAME_EMPTY, key, GetRecordString(row, XmlFileColumn::kFileName));
    return DatabaseResult::kFileNameEmpty;
  }

  file->fileAttributes = GetInitialFileAttributes(file->fileName.c_str());
  file->attributes = static_cast<DWORD>(MsiRecordGetInteger(row, XmlFileColumn::kFlags));
  UINT columns = MsiRecordGetFieldCount(row);
  if (columns >= XmlFileColumn::kSelectionNamespaces)
    file->selectionNamespaces = GetRecordString(row, XmlFileColumn::kSelectionNamespaces);
  file->encoding = columns >= XmlFileColumn::kEncoding ? GetRecordString(row, XmlFileColumn::kEncoding)
                                                       : DefaultEncoding();
  if (int code = check_.BeginFile(key, file->selectionNamespaces)) return code;

  if (msi_query::IsTableMissing(database_, L"YVXmlElement")) {
    LogMessage(IDS_TABLE_MISSING, L"YVXmlElement");
    return DatabaseResult::kSuccess;
  }
  return LoadElements(*file);
}

// A package without a Property table has no such property either: the
// encoding then stays empty, as for a missing property, instead of failing
// the load on a query of a table that is not there.
yv::_stringw CXmlMSILoader::DefaultEncoding() {
  if (msi_query::IsTableMissing(database_, L"Property")) return yv::_stringw();
  wchar_t value[kValueBufferSize] = L"";
  if (GetPropertyValue(kFileEncodingProperty, value, kValueBufferSize) != DatabaseResult::kSuccess)
    return yv::_stringw();
  return yv::_stringw(value);
}

int CXmlMSILoader::LoadElements(CXmlCfgFileProp& file) {
  IElementRowSource& rows = Rows();
  CXPathEmitter emitter(database_);
  emitter.SetResolver(this);
  emitter.SetRelativeRoot((file.attributes & XmlFileFlags::kRelativeRoot) != 0);
  emitter.SetRowSource(&rows);
  // A file without a root row emits nothing; that is no error.
  emitter.EmitFile(file.key);
  if (file.attributes & XmlFileFlags::kCreateIfMissing) {
    if (int code = check_.CheckRootName(emitter.rootKey(), emitter.rootName())) return code;
  }

  for (const auto& [elementKey, element] : emitter.elements()) {
    yv::_stringw expression = ResolveText(kKindXPath, element->xpath);
    auto flags = static_cast<DWORD>(element->flags);
    if (int code = check_.CheckElement(elementKey, expression, flags)) return code;
    CXmlCfgXPathProp* xpath = nullptr;
    if (int code = FindOrAddXPath(file, elementKey, expression, flags, xpath)) return code;
    MergeContent(*xpath, ResolveText(kKindText, element->content));

    if (!rows.HasAttributeTable()) {
      LogMessage(IDS_TABLE_MISSING, L"YVXmlElementAttrib");
      continue;
    }
    int refused = DatabaseResult::kSuccess;
    rows.ForEachAttribute(elementKey, [&](const AttributeRow& row) {
      yv::_stringw name = ResolveText(kKindText, row.name);
      if (refused == DatabaseResult::kSuccess) refused = check_.CheckAttribute(row.key, name);
      CXmlCfgXPathAttribProp* attribute = xpath->AddAttribute(name);
      attribute->value = ResolveText(kKindText, row.value);
      attribute->action = static_cast<DWORD>(row.flags);
    });
    if (refused != DatabaseResult::kSuccess) return refused;
  }
  if (!emitter.elements().empty()) {
    file.rootElementName = emitter.rootName();
    file.rootElementNamespace = emitter.rootNamespace();
  }
  return DatabaseResult::kSuccess;
}

// Rows that give the same XPath are one element record: every row's changes
// apply, in row order. Flags can join only when at most one row sets any,
// since one record has one set of flags.
int CXmlMSILoader::FindOrAddXPath(CXmlCfgFileProp& file, const yv::_stringw& rowKey, const yv::_stringw& expression,
                                  DWORD flags, CXmlCfgXPathProp*& xpath) {
  auto earlier = file.xpaths.find(expression);
  if (earlier == file.xpaths.end()) {
    xpath = file.AddXPath(expression);
    xpath->sectionName = rowKey;
    xpath->action = flags;
    return DatabaseResult::kSuccess;
  }
  xpath = earlier->second.get();
  if (xpath->action != 0 && flags != 0 && xpath->action != flags) {
    LogMessage(IDS_AUTHORING_ROWS_CONFLICT, xpath->sectionName, rowKey, expression);
    return DatabaseResult::kConflictingRows;
  }
  xpath->action |= flags;
  return DatabaseResult::kSuccess;
}

// The content of a later row of the same XPath applied after the earlier
// one's: prepended texts end up in reverse row order, appended ones in row
// order, and a replacing text replaces.
void CXmlMSILoader::MergeContent(CXmlCfgXPathProp& xpath, const yv::_stringw& content) {
  if (content.empty()) return;
  if (xpath.content.empty() || (xpath.action & XmlElementFlags::kContentMask) == XmlElementFlags::kReplaceContent ||
      (xpath.action & XmlElementFlags::kContentMask) == 0) {
    xpath.content = content;
  } else if (xpath.action & XmlElementFlags::kPrependContent) {
    xpath.content = content + xpath.content;
  } else {
    xpath.content += content;
  }
}

int CXmlMSILoader::LoadProgressMessages() {
  if (msi_query::IsTableMissing(database_, L"Property")) return DatabaseResult::kSuccess;
  for (const wchar_t* name : kProgressMessageNames) {
    wchar_t text[kValueBufferSize] = L"";
    int code = GetPropertyValue(name, text, kValueBufferSize);
    if (code == DatabaseResult::kPropertyEmpty) LogMessage(IDS_PROPERTY_EMPTY, name);
    if (code != DatabaseResult::kSuccess) return code;
    bag_->progressMessages[name] = text;
  }
  return DatabaseResult::kSuccess;
}
