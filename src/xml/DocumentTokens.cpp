#include "xml/DocumentTokens.h"

#include <utility>

#include "support/com_ptr.h"
#include "support/stringw.h"
#include "xml/DomNode.h"

namespace xmlutils {

namespace {

std::wstring PrefixOf(const std::wstring& name) {
  size_t colon = name.find(L':');
  return colon == std::wstring::npos ? std::wstring() : name.substr(0, colon);
}

class DocumentWalk {
 public:
  explicit DocumentWalk(std::vector<XmlToken>& tokens) : tokens_(tokens) {}

  bool Node(IXMLDOMNode* node, std::wstring& why) {
    DOMNodeType type = NODE_INVALID;
    node->get_nodeType(&type);
    if (type != NODE_TEXT) FlushText();
    switch (type) {
      case NODE_ELEMENT:
        return Element(node, why);
      case NODE_TEXT:
        text_ += NodeValue(node).c_str();
        pendingText_ = true;
        return true;
      case NODE_CDATA_SECTION:
        Add(XmlTokenKind::kCData, L"", NodeValue(node).c_str());
        return true;
      case NODE_COMMENT:
        Add(XmlTokenKind::kComment, L"", NodeValue(node).c_str());
        return true;
      case NODE_PROCESSING_INSTRUCTION: {
        std::wstring target = NodeName(node).c_str();
        Add(target == L"xml" ? XmlTokenKind::kDeclaration : XmlTokenKind::kInstruction, target,
            TrimmedInstructionData(NodeValue(node).c_str()));
        return true;
      }
      case NODE_DOCUMENT_TYPE:
        Add(XmlTokenKind::kDoctype, NodeName(node).c_str(), L"");
        return true;
      default:
        why = L"it holds an entity reference";
        return false;
    }
  }

 private:
  XmlToken& Add(XmlTokenKind kind, const std::wstring& name, const std::wstring& value) {
    XmlToken& token = tokens_.emplace_back();
    token.kind = kind;
    token.name = name;
    token.value = value;
    return token;
  }

  void FlushText() {
    if (pendingText_) Add(XmlTokenKind::kText, L"", text_);
    text_.clear();
    pendingText_ = false;
  }

  bool Element(IXMLDOMNode* node, std::wstring& why) {
    size_t index = tokens_.size();
    Add(XmlTokenKind::kStart, NodeName(node).c_str(), L"");
    yv::ComPtr<IXMLDOMNamedNodeMap> attributes;
    long count = 0;
    if (SUCCEEDED(node->get_attributes(attributes.put())) && attributes) attributes->get_length(&count);
    yv::_stringw uri;
    node->get_namespaceURI(uri.out());
    tokens_[index].namespaces.emplace_back(PrefixOf(tokens_[index].name), uri.c_str());
    for (long i = 0; i < count; ++i) {
      yv::ComPtr<IXMLDOMNode> attribute;
      VARIANT_BOOL specified = VARIANT_TRUE;
      if (FAILED(attributes->get_item(i, attribute.put())) || !attribute) continue;
      // Defaults a document type supplies are not in the file's text.
      if (SUCCEEDED(attribute->get_specified(&specified)) && specified == VARIANT_FALSE) continue;
      XmlAttributeToken item;
      item.name = NodeName(attribute.get()).c_str();
      item.value = NodeValue(attribute.get()).c_str();
      std::wstring prefix = PrefixOf(item.name);
      if (!prefix.empty() && prefix != L"xmlns" && prefix != L"xml") {
        yv::_stringw attributeUri;
        attribute->get_namespaceURI(attributeUri.out());
        tokens_[index].namespaces.emplace_back(prefix, attributeUri.c_str());
      }
      tokens_[index].attributes.push_back(std::move(item));
    }

    yv::ComPtr<IXMLDOMNode> child;
    node->get_firstChild(child.put());
    tokens_[index].empty = !child;
    while (child) {
      if (!Node(child.get(), why)) return false;
      yv::ComPtr<IXMLDOMNode> next;
      child->get_nextSibling(next.put());
      child = next;
    }
    FlushText();
    bool empty = tokens_[index].empty;
    std::wstring name = tokens_[index].name;  // Add may move the tokens
    Add(XmlTokenKind::kEnd, name, L"").empty = empty;
    return true;
  }

  std::vector<XmlToken>& tokens_;
  std::wstring text_;
  bool pendingText_ = false;
};

}  // namespace

bool ReadDocumentTokens(IXMLDOMDocument* document, std::vector<XmlToken>& tokens, std::wstring& why) {
  tokens.clear();
  DocumentWalk walk(tokens);
  // The document's children through its list: some parsers (Wine's) end
  // the sibling chain at the document type.
  yv::ComPtr<IXMLDOMNodeList> children;
  long count = 0;
  if (FAILED(document->get_childNodes(children.put())) || !children || FAILED(children->get_length(&count))) {
    why = L"its nodes cannot be read";
    return false;
  }
  for (long i = 0; i < count; ++i) {
    yv::ComPtr<IXMLDOMNode> child;
    if (FAILED(children->get_item(i, child.put())) || !child || !walk.Node(child.get(), why)) {
      if (why.empty()) why = L"its nodes cannot be read";
      return false;
    }
  }
  return true;
}

}  // namespace xmlutils
