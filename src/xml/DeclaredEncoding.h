#pragma once

#include <windows.h>
#include <msxml2.h>

#include "support/stringw.h"

// The encoding named by the document's XML declaration, as written there;
// empty when the document has no declaration or it names no encoding.
yv::_stringw DeclaredEncodingOf(IXMLDOMNode* document);

// The Windows code page of an XML encoding name (case-insensitive): CP_UTF8,
// 1200 for UTF-16 (little-endian), 1201 for big-endian UTF-16, the code page
// of a windows-, cp-, iso-8859- or common East Asian name; 0 when unknown.
UINT CodePageOfEncoding(const yv::_stringw& name);

// True when `scratch`, a fresh document of the parser in use, writes a
// document that declares `encoding` (code page `codePage`) as UTF-8 instead.
// Some parsers (Wine's) always write UTF-8 and keep the declaration as it
// was, which makes the file unreadable.
bool ParserWritesUtf8Regardless(IXMLDOMDocument2* scratch, const yv::_stringw& encoding, UINT codePage);

// Reads `path` as UTF-8 and writes it again in `codePage` (UTF-16 with a
// byte-order mark for 1200 and 1201). Characters the code page cannot hold
// become character references; a file that is no UTF-8 is left as it is.
// False when the file could not be read or written in full.
bool RewriteUtf8File(const yv::_stringw& path, UINT codePage);
