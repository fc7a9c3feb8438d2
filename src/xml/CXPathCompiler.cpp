#include "xml/CXPathCompiler.h"

#include "xml/ComVariant.h"
#include "xml/NewestParser.h"

namespace xmlutils {

CXPathCompiler::CXPathCompiler(const yv::_stringw& selectionNamespaces) {
  document_ = msxml::CreateNewestDocument();
  if (!document_) return;
  VARIANT_BOOL loaded = VARIANT_FALSE;
  bool ready =
      SUCCEEDED(document_->setProperty(RequireBstr(L"SelectionLanguage"), ComVariant::FromText(L"XPath").get())) &&
      (selectionNamespaces.empty() ||
       SUCCEEDED(document_->setProperty(RequireBstr(L"SelectionNamespaces"),
                                        ComVariant::FromText(selectionNamespaces).get()))) &&
      SUCCEEDED(document_->loadXML(RequireBstr(L"<r/>"), &loaded)) && loaded == VARIANT_TRUE &&
      SUCCEEDED(document_->get_documentElement(root_.put()));
  if (!ready) root_.reset();
}

bool CXPathCompiler::Compiles(const yv::_stringw& xpath) const {
  yv::ComPtr<IXMLDOMNodeList> matches;
  return root_ && SUCCEEDED(root_->selectNodes(RequireBstr(xpath), matches.put()));
}

}  // namespace xmlutils
