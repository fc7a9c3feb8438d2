// Recording the changes of a CYVXmlFile, and the element steps that undo
// them: where an element is, as numbers another process can follow years
// later, and putting a removed element back where it was.

#include <cwchar>
#include <set>
#include <string>

#include "xml/CYVXmlFile.h"
#include "xml/ComVariant.h"
#include "xml/DomNode.h"
#include "xml/ElementLayout.h"
#include "xml/IXmlChangeObserver.h"
#include "xml/MsxmlIds.h"
#include "xml/XmlChange.h"
#include "xml/XmlContentDigest.h"
#include "xml/XmlName.h"

namespace {

bool IsElement(IXMLDOMNode* node) { return xmlutils::NodeType(node) == NODE_ELEMENT; }

// Whether `node` counts where a removed element goes back: every sibling
// (comments and instructions too) but whitespace that only lays out.
bool IsPlaced(IXMLDOMNode* node) {
  yv::_stringw text;
  return xmlutils::NodeType(node) != NODE_TEXT || FAILED(node->get_text(text.out())) || !xmlutils::IsXmlSpace(text);
}

// The `number`-th child of `parent` that `counts`, from 1; null when it
// has fewer. The sibling chain is walked: some parsers' child lists walk it
// again for every item.
yv::ComPtr<IXMLDOMNode> NthChild(IXMLDOMNode* parent, long number, bool (*counts)(IXMLDOMNode*)) {
  yv::ComPtr<IXMLDOMNode> child;
  if (number < 1 || FAILED(parent->get_firstChild(child.put()))) return nullptr;
  while (child && !(counts(child.get()) && --number == 0)) {
    yv::ComPtr<IXMLDOMNode> next;
    child->get_nextSibling(next.put());
    child = next;
  }
  return child;
}

yv::ComPtr<IXMLDOMNode> ElementChild(IXMLDOMNode* parent, long number) { return NthChild(parent, number, IsElement); }

// The number of `node` among the children of its parent that `counts`.
long NumberAmong(IXMLDOMNode* node, bool (*counts)(IXMLDOMNode*)) {
  long number = 1;
  yv::ComPtr<IXMLDOMNode> sibling;
  node->get_previousSibling(sibling.put());
  while (sibling) {
    if (counts(sibling.get())) ++number;
    yv::ComPtr<IXMLDOMNode> previous;
    sibling->get_previousSibling(previous.put());
    sibling = previous;
  }
  return number;
}

long ElementNumber(IXMLDOMNode* node) { return NumberAmong(node, IsElement); }

// XmlChange::element of `node`; empty when it is no element of the
// document.
yv::_stringw ElementPathOf(IXMLDOMNode* node) {
  std::wstring path;
  yv::ComPtr<IXMLDOMNode> current;
  if (xmlutils::NodeType(node) != NODE_ELEMENT || FAILED(node->QueryInterface(msxml::kIXMLDOMNode, current.put_void())))
    return yv::_stringw();
  for (;;) {
    yv::ComPtr<IXMLDOMNode> parent;
    if (FAILED(current->get_parentNode(parent.put())) || !parent) return yv::_stringw();
    DOMNodeType type = xmlutils::NodeType(parent.get());
    if (type == NODE_DOCUMENT) break;
    if (type != NODE_ELEMENT) return yv::_stringw();
    path.insert(0, L"/" + std::to_wstring(ElementNumber(current.get())));
    current = parent;
  }
  return path.empty() ? yv::_stringw(L"/") : yv::_stringw(path.c_str());
}

yv::_stringw EscapedAttributeValue(const yv::_stringw& value) {
  yv::_stringw escaped;
  for (wchar_t c : value) {
    switch (c) {
      case L'&':
        escaped += L"&amp;";
        break;
      case L'<':
        escaped += L"&lt;";
        break;
      case L'"':
        escaped += L"&quot;";
        break;
      case L'\r':
        escaped += L"&#13;";
        break;
      case L'\n':
        escaped += L"&#10;";
        break;
      case L'\t':
        escaped += L"&#9;";
        break;
      default:
        escaped.push_back(c);
    }
  }
  return escaped;
}

// The namespace declarations in scope at `element`, the nearest of each
// prefix: what the markup of a child needs to be read on its own; `seen`
// gets the names declared.
yv::_stringw NamespacesInScope(IXMLDOMNode* element, std::set<yv::_stringw>& seen) {
  yv::_stringw declarations;
  yv::ComPtr<IXMLDOMNode> current;
  element->QueryInterface(msxml::kIXMLDOMNode, current.put_void());
  while (xmlutils::NodeType(current.get()) == NODE_ELEMENT) {
    yv::ComPtr<IXMLDOMNamedNodeMap> attributes;
    long count = 0;
    if (SUCCEEDED(current->get_attributes(attributes.put())) && attributes) attributes->get_length(&count);
    for (long i = 0; i < count; ++i) {
      yv::ComPtr<IXMLDOMNode> attribute;
      if (FAILED(attributes->get_item(i, attribute.put())) || !attribute) continue;
      yv::_stringw name = xmlutils::NodeName(attribute.get());
      if (!xmlutils::IsNamespaceDeclaration(name) || !seen.insert(name).second) continue;
      ComVariant value;
      attribute->get_nodeValue(value.put());
      declarations += L" " + name + L"=\"" + EscapedAttributeValue(value.ToText()) + L"\"";
    }
    yv::ComPtr<IXMLDOMNode> parent;
    current->get_parentNode(parent.put());
    current = parent;
  }
  return declarations;
}

// Adds to `declarations` the namespace of `node` and of its attributes and
// descendants, for each prefix not in `seen`: the markup of a removed
// element names no namespace it inherits, and some parsers (Wine's) do not
// list an ancestor's declarations among its attributes, so the namespaces
// the element uses are read from the element itself.
void AddNamespacesUsed(IXMLDOMNode* node, std::set<yv::_stringw>& seen, yv::_stringw& declarations) {
  DOMNodeType type = xmlutils::NodeType(node);
  if (type != NODE_ELEMENT && type != NODE_ATTRIBUTE) return;
  yv::_stringw prefix, uri;
  node->get_prefix(prefix.out());
  node->get_namespaceURI(uri.out());
  yv::_stringw name = prefix.empty() ? yv::_stringw(L"xmlns") : L"xmlns:" + prefix;
  if (!xmlutils::IsNamespaceDeclaration(xmlutils::NodeName(node)) && !uri.empty() && seen.insert(name).second)
    declarations += L" " + name + L"=\"" + EscapedAttributeValue(uri) + L"\"";
  if (type != NODE_ELEMENT) return;
  yv::ComPtr<IXMLDOMNamedNodeMap> attributes;
  long count = 0;
  if (SUCCEEDED(node->get_attributes(attributes.put())) && attributes) attributes->get_length(&count);
  for (long i = 0; i < count; ++i) {
    yv::ComPtr<IXMLDOMNode> attribute;
    yv::_stringw attributePrefix;
    // An attribute without a prefix is in no namespace, whatever the default.
    if (SUCCEEDED(attributes->get_item(i, attribute.put())) && attribute &&
        SUCCEEDED(attribute->get_prefix(attributePrefix.out())) && !attributePrefix.empty())
      AddNamespacesUsed(attribute.get(), seen, declarations);
  }
  yv::ComPtr<IXMLDOMNode> child;
  node->get_firstChild(child.put());
  while (child) {
    AddNamespacesUsed(child.get(), seen, declarations);
    yv::ComPtr<IXMLDOMNode> next;
    child->get_nextSibling(next.put());
    child = next;
  }
}

yv::_stringw ContentText(IXMLDOMNode* node) {
  yv::_stringw text;
  for (const yv::_stringw& item : XmlContentDigest(node)) text += item + L"\n";
  return text;
}

// A copy of `source`, a node of another document, made by `document` node
// by node: a node moved between documents keeps pointing into the other
// one on some parsers (Wine's, whose importNode is missing too). Namespace
// declarations are not copied: each name is made in its namespace, and the
// parser declares what it needs. Null when a node cannot be made.
yv::ComPtr<IXMLDOMNode> CopyInto(IXMLDOMDocument2* document, IXMLDOMNode* source) {
  DOMNodeType type = xmlutils::NodeType(source);
  yv::_stringw uri;
  source->get_namespaceURI(uri.out());
  yv::ComPtr<IXMLDOMNode> copy;
  ComVariant value;
  if (FAILED(document->createNode(ComVariant::FromI4(type).get(), RequireBstr(xmlutils::NodeName(source)),
                                  RequireBstr(uri), copy.put())) ||
      !copy)
    return nullptr;
  if (type != NODE_ELEMENT) {
    if (type == NODE_ENTITY_REFERENCE) return copy;
    if (FAILED(source->get_nodeValue(value.put())) || FAILED(copy->put_nodeValue(value.get()))) return nullptr;
    return copy;
  }
  yv::ComPtr<IXMLDOMNamedNodeMap> attributes, copyAttributes;
  long count = 0;
  if (SUCCEEDED(source->get_attributes(attributes.put())) && attributes) attributes->get_length(&count);
  if (FAILED(copy->get_attributes(copyAttributes.put())) || !copyAttributes) return nullptr;
  for (long i = 0; i < count; ++i) {
    yv::ComPtr<IXMLDOMNode> attribute, copied, replaced;
    if (FAILED(attributes->get_item(i, attribute.put())) || !attribute ||
        xmlutils::IsNamespaceDeclaration(xmlutils::NodeName(attribute.get())))
      continue;
    if (!(copied = CopyInto(document, attribute.get())) ||
        FAILED(copyAttributes->setNamedItem(copied.get(), replaced.put())))
      return nullptr;
  }
  yv::ComPtr<IXMLDOMNode> child;
  source->get_firstChild(child.put());
  while (child) {
    yv::ComPtr<IXMLDOMNode> copied = CopyInto(document, child.get()), appended, next;
    if (!copied || FAILED(copy->appendChild(copied.get(), appended.put()))) return nullptr;
    child->get_nextSibling(next.put());
    child = next;
  }
  return copy;
}

}  // namespace

