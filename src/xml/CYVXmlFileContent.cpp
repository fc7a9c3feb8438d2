// Reading and changing what the current nodes of a CYVXmlFile hold: element
// text, attributes, and the elements themselves.

#include <vector>

#include "support/MessageLog.h"
#include "support/com_exception.h"
#include "xml/CYVXmlFile.h"
#include "xml/ComVariant.h"
#include "xml/DomNode.h"
#include "xml/ElementLayout.h"
#include "xml/MsxmlIds.h"
#include "xml/XmlChange.h"
#include "xml/XmlName.h"
#include "xml/XmlResults.h"

namespace {

// The value of attribute (localName, uri) in `attributes` as text; none when
// there is no such attribute.
std::optional<yv::_stringw> QualifiedAttributeValue(IXMLDOMNamedNodeMap* attributes, const yv::_stringw& localName,
                                                    const yv::_stringw& uri) {
  if (!attributes) return std::nullopt;
  yv::ComPtr<IXMLDOMNode> attribute;
  if (FAILED(attributes->getQualifiedItem(RequireBstr(localName), RequireBstr(uri), attribute.put())) || !attribute)
    return std::nullopt;
  ComVariant value;
  if (FAILED(attribute->get_nodeValue(value.put()))) return yv::_stringw();
  return value.ToText();
}

// The name an attribute is looked up by: a prefix that resolved to
// `namespaceUri` is not part of it, an unresolved one is.
yv::_stringw LocalNameIn(const yv::_stringw& name, const yv::_stringw& namespaceUri) {
  std::size_t colon = name.find(L':');
  return namespaceUri.empty() || colon == yv::_stringw::npos ? name : yv::_stringw(name.substr(colon + 1));
}

// Creates attribute `name` in `uri` with `value` on the element whose
// attributes are `attributes`.
HRESULT AddAttribute(IXMLDOMDocument2* document, IXMLDOMNamedNodeMap* attributes, const yv::_stringw& name,
                     const yv::_stringw& uri, const yv::_stringw& value) {
  yv::ComPtr<IXMLDOMNode> newAttribute;
  yv::ComPtr<IXMLDOMNode> replaced;
  HRESULT hr = document->createNode(ComVariant::FromI4(NODE_ATTRIBUTE).get(), RequireBstr(name), RequireBstr(uri),
                                    newAttribute.put());
  if (SUCCEEDED(hr)) hr = newAttribute->put_nodeValue(ComVariant::FromText(value).get());
  if (SUCCEEDED(hr)) hr = attributes->setNamedItem(newAttribute.get(), replaced.put());
  return hr;
}

// The text node a content change wrote in `node`: its first child, or the
// last one when the change added it.
yv::ComPtr<IXMLDOMText> ChangedTextNode(IXMLDOMNode* node, bool added) {
  yv::ComPtr<IXMLDOMNode> child;
  yv::ComPtr<IXMLDOMText> text;
  HRESULT hr = added ? node->get_lastChild(child.put()) : node->get_firstChild(child.put());
  if (FAILED(hr) || !child || FAILED(child.As(msxml::kIXMLDOMText, text))) return nullptr;
  return text;
}

// Removes `attribute` (found in `attributes` as localName, uri) from the
// element `node`.
bool RemoveAttribute(IXMLDOMNode* node, IXMLDOMNamedNodeMap* attributes, IXMLDOMNode* attribute,
                     const yv::_stringw& localName, const yv::_stringw& uri) {
  yv::ComPtr<IXMLDOMElement> element;
  yv::ComPtr<IXMLDOMAttribute> attributeNode;
  if (!attributes || !attribute || FAILED(node->QueryInterface(msxml::kIXMLDOMElement, element.put_void())) ||
      FAILED(attribute->QueryInterface(msxml::kIXMLDOMAttribute, attributeNode.put_void()))) {
    return false;
  }
  yv::ComPtr<IXMLDOMAttribute> removed;
  HRESULT hr = element->removeAttributeNode(attributeNode.get(), removed.put());
  if (hr != E_NOTIMPL) return SUCCEEDED(hr);
  // Some parsers (Wine's) do not implement removeAttributeNode; their
  // attribute map can remove the same attribute by its qualified name.
  LogText(L"removeAttributeNode is not implemented by this parser; removing the attribute through the element's "
          L"attribute map");
  yv::ComPtr<IXMLDOMNode> removedNode;
  hr = attributes->removeQualifiedItem(RequireBstr(localName), RequireBstr(uri), removedNode.put());
  return SUCCEEDED(hr) && removedNode;
}

// The first child that is not layout. In a file loaded with its whitespace,
// a text of blanks and line ends beside child elements only indents them:
// the element's text is what the same element written on one line would
// have, so both files change alike.
yv::ComPtr<IXMLDOMNode> FirstContentChild(IXMLDOMNodeList* children, long count) {
  std::vector<yv::ComPtr<IXMLDOMNode>> nodes(static_cast<size_t>(count));
  bool hasElement = false;
  for (long i = 0; i < count; ++i) {
    DOMNodeType type = NODE_INVALID;
    if (SUCCEEDED(children->get_item(i, nodes[i].put())) && nodes[i] && SUCCEEDED(nodes[i]->get_nodeType(&type)))
      hasElement = hasElement || type == NODE_ELEMENT;
  }
  for (const yv::ComPtr<IXMLDOMNode>& child : nodes) {
    DOMNodeType type = NODE_INVALID;
    yv::_stringw text;
    if (hasElement && child && SUCCEEDED(child->get_nodeType(&type)) && type == NODE_TEXT &&
        SUCCEEDED(child->get_text(text.out())) && xmlutils::IsXmlSpace(text))
      continue;
    return child;
  }
  return nullptr;
}

// A text already at the end it would be added to is not added again, so a
// repair, which applies every change once more, changes nothing twice.
yv::_stringw AddedAtEnd(const yv::_stringw& current, const yv::_stringw& given) {
  bool there = current.size() >= given.size() &&
               current.compare(current.size() - given.size(), given.size(), given) == 0;
  return there ? current : yv::_stringw(current + given);
}

yv::_stringw AddedAtStart(const yv::_stringw& current, const yv::_stringw& given) {
  return current.compare(0, given.size(), given) == 0 ? current : yv::_stringw(given + current);
}

yv::_stringw CombineAttributeValue(const yv::_stringw& current, const yv::_stringw& given, int operation) {
  switch (operation) {
    case AttributeOperation::kAppend:
      return AddedAtEnd(current, given);
    case AttributeOperation::kPrepend:
      return AddedAtStart(current, given);
    default:
      return given;
  }
}

yv::_stringw CombineContent(const yv::_stringw& current, const yv::_stringw& given, int mode) {
  switch (mode) {
    case ContentMode::kPrepend:
      return AddedAtStart(current, given);
    case ContentMode::kAppend:
      return AddedAtEnd(current, given);
    default:
      return given;
  }
}

}  // namespace

