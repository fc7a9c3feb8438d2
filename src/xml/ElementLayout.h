#pragma once

#include <windows.h>
#include <msxml2.h>

namespace xmlutils {

// Element changes in a document read with its whitespace, made in the
// document's own layout. A parent with text of its own (mixed content)
// gets no layout: there the whitespace is text.

// Inserts `element` into `parent` before `following` (after the last child
// when null) on a line of its own: indented like the sibling before it (or
// the one after), or, as the parent's first element, one indent unit of the
// document deeper than the parent, whose end tag then goes on a line of its
// own. A document written without line breaks gets none.
HRESULT InsertOnOwnLine(IXMLDOMNode* parent, IXMLDOMNode* element, IXMLDOMNode* following, IXMLDOMNode** inserted);

// Removes `element` from `parent` with its line: the indentation in front
// of it goes too, and a parent left with nothing but blanks is emptied, as
// it was before its first element came.
HRESULT RemoveWithLine(IXMLDOMNode* parent, IXMLDOMNode* element);

}  // namespace xmlutils