void CYVXmlFile::ReportChange(XmlChange change, IXMLDOMNode* element) {
  if (!observer_) return;
  change.xpath = currentXPath_;
  change.element = ElementPathOf(element);
  change.name = xmlutils::NodeName(element);
  observer_->OnXmlChange(std::move(change));
}

XmlChange CYVXmlFile::RemovalOf(IXMLDOMNode* node, IXMLDOMNode* parent) {
  XmlChange change;
  change.kind = XmlChange::Kind::kRemoved;
  yv::_stringw markup;
  node->get_xml(markup.out());
  change.before = markup;
  change.position = NumberAmong(node, IsPlaced);
  std::set<yv::_stringw> seen;
  change.namespaces = NamespacesInScope(parent, seen);
  AddNamespacesUsed(node, seen, change.namespaces);
  return change;
}

bool CYVXmlFile::SelectElementAt(const yv::_stringw& path, const yv::_stringw& name) {
  currentNodes_.clear();
  currentXPath_ = path;
  yv::ComPtr<IXMLDOMNode> node;
  if (path.empty() || path.front() != L'/' || FAILED(rootElement_.As(msxml::kIXMLDOMNode, node))) return false;
  for (const wchar_t* step = path.c_str(); node && *step == L'/' && step[1] != L'\0';) {
    wchar_t* end = nullptr;
    long number = std::wcstol(step + 1, &end, 10);
    if (end == step + 1) return false;
    node = ElementChild(node.get(), number);
    step = end;
  }
  if (!node || xmlutils::NodeName(node.get()) != name) return false;
  currentNodes_.push_back(node);
  return true;
}