int CYVXmlFile::GetElementContent(yv::_stringw& text) {
  if (currentNodes_.empty()) {
    LogMessage(IDS_NO_NODE_FOR_CONTENT);
    return XmlResult::kNoCurrentNode;
  }
  HRESULT hr = currentNodes_.front()->get_text(text.out());
  if (FAILED(hr)) throw com_exception(hr);
  return XmlResult::kSuccess;
}

yv::ComPtr<IXMLDOMText> CYVXmlFile::GetOrCreateTextNode(IXMLDOMNode* node, const yv::_stringw& text, bool& created) {
  created = false;
  yv::ComPtr<IXMLDOMText> textNode;
  yv::ComPtr<IXMLDOMNodeList> children;
  long count = 0;
  // Only the first child is considered: content is taken to be simple text.
  if (SUCCEEDED(node->get_childNodes(children.put())) && children && SUCCEEDED(children->get_length(&count)) &&
      count >= 1) {
    yv::ComPtr<IXMLDOMNode> first = FirstContentChild(children.get(), count);
    if (!first || FAILED(first.As(msxml::kIXMLDOMText, textNode)) || !textNode) {
      textNode.reset();
      LogMessage(IDS_NO_TEXT_NODE, text);
    }
  }
  if (textNode || text.empty()) return textNode;

  LogMessage(IDS_CREATING_TEXT_NODE, text);
  yv::ComPtr<IXMLDOMText> newText;
  if (FAILED(document_->createTextNode(RequireBstr(text), newText.put())) || !newText) return nullptr;
  yv::ComPtr<IXMLDOMNode> appended;
  if (FAILED(node->appendChild(newText.get(), appended.put()))) return nullptr;
  created = true;
  return newText;
}

