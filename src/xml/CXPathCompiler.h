#pragma once

#include <windows.h>
#include <msxml2.h>

#include "support/com_ptr.h"
#include "support/stringw.h"

namespace xmlutils {

// Asks the parser whether it accepts an XPath, before any file is opened: an
// empty document that knows a file's namespace prefixes evaluates it the way
// the module will, relative to the root element.
class CXPathCompiler {
 public:
  // Sets up the document; the parser is asked for the prefixes of
  // `selectionNamespaces` (a list already checked for its form).
  explicit CXPathCompiler(const yv::_stringw& selectionNamespaces);

  // False when no parser could be set up: nothing can be checked then.
  bool HasParser() const { return static_cast<bool>(root_); }

  // Whether the parser evaluates `xpath` without an error.
  bool Compiles(const yv::_stringw& xpath) const;

 private:
  yv::ComPtr<IXMLDOMDocument2> document_;
  yv::ComPtr<IXMLDOMElement> root_;
};

}  // namespace xmlutils
