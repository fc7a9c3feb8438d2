#pragma once

#include <string>
#include <utility>
#include <vector>

namespace xmlutils {

// The pieces of markup a layout-keeping save tells apart. An XML file's text
// and a parsed document are both read into this form, so that they can be
// lined up and every piece the document still holds written with the bytes
// the file had.
enum class XmlTokenKind { kDeclaration, kDoctype, kComment, kInstruction, kStart, kEnd, kText, kCData };

struct XmlAttributeToken {
  std::wstring name;
  std::wstring value;  // as the parser gives it: references resolved, line ends and tabs made spaces
  // In the file's text: from the blank before the name, the value between
  // its quotes, and the end after the closing quote.
  size_t begin = 0, valueBegin = 0, valueEnd = 0, end = 0;
  wchar_t quote = L'"';
};

struct XmlToken {
  XmlTokenKind kind = XmlTokenKind::kText;
  std::wstring name;   // element name, instruction target
  std::wstring value;  // text, CDATA, comment, instruction data (line ends as LF, references resolved)
  std::vector<XmlAttributeToken> attributes;
  // Of a document's start tag: the prefix and namespace of its name and of
  // each prefixed attribute, which the written text must declare.
  std::vector<std::pair<std::wstring, std::wstring>> namespaces;
  // Of a file: the start tag closes itself (`<a/>`), and its end is one
  // with no text. Of a document: the element has no children.
  bool empty = false;
  // Of a file: where the blanks outside the root element that come first
  // start, where the piece starts and ends, where a start tag's name ends
  // and where the rest after its attributes (` />`, `>`) starts.
  size_t lead = 0, begin = 0, end = 0, nameEnd = 0, tailBegin = 0;
};

// Whether two pieces are the same one: same kind and name; text, comments,
// CDATA and instructions also with the same value. A start tag whose
// attributes changed is still the same piece.
bool SameXmlPiece(const XmlToken& left, const XmlToken& right);

// An instruction's data as both readings compare it: without the blanks
// around it, which parsers keep or drop as they like.
std::wstring TrimmedInstructionData(const std::wstring& data);

// Splits the text of an XML file into pieces; `trailer` is where the blanks
// after the last piece start. False (with `why`) when the text holds what
// this reading does not follow: entities declared in its document type,
// references to them, or markup that is not well formed.
bool TokenizeXmlText(const std::wstring& text, std::vector<XmlToken>& tokens, size_t& trailer, std::wstring& why);

}  // namespace xmlutils