int CYVXmlFile::SetElementContent(const yv::_stringw& text, int mode) {
  for (const yv::ComPtr<IXMLDOMNode>& node : currentNodes_) {
    bool created = false;
    yv::ComPtr<IXMLDOMText> textNode = GetOrCreateTextNode(node.get(), text, created);
    if (!textNode) return text.empty() ? XmlResult::kSuccess : XmlResult::kNoTextNode;
    XmlChange change;
    change.kind = XmlChange::Kind::kText;
    if (created) {
      change.after = text;
      ReportChange(std::move(change), node.get());
      continue;
    }

    yv::_stringw current;
    textNode->get_text(current.out());
    if (text.empty() && current.empty()) return XmlResult::kSuccess;
    // The raw values: `text` may come back trimmed, and an undo must find
    // and put back exactly what was there.
    change.before = xmlutils::NodeValue(textNode.get());
    // As the node's value: some parsers (Wine's) escape a text put through
    // put_text once more, so `&` would be written as `&amp;amp;`.
    textNode->put_nodeValue(ComVariant::FromText(CombineContent(current, text, mode)).get());
    change.after = xmlutils::NodeValue(textNode.get());
    if (change.after != change.before) ReportChange(std::move(change), node.get());
  }
  return XmlResult::kSuccess;
}

int CYVXmlFile::UpdateAttribute(const yv::_stringw& name, const yv::_stringw& value, bool createMissing,
                                int operation) {
  if (currentNodes_.empty()) {
    LogMessage(IDS_NO_NODE_FOR_ATTRIBUTE_UPDATE, name);
    return XmlResult::kNoCurrentNode;
  }
  yv::_stringw localName = name;
  yv::_stringw uri;
  ResolveQualifiedName(localName, uri);

  for (const yv::ComPtr<IXMLDOMNode>& node : currentNodes_) {
    yv::_stringw nodeName;
    node->get_nodeName(nodeName.out());
    yv::ComPtr<IXMLDOMNamedNodeMap> attributes;
    node->get_attributes(attributes.put());
    XmlChange change;
    change.attribute = name;
    change.namespaceUri = uri;
    change.before = QualifiedAttributeValue(attributes.get(), localName, uri);
    yv::_stringw current = change.before.value_or(yv::_stringw());
    LogMessage(IDS_ATTRIBUTE_OPERATION, nodeName, name, current, operation);

    if (operation == AttributeOperation::kRemove) {
      yv::ComPtr<IXMLDOMNode> attribute;
      if (attributes) attributes->getQualifiedItem(RequireBstr(localName), RequireBstr(uri), attribute.put());
      if (attributes && !attribute) continue;  // nothing to remove
      if (!RemoveAttribute(node.get(), attributes.get(), attribute.get(), localName, uri))
        return XmlResult::kRemoveAttributeFailed;
      ReportChange(std::move(change), node.get());
      continue;
    }

    yv::_stringw newValue = CombineAttributeValue(current, value, operation);
    LogMessage(IDS_ATTRIBUTE_UPDATED, nodeName, name, current, value, newValue);
    if (!attributes) return XmlResult::kSetAttributeFailed;
    // Looked up by the name as written: whether a prefixed name finds an
    // existing attribute is the parser's business.
    yv::ComPtr<IXMLDOMNode> attribute;
    attributes->getQualifiedItem(RequireBstr(name), RequireBstr(uri), attribute.put());
    HRESULT hr = S_OK;
    if (attribute) {
      hr = attribute->put_nodeValue(ComVariant::FromText(newValue).get());
    } else if (createMissing) {
      hr = AddAttribute(document_.get(), attributes.get(), name, uri, newValue);
    }
    if (FAILED(hr)) return XmlResult::kSetAttributeFailed;
    change.after = QualifiedAttributeValue(attributes.get(), localName, uri);
    if (change.after != change.before) ReportChange(std::move(change), node.get());
  }
  return XmlResult::kSuccess;
}

