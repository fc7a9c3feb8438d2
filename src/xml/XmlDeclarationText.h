#pragma once

#include "support/stringw.h"

// Removes every XML declaration (`<?xml ...?>`, with the whitespace around
// it) from the start of a serialised document, so that the text can be given
// to loadXML, which takes UTF-16 and refuses a second declaration. Other
// processing instructions, such as `<?xml-stylesheet?>`, are kept.
yv::_stringw StripLeadingXmlDeclarations(const yv::_stringw& text);
