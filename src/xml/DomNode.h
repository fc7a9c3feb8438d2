#pragma once

#include <windows.h>
#include <msxml2.h>

#include "support/stringw.h"

namespace xmlutils {

// What a node says about itself, with a failed call read as nothing: its
// type (NODE_INVALID for a null node), its qualified name, and its value as
// text (none for an element).
DOMNodeType NodeType(IXMLDOMNode* node);
yv::_stringw NodeName(IXMLDOMNode* node);
yv::_stringw NodeValue(IXMLDOMNode* node);

}  // namespace xmlutils
