#include "xml/XmlContentDigest.h"

#include <algorithm>

#include "support/com_ptr.h"
#include "xml/ComVariant.h"
#include "xml/XmlName.h"

namespace {

// The raw value of a text-like node; `text` would trim it on some parsers.
yv::_stringw ValueOf(IXMLDOMNode* node) {
  ComVariant value;
  if (FAILED(node->get_nodeValue(value.put()))) return yv::_stringw();
  return value.ToText();
}

class DigestBuilder {
 public:
  void Add(IXMLDOMNode* node) {
    DOMNodeType type = NODE_INVALID;
    node->get_nodeType(&type);
    yv::_stringw name;
    switch (type) {
      case NODE_TEXT:
      case NODE_CDATA_SECTION:
        pendingText_ += ValueOf(node);
        return;
      case NODE_ENTITY_REFERENCE: {
        // Some parsers (Wine's) give no text for a reference to a declared
        // entity; it then counts by its name, so that losing it shows.
        yv::_stringw text;
        node->get_text(text.out());
        if (text.empty()) {
          node->get_nodeName(name.out());
          text = L"&" + name + L";";
        }
        pendingText_ += text;
        return;
      }
      case NODE_COMMENT:
        Emit(L"comment " + ValueOf(node));
        return;
      case NODE_PROCESSING_INSTRUCTION:
        node->get_nodeName(name.out());
        Emit(L"pi " + name + L" " + ValueOf(node));
        return;
      case NODE_ELEMENT:
        AddElement(node);
        return;
      default:
        return;
    }
  }

  std::vector<yv::_stringw> Take() {
    FlushText();
    return std::move(items_);
  }

 private:
  void AddElement(IXMLDOMNode* element) {
    yv::_stringw name, uri;
    element->get_nodeName(name.out());
    element->get_namespaceURI(uri.out());
    Emit(L"element " + name + L" {" + uri + L"}");

    std::vector<yv::_stringw> attributes;
    yv::ComPtr<IXMLDOMNamedNodeMap> map;
    long count = 0;
    if (SUCCEEDED(element->get_attributes(map.put())) && map) map->get_length(&count);
    for (long i = 0; i < count; ++i) {
      yv::ComPtr<IXMLDOMNode> attribute;
      // Some parsers count namespace declarations without handing them out.
      if (FAILED(map->get_item(i, attribute.put())) || !attribute) continue;
      yv::_stringw attributeName, attributeUri;
      attribute->get_nodeName(attributeName.out());
      if (xmlutils::IsNamespaceDeclaration(attributeName)) continue;
      attribute->get_namespaceURI(attributeUri.out());
      attributes.push_back(L"@" + attributeName + L" {" + attributeUri + L"}=" + ValueOf(attribute.get()));
    }
    std::sort(attributes.begin(), attributes.end());
    for (yv::_stringw& attribute : attributes) items_.push_back(std::move(attribute));

    // Walked by sibling links: some parsers (Wine's) find the i-th item of a
    // child list by counting from the first, which makes an element of many
    // thousand children cost the square of their number.
    yv::ComPtr<IXMLDOMNode> child;
    element->get_firstChild(child.put());
    while (child) {
      Add(child.get());
      yv::ComPtr<IXMLDOMNode> next;
      if (FAILED(child->get_nextSibling(next.put()))) break;
      child = std::move(next);
    }
    Emit(L"end " + name);
  }

  void Emit(yv::_stringw item) {
    FlushText();
    items_.push_back(std::move(item));
  }

  void FlushText() {
    if (!xmlutils::IsXmlSpace(pendingText_)) items_.push_back(L"text " + pendingText_);
    pendingText_.clear();
  }

  std::vector<yv::_stringw> items_;
  yv::_stringw pendingText_;
};

}  // namespace

std::vector<yv::_stringw> XmlContentDigest(IXMLDOMNode* element) {
  DigestBuilder builder;
  if (element) builder.Add(element);
  return builder.Take();
}

bool SameXmlContent(IXMLDOMNode* left, IXMLDOMNode* right) { return XmlContentDigest(left) == XmlContentDigest(right); }
