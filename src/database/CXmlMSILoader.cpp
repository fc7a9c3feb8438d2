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
  if (file->path.empty()) return DatabaseResult::kFolderEmpty;
  file->fileName = GetResolvedRecordString(row, XmlFileColumn::kFileName, false, true);
  if (file->fileName.empty()) return DatabaseResult::kFileNameEmpty;

  file->fileAttributes = GetInitialFileAttributes(file->fileName.c_str());
  file->attributes = static_cast<DWORD>(MsiRecordGetInteger(row, XmlFileColumn::kFlags));
  UINT columns = MsiRecordGetFieldCount(row);
  if (columns >= XmlFileColumn::kSelectionNamespaces)
    file->selectionNamespaces = GetRecordString(row, XmlFileColumn::kSelectionNamespaces);
  file->encoding = columns >= XmlFileColumn::kEncoding ? GetRecordString(row, XmlFileColumn::kEncoding)
                                                       : DefaultEncoding();

  if (msi_query::IsTableMissing(database_, L"YVXmlElement")) {
    LogMessage(IDS_TABLE_MISSING, L"YVXmlElement");
    return DatabaseResult::kSuccess;
  }
  LoadElements(*file);
  return DatabaseResult::kSuccess;
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

void CXmlMSILoader::LoadElements(CXmlCfgFileProp& file) {
  IElementRowSource& rows = Rows();
  CXPathEmitter emitter(database_);
  emitter.SetResolver(this);
  emitter.SetRelativeRoot((file.attributes & XmlFileFlags::kRelativeRoot) != 0);
  emitter.SetRowSource(&rows);
  // A file without a root row emits nothing; that is no error.
  emitter.EmitFile(file.key);

  for (const auto& [elementKey, element] : emitter.elements()) {
    CXmlCfgXPathProp* xpath = file.AddXPath(ResolveText(kKindXPath, element->xpath));
    xpath->sectionName = elementKey;
    xpath->action = static_cast<DWORD>(element->flags);
    yv::_stringw content = ResolveText(kKindText, element->content);
    if (!content.empty()) xpath->content = content;

    if (!rows.HasAttributeTable()) {
      LogMessage(IDS_TABLE_MISSING, L"YVXmlElementAttrib");
      continue;
    }
    rows.ForEachAttribute(elementKey, [&](const AttributeRow& row) {
      CXmlCfgXPathAttribProp* attribute = xpath->AddAttribute(ResolveText(kKindText, row.name));
      attribute->value = ResolveText(kKindText, row.value);
      attribute->action = static_cast<DWORD>(row.flags);
    });
  }
  if (!emitter.elements().empty()) {
    file.rootElementName = emitter.rootName();
    file.rootElementNamespace = emitter.rootNamespace();
  }
}

int CXmlMSILoader::LoadProgressMessages() {
  if (msi_query::IsTableMissing(database_, L"Property")) return DatabaseResult::kSuccess;
  for (const wchar_t* name : kProgressMessageNames) {
    wchar_t text[kValueBufferSize] = L"";
    if (int code = GetPropertyValue(name, text, kValueBufferSize)) return code;
    bag_->progressMessages[name] = text;
  }
  return DatabaseResult::kSuccess;
}
