#pragma once

#include <windows.h>
#include <msxml2.h>

#include <string>
#include <vector>

#include "xml/XmlFileText.h"
#include "xml/XmlTextTokens.h"

namespace xmlutils {

// Writes a changed document over the text of the file it was read from, so
// that whatever the changes did not touch keeps its bytes: declaration,
// comments, blank lines, indentation, attribute order and quotes, how
// empty elements are written, line ends, encoding and byte-order mark.
// A changed attribute changes between its quotes, a new one follows the
// last in the same quotes, a new element is written in full where the
// document has it.
class CLayoutKeepingWriter {
 public:
  // False (with `why`) when `bytes` cannot be read piece by piece.
  bool Read(const std::string& bytes, std::wstring& why);
  // The bytes of `document` in the file's layout. False (with `why`) when
  // the changes cannot be placed in the file's text.
  bool Write(IXMLDOMDocument* document, std::string& bytes, std::wstring& why) const;

 private:
  class Output;

  XmlFileText file_;
  std::vector<XmlToken> tokens_;
  size_t trailer_ = 0;
  wchar_t newQuote_ = L'"';
  std::wstring emptyTail_ = L"/>";
};

}  // namespace xmlutils
