#pragma once

#include <windows.h>
#include <msxml2.h>

#include <string>
#include <vector>

#include "xml/XmlTextTokens.h"

namespace xmlutils {

// The pieces of `document` in document order, as TokenizeXmlText reads them
// from a file: a start tag with its attributes (and the namespaces its
// names are in), adjacent text as one piece, an end for every element. False (with `why`) for a node a file's text
// cannot stand for here (an entity reference).
bool ReadDocumentTokens(IXMLDOMDocument* document, std::vector<XmlToken>& tokens, std::wstring& why);

}  // namespace xmlutils
