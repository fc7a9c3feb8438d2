#pragma once

#include <windows.h>
#include <msxml2.h>

#include <vector>

#include "support/stringw.h"

// What an element says, item by item in document order: each element with
// its qualified name, namespace and attributes (sorted; namespace
// declarations left out), comments, processing instructions and text.
// Adjacent text, CDATA and entity content count as one text item and
// whitespace-only text is left out, so re-indenting an element changes
// nothing here while any lost or altered content does.
std::vector<yv::_stringw> XmlContentDigest(IXMLDOMNode* element);

// True when the two elements say the same by XmlContentDigest.
bool SameXmlContent(IXMLDOMNode* left, IXMLDOMNode* right);
