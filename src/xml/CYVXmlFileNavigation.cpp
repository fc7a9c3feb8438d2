// XPath selection on a CYVXmlFile and creation of a missing last step.

#include "support/MessageLog.h"
#include "xml/CYVXPath.h"
#include "xml/CYVXmlFile.h"
#include "xml/ComVariant.h"
#include "xml/ElementLayout.h"
#include "xml/MsxmlIds.h"
#include "xml/XmlChange.h"
#include "xml/XmlResults.h"

namespace {

// XPaths that stand for the whole document: they select the root element
// without asking the parser.
bool NamesWholeDocument(const yv::_stringw& xpath) { return xpath.empty() || xpath == L"/" || xpath == L"//"; }

}  // namespace

bool CYVXmlFile::SelectXPath(const yv::_stringw& xpath, const yv::_stringw& namespaceUri, bool createMissing,
                             bool firstOnly) {
  LogMessage(IDS_PROCESSING_XPATH, xpath);
  currentNodes_.clear();
  currentXPath_ = xpath;

  if (NamesWholeDocument(xpath)) {
    yv::ComPtr<IXMLDOMNode> root;
    if (SUCCEEDED(rootElement_.As(msxml::kIXMLDOMNode, root))) currentNodes_.push_back(root);
    return !currentNodes_.empty();
  }

  // A rejected XPath is treated like one that matches nothing.
  yv::ComPtr<IXMLDOMNodeList> matches;
  long length = 0;
  if (rootElement_ && SUCCEEDED(rootElement_->selectNodes(RequireBstr(xpath), matches.put())) && matches &&
      SUCCEEDED(matches->get_length(&length)) && length > 0) {
    for (long index = 0; index < length; ++index) {
      yv::ComPtr<IXMLDOMNode> node;
      if (SUCCEEDED(matches->get_item(index, node.put())) && node) currentNodes_.push_back(node);
      if (firstOnly) break;
    }
  } else if (createMissing) {
    LogMessage(IDS_XPATH_NOT_FOUND_CREATING, xpath);
    // The rest of the path is looked up below the root element, so "/X" and
    // "//X" both mean a child of the root.
    yv::_stringw relative = xpath;
    for (int i = 0; i < 2 && !relative.empty() && relative.front() == L'/'; ++i) relative.erase(0, 1);
    CreateXPathElements(relative, namespaceUri);
  }
  return !currentNodes_.empty();
}

void CYVXmlFile::CreateXPathElements(const yv::_stringw& xpath, const yv::_stringw& namespaceUri) {
  xmlutils::CYVXPath parentPath(xpath);
  xmlutils::CYVXPathFragment step = parentPath.SplitLast();
  yv::_stringw name = step.GetName(true);
  // A predicate of attribute equalities becomes the new element's
  // attributes, so that the element matches its own XPath and a repair finds
  // it instead of adding another; any other predicate only served the
  // selection.
  xmlutils::CYVXPathFragment::AttributeList predicateAttributes;
  step.GetPredicateAttributes(predicateAttributes);

  yv::ComPtr<IXMLDOMElement> parent;
  if (!parentPath.empty()) {
    LogMessage(IDS_CHECKING_XPATH, parentPath);
    yv::ComPtr<IXMLDOMNode> parentNode;
    if (!rootElement_ || FAILED(rootElement_->selectSingleNode(RequireBstr(parentPath), parentNode.put())) ||
        !parentNode) {
      return;
    }
    if (FAILED(parentNode.As(msxml::kIXMLDOMElement, parent)) || !parent) {
      yv::_stringw nodeName;
      parentNode->get_nodeName(nodeName.out());
      LogMessage(IDS_ELEMENT_QUERY_FAILED, nodeName);
      return;
    }
  } else {
    parent = rootElement_;
  }
  if (!parent) return;

  yv::_stringw elementUri = namespaceUri;
  ResolveQualifiedName(name, elementUri);
  LogMessage(IDS_CREATING_ELEMENT, name, elementUri);

  yv::ComPtr<IXMLDOMNode> newNode;
  HRESULT hr = document_->createNode(ComVariant::FromI4(NODE_ELEMENT).get(), RequireBstr(name), RequireBstr(elementUri),
                                     newNode.put());
  if (FAILED(hr) || !newNode) {
    LogMessage(IDS_CREATE_ELEMENT_FAILED, name);
    return;
  }
  yv::ComPtr<IXMLDOMElement> newElement;
  yv::ComPtr<IXMLDOMNode> appended;
  yv::ComPtr<IXMLDOMNode> parentNode;
  if (FAILED(newNode.As(msxml::kIXMLDOMElement, newElement)) || FAILED(parent.As(msxml::kIXMLDOMNode, parentNode)) ||
      FAILED(formatOnSave_ ? parentNode->appendChild(newNode.get(), appended.put())
                           : xmlutils::InsertOnOwnLine(parentNode.get(), newNode.get(), nullptr, appended.put()))) {
    LogMessage(IDS_APPEND_CHILD_FAILED);
    return;
  }
  if (!appended) return;
  currentNodes_.push_back(appended);
  if (observer_) {
    createdNodes_.push_back(appended);
    XmlChange created;
    created.kind = XmlChange::Kind::kCreated;
    ReportChange(std::move(created), appended.get());
  }
  for (const auto& [attributeName, value] : predicateAttributes)
    UpdateAttribute(attributeName, value, true, AttributeOperation::kSet);
}