std::optional<yv::_stringw> CYVXmlFile::ReadContent() {
  if (currentNodes_.empty()) return std::nullopt;
  return ContentText(currentNodes_.front().get());
}

std::vector<yv::_stringw> CYVXmlFile::CreatedElementContent() const {
  std::vector<yv::_stringw> content;
  for (const yv::ComPtr<IXMLDOMNode>& node : createdNodes_) content.push_back(ContentText(node.get()));
  return content;
}

bool CYVXmlFile::HoldsElementAt(long position, const yv::_stringw& markup, const yv::_stringw& namespaces) {
  if (currentNodes_.empty()) return false;
  yv::ComPtr<IXMLDOMNode> child = NthChild(currentNodes_.front().get(), position, IsPlaced);
  yv::ComPtr<IXMLDOMNode> recorded = child ? ReadElementMarkup(markup, namespaces) : nullptr;
  return recorded && SameXmlContent(child.get(), recorded.get());
}

yv::ComPtr<IXMLDOMNode> CYVXmlFile::ReadElementMarkup(const yv::_stringw& markup,
                                                      const yv::_stringw& namespaces) const {
  // The document's own whitespace handling keeps the layout inside.
  yv::ComPtr<IXMLDOMDocument2> scratch = CreateScratchDocument();
  VARIANT_BOOL loaded = VARIANT_FALSE, preserve = VARIANT_FALSE;
  document_->get_preserveWhiteSpace(&preserve);
  yv::ComPtr<IXMLDOMElement> wrapper;
  yv::ComPtr<IXMLDOMNode> wrapperNode;
  if (!scratch || FAILED(scratch->put_preserveWhiteSpace(preserve)) ||
      FAILED(scratch->put_validateOnParse(VARIANT_FALSE)) ||
      FAILED(scratch->loadXML(RequireBstr(L"<restore" + namespaces + L">" + markup + L"</restore>"), &loaded)) ||
      loaded != VARIANT_TRUE || FAILED(scratch->get_documentElement(wrapper.put())) || !wrapper ||
      FAILED(wrapper.As(msxml::kIXMLDOMNode, wrapperNode)))
    return nullptr;
  return ElementChild(wrapperNode.get(), 1);
}

bool CYVXmlFile::InsertElementAt(long position, const yv::_stringw& markup, const yv::_stringw& namespaces) {
  if (currentNodes_.empty()) return false;
  IXMLDOMNode* parent = currentNodes_.front().get();
  yv::ComPtr<IXMLDOMNode> read = ReadElementMarkup(markup, namespaces);
  yv::ComPtr<IXMLDOMNode> element = read ? CopyInto(document_.get(), read.get()) : nullptr;
  if (!element) return false;
  yv::ComPtr<IXMLDOMNode> following = NthChild(parent, position, IsPlaced);
  yv::ComPtr<IXMLDOMNode> inserted;
  // In kept layout the element gets back the line its removal took.
  HRESULT hr =
      !formatOnSave_ ? xmlutils::InsertOnOwnLine(parent, element.get(), following.get(), inserted.put())
      : following ? parent->insertBefore(element.get(), ComVariant::FromDispatch(following.get()).get(), inserted.put())
                  : parent->appendChild(element.get(), inserted.put());
  return SUCCEEDED(hr) && inserted;
}
