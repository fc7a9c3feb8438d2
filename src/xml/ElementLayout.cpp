#include "xml/ElementLayout.h"

#include <string>

#include "support/com_ptr.h"
#include "support/stringw.h"
#include "xml/ComVariant.h"
#include "xml/DomNode.h"
#include "xml/MsxmlIds.h"
#include "xml/XmlName.h"

namespace xmlutils {

namespace {

using Node = yv::ComPtr<IXMLDOMNode>;

// Whitespace-only text: the layout between pieces of markup.
bool IsLayout(IXMLDOMNode* node) { return NodeType(node) == NODE_TEXT && IsXmlSpace(NodeValue(node)); }

Node Previous(IXMLDOMNode* node) {
  Node previous;
  if (node) node->get_previousSibling(previous.put());
  return previous;
}

Node LastChild(IXMLDOMNode* node) {
  Node last;
  node->get_lastChild(last.put());
  return last;
}

bool IsText(IXMLDOMNode* node) {
  DOMNodeType type = NodeType(node);
  return type == NODE_CDATA_SECTION || (type == NODE_TEXT && !IsLayout(node));
}

// Whether `parent` holds text that is not layout, or CDATA, looking at its
// ends and beside `around` (a child, or null): mixed content shows there, and
// a parent of many thousand elements is not walked for every change.
bool HoldsText(IXMLDOMNode* parent, IXMLDOMNode* around) {
  Node first, last, before = Previous(around), after;
  parent->get_firstChild(first.put());
  parent->get_lastChild(last.put());
  if (around) around->get_nextSibling(after.put());
  return IsText(first.get()) || IsText(last.get()) || IsText(before.get()) || IsText(after.get()) ||
         (around && IsText(around));
}

// The line break and indentation at the end of a layout text (all of it
// when it has no line break).
std::wstring LineStart(const std::wstring& layout) {
  size_t lineEnd = layout.find_last_of(L'\n');
  return lineEnd == std::wstring::npos ? layout : layout.substr(lineEnd);
}

// The line start of `node`: of the layout in front of it, "\n" for the root
// element; empty when it does not start a line.
std::wstring LineStartOf(IXMLDOMNode* node) {
  Node parent;
  if (FAILED(node->get_parentNode(parent.put())) || !parent) return std::wstring();
  if (NodeType(parent.get()) == NODE_DOCUMENT) return L"\n";
  Node previous = Previous(node);
  std::wstring layout = IsLayout(previous.get()) ? NodeValue(previous.get()).c_str() : std::wstring();
  return layout.find(L'\n') == std::wstring::npos ? std::wstring() : LineStart(layout);
}

// How much deeper the document indents a child than its parent: the first
// element found on a line of its own below one that is on its own too.
// Only so many elements are looked at; a document indented at all shows it
// early.
std::wstring IndentUnit(IXMLDOMNode* element, const std::wstring& lineStart, int& budget) {
  Node child;
  element->get_firstChild(child.put());
  while (child && budget-- > 0) {
    if (NodeType(child.get()) == NODE_ELEMENT) {
      std::wstring childStart = LineStartOf(child.get());
      if (childStart.size() > lineStart.size() && childStart.compare(0, lineStart.size(), lineStart) == 0)
        return childStart.substr(lineStart.size());
      if (!childStart.empty()) {
        std::wstring unit = IndentUnit(child.get(), childStart, budget);
        if (!unit.empty()) return unit;
      }
    }
    Node next;
    child->get_nextSibling(next.put());
    child = next;
  }
  return std::wstring();
}

std::wstring DocumentIndentUnit(IXMLDOMNode* node) {
  yv::ComPtr<IXMLDOMDocument> document;
  yv::ComPtr<IXMLDOMElement> root;
  Node rootNode;
  if (FAILED(node->get_ownerDocument(document.put())) || !document ||
      FAILED(document->get_documentElement(root.put())) || !root ||
      FAILED(root->QueryInterface(msxml::kIXMLDOMNode, rootNode.put_void())))
    return std::wstring();
  int budget = 2000;
  return IndentUnit(rootNode.get(), L"\n", budget);
}

HRESULT InsertText(IXMLDOMNode* parent, const std::wstring& text, IXMLDOMNode* before) {
  yv::ComPtr<IXMLDOMDocument> document;
  yv::ComPtr<IXMLDOMText> node;
  Node inserted;
  HRESULT hr = parent->get_ownerDocument(document.put());
  if (SUCCEEDED(hr)) hr = document->createTextNode(RequireBstr(text.c_str()), node.put());
  if (SUCCEEDED(hr))
    hr = before ? parent->insertBefore(node.get(), ComVariant::FromDispatch(before).get(), inserted.put())
                : parent->appendChild(node.get(), inserted.put());
  return hr;
}

HRESULT InsertNode(IXMLDOMNode* parent, IXMLDOMNode* node, IXMLDOMNode* before, IXMLDOMNode** inserted) {
  return before ? parent->insertBefore(node, ComVariant::FromDispatch(before).get(), inserted)
                : parent->appendChild(node, inserted);
}

}  // namespace

HRESULT InsertOnOwnLine(IXMLDOMNode* parent, IXMLDOMNode* element, IXMLDOMNode* following, IXMLDOMNode** inserted) {
  if (NodeType(parent) != NODE_ELEMENT || HoldsText(parent, following))
    return InsertNode(parent, element, following, inserted);
  // The new line goes in front of the layout that leads to `following`, or
  // to the parent's end tag.
  Node before = following ? Previous(following) : LastChild(parent);
  if (!IsLayout(before.get())) {
    before.reset();
    if (following) following->QueryInterface(msxml::kIXMLDOMNode, before.put_void());
  }
  // The sibling whose line is copied: markup before the insertion point.
  Node sibling = before ? Previous(before.get()) : LastChild(parent);
  while (sibling && NodeType(sibling.get()) == NODE_TEXT) sibling = Previous(sibling.get());
  std::wstring indent, closing;
  if (sibling) {
    Node layout = Previous(sibling.get());
    indent = IsLayout(layout.get()) ? LineStart(NodeValue(layout.get()).c_str()) : std::wstring();
  } else if (following && IsLayout(before.get())) {
    indent = LineStart(NodeValue(before.get()).c_str());
  } else {
    // The parent's first child: one unit deeper than the parent, when the
    // parent starts a line and the document shows its unit.
    std::wstring parentStart = LineStartOf(parent);
    std::wstring unit = parentStart.empty() ? std::wstring() : DocumentIndentUnit(parent);
    if (!unit.empty()) {
      indent = parentStart + unit;
      if (!before) closing = parentStart;
    }
  }
  // The element first, then its indentation in front of it: some parsers
  // (Wine's) merge text inserted next to text into that text.
  HRESULT hr = InsertNode(parent, element, before.get(), inserted);
  if (SUCCEEDED(hr) && !indent.empty()) hr = InsertText(parent, indent, *inserted);
  if (SUCCEEDED(hr) && !closing.empty()) hr = InsertText(parent, closing, nullptr);
  return hr;
}

HRESULT RemoveWithLine(IXMLDOMNode* parent, IXMLDOMNode* element) {
  bool laidOut = NodeType(parent) == NODE_ELEMENT && !HoldsText(parent, element);
  Node layout = laidOut ? Previous(element) : Node();
  Node removed;
  HRESULT hr = parent->removeChild(element, removed.put());
  if (FAILED(hr) || !laidOut) return hr;
  if (IsLayout(layout.get())) {
    Node removedLayout;
    parent->removeChild(layout.get(), removedLayout.put());
  }
  // Nothing but layout left: empty, as before the first element came.
  Node child;
  parent->get_firstChild(child.put());
  for (Node at = child; at;) {
    if (!IsLayout(at.get())) return S_OK;
    Node next;
    at->get_nextSibling(next.put());
    at = next;
  }
  while (child) {
    Node next, gone;
    child->get_nextSibling(next.put());
    parent->removeChild(child.get(), gone.put());
    child = next;
  }
  return S_OK;
}

}  // namespace xmlutils