int CYVXmlFile::GetAttributeValue(const yv::_stringw& name, yv::_stringw& value) {
  if (currentNodes_.empty()) {
    LogMessage(IDS_NO_NODE_FOR_ATTRIBUTE_READ, name);
    return XmlResult::kNoCurrentNode;
  }
  yv::_stringw localName = name;
  yv::_stringw uri;
  ResolveQualifiedName(localName, uri);

  IXMLDOMNode* node = currentNodes_.front().get();
  yv::_stringw nodeName;
  node->get_nodeName(nodeName.out());
  yv::ComPtr<IXMLDOMNamedNodeMap> attributes;
  node->get_attributes(attributes.put());
  yv::ComPtr<IXMLDOMNode> attribute;
  if (!attributes || FAILED(attributes->getQualifiedItem(RequireBstr(localName), RequireBstr(uri), attribute.put())) ||
      !attribute) {
    return XmlResult::kAttributeMissing;
  }
  ComVariant stored;
  value = SUCCEEDED(attribute->get_nodeValue(stored.put())) ? stored.ToText() : yv::_stringw();
  LogMessage(IDS_ATTRIBUTE_VALUE, nodeName, name, value);
  return XmlResult::kSuccess;
}

int CYVXmlFile::RemoveElement() {
  if (currentNodes_.empty()) return XmlResult::kSuccess;
  LogMessage(IDS_REMOVING_ELEMENT);
  IXMLDOMNode* node = currentNodes_.front().get();
  yv::ComPtr<IXMLDOMNode> parent;
  // A node that is already detached has no parent to remove it from.
  if (FAILED(node->get_parentNode(parent.put())) || !parent) return XmlResult::kParentUnavailable;
  XmlChange change = observer_ ? RemovalOf(node, parent.get()) : XmlChange();
  yv::ComPtr<IXMLDOMNode> removed;
  // Kept layout loses the element's line with it; a formatted one is laid
  // out anew anyway.
  if (FAILED(formatOnSave_ ? parent->removeChild(node, removed.put()) : xmlutils::RemoveWithLine(parent.get(), node)))
    return XmlResult::kRemoveElementFailed;
  ReportChange(std::move(change), parent.get());
  return XmlResult::kSuccess;
}

std::optional<yv::_stringw> CYVXmlFile::ReadAttribute(const yv::_stringw& name, const yv::_stringw& namespaceUri) {
  if (currentNodes_.empty()) return std::nullopt;
  yv::ComPtr<IXMLDOMNamedNodeMap> attributes;
  currentNodes_.front()->get_attributes(attributes.put());
  return QualifiedAttributeValue(attributes.get(), LocalNameIn(name, namespaceUri), namespaceUri);
}

bool CYVXmlFile::WriteAttribute(const yv::_stringw& name, const yv::_stringw& namespaceUri,
                                const std::optional<yv::_stringw>& value) {
  if (currentNodes_.empty()) return false;
  IXMLDOMNode* node = currentNodes_.front().get();
  yv::ComPtr<IXMLDOMNamedNodeMap> attributes;
  if (FAILED(node->get_attributes(attributes.put())) || !attributes) return false;
  yv::_stringw localName = LocalNameIn(name, namespaceUri);
  yv::ComPtr<IXMLDOMNode> attribute;
  attributes->getQualifiedItem(RequireBstr(localName), RequireBstr(namespaceUri), attribute.put());
  if (!value) return !attribute || RemoveAttribute(node, attributes.get(), attribute.get(), localName, namespaceUri);
  if (attribute) return SUCCEEDED(attribute->put_nodeValue(ComVariant::FromText(*value).get()));
  return SUCCEEDED(AddAttribute(document_.get(), attributes.get(), name, namespaceUri, *value));
}

std::optional<yv::_stringw> CYVXmlFile::ReadText(bool added) {
  if (currentNodes_.empty()) return std::nullopt;
  yv::ComPtr<IXMLDOMText> text = ChangedTextNode(currentNodes_.front().get(), added);
  if (!text) return std::nullopt;
  return xmlutils::NodeValue(text.get());
}

bool CYVXmlFile::WriteText(bool added, const std::optional<yv::_stringw>& value) {
  if (currentNodes_.empty()) return false;
  IXMLDOMNode* node = currentNodes_.front().get();
  yv::ComPtr<IXMLDOMText> text = ChangedTextNode(node, added);
  if (!text) return false;
  if (value) return SUCCEEDED(text->put_nodeValue(ComVariant::FromText(*value).get()));
  yv::ComPtr<IXMLDOMNode> removed;
  return SUCCEEDED(node->removeChild(text.get(), removed.put()));
}
