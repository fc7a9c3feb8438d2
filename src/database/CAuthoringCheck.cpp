#include "database/CAuthoringCheck.h"

#include "config/ConfigFlags.h"
#include "database/DatabaseResults.h"
#include "support/MessageLog.h"
#include "xml/CYVXPath.h"
#include "xml/XmlName.h"

namespace {

// The texts the module selects the root element for without asking the
// parser.
bool SelectsRootElement(const yv::_stringw& xpath) { return xpath.empty() || xpath == L"/" || xpath == L"//"; }

}  // namespace

int CAuthoringCheck::BeginFile(const yv::_stringw& fileKey, const yv::_stringw& selectionNamespaces) {
  compiler_.reset();
  if (!enabled_) return DatabaseResult::kSuccess;
  if (!xmlutils::IsSelectionNamespaceList(selectionNamespaces)) {
    LogMessage(IDS_AUTHORING_BAD_NAMESPACES, fileKey, selectionNamespaces);
    return DatabaseResult::kInvalidSelectionNamespaces;
  }
  compiler_.emplace(selectionNamespaces);
  return DatabaseResult::kSuccess;
}

int CAuthoringCheck::CheckRootName(const yv::_stringw& rowKey, const yv::_stringw& name) {
  if (name.empty() || xmlutils::IsXmlName(xmlutils::CYVXPathFragment(name).GetName(true)))
    return DatabaseResult::kSuccess;
  return RefuseName(L"YVXmlElement", rowKey, L"ElementPath", name);
}

int CAuthoringCheck::CheckElement(const yv::_stringw& rowKey, const yv::_stringw& xpath, DWORD flags) {
  if (!enabled_ || SelectsRootElement(xpath)) return DatabaseResult::kSuccess;
  // The name is the more telling fault of a step such as `1bad`, which
  // no parser takes for a step either.
  if (flags & (XmlElementFlags::kCreateOnInstall | XmlElementFlags::kCreateOnUninstall)) {
    yv::_stringw step;
    xmlutils::CYVXPath(xpath).GetLastFragment(step);
    yv::_stringw name = xmlutils::CYVXPathFragment(step).GetName(true);
    if (!xmlutils::IsXmlName(name)) return RefuseName(L"YVXmlElement", rowKey, L"ElementPath", name);
  }
  // Without a parser at costing there is nothing to ask; the install then
  // fails on the file for want of one.
  if (compiler_ && compiler_->HasParser() && !compiler_->Compiles(xpath)) {
    LogMessage(IDS_AUTHORING_BAD_XPATH, rowKey, xpath);
    return DatabaseResult::kInvalidXPath;
  }
  return DatabaseResult::kSuccess;
}

int CAuthoringCheck::CheckAttribute(const yv::_stringw& rowKey, const yv::_stringw& name) {
  if (!enabled_ || xmlutils::IsXmlName(name)) return DatabaseResult::kSuccess;
  return RefuseName(L"YVXmlElementAttrib", rowKey, L"Name", name);
}

int CAuthoringCheck::RefuseName(const wchar_t* table, const yv::_stringw& rowKey, const wchar_t* column,
                                const yv::_stringw& name) {
  LogMessage(IDS_AUTHORING_NOT_A_NAME, table, rowKey, column, name);
  return DatabaseResult::kNotAnXmlName;
}
