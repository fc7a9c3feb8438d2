#include "xml/NewestParser.h"

#include "xml/MsxmlIds.h"

namespace msxml {

namespace {

struct ParserClass {
  const CLSID* classId;
  int version;
};

// Newest first: the first class that can be created is the one used.
constexpr ParserClass kParserClasses[] = {
    {&kDomDocument60, 6},
    {&kDomDocument40, 4},
    {&kDomDocument30, 3},
};

}  // namespace

yv::ComPtr<IXMLDOMDocument2> CreateNewestDocument(int* version) {
  if (version) *version = 0;
  for (const ParserClass& parser : kParserClasses) {
    yv::ComPtr<IXMLDOMDocument2> document;
    HRESULT hr =
        CoCreateInstance(*parser.classId, nullptr, CLSCTX_INPROC_SERVER, kIXMLDOMDocument2, document.put_void());
    if (SUCCEEDED(hr) && document) {
      if (version) *version = parser.version;
      return document;
    }
  }
  return nullptr;
}

}  // namespace msxml
