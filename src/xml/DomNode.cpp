#include "xml/DomNode.h"

#include "xml/ComVariant.h"

namespace xmlutils {

DOMNodeType NodeType(IXMLDOMNode* node) {
  DOMNodeType type = NODE_INVALID;
  if (!node || FAILED(node->get_nodeType(&type))) return NODE_INVALID;
  return type;
}

yv::_stringw NodeName(IXMLDOMNode* node) {
  yv::_stringw name;
  node->get_nodeName(name.out());
  return name;
}

yv::_stringw NodeValue(IXMLDOMNode* node) {
  ComVariant value;
  return SUCCEEDED(node->get_nodeValue(value.put())) ? value.ToText() : yv::_stringw();
}

}  // namespace xmlutils
