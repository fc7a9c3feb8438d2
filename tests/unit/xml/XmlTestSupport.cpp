#include "XmlTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "xml/ComVariant.h"
#include "xml/MsxmlIds.h"

int ScriptedEngine::OnErrorPrompt(const wchar_t* text, int errorNumber, int detail) {
  prompts.push_back({text ? text : L"", errorNumber, detail});
  if (next_ >= steps_.size()) {
    ADD_FAILURE() << "unexpected prompt " << errorNumber;
    return 3;  // Abort, so that a Retry loop cannot run forever
  }
  const Step& step = steps_[next_++];
  if (step.before) step.before();
  return step.answer;
}

size_t ScriptedEngine::Count(const std::wstring& line) const {
  return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
}

size_t ScriptedEngine::CountStartingWith(const std::wstring& start) const {
  return static_cast<size_t>(std::count_if(lines.begin(), lines.end(),
                                           [&](const std::wstring& l) { return l.compare(0, start.size(), start) == 0; }));
}

bool RunningOnWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

LoadedDocument::LoadedDocument(const std::string& text, const std::wstring& selectionNamespaces)
    : path_(folder_.File(L"doc.xml")), file_(path_, &engine_) {
  WriteFileBytes(path_, text);
  file_.SetSelectionNamespaces(selectionNamespaces);
  file_.SetFormatOnSave(false);
  EXPECT_EQ(file_.Load(), 0);
  engine_.lines.clear();
}

std::wstring LoadedDocument::Root() const { return Canonical(file_.RootElement()); }

void LoadedDocument::Select(const wchar_t* xpath) {
  EXPECT_TRUE(file_.SelectXPath(xpath, L"", false, false)) << Utf8(xpath);
  engine_.lines.clear();
}

yv::ComPtr<IXMLDOMDocument2> LoadedDocument::SaveAndReload(const std::wstring& selectionNamespaces) {
  EXPECT_EQ(file_.Save(), 0);
  return ParseFile(path_, selectionNamespaces);
}

namespace {

yv::ComPtr<IXMLDOMDocument2> NewCheckingDocument(const std::wstring& selectionNamespaces) {
  yv::ComPtr<IXMLDOMDocument2> document;
  if (FAILED(CoCreateInstance(msxml::kDomDocument60, nullptr, CLSCTX_INPROC_SERVER, msxml::kIXMLDOMDocument2,
                              document.put_void())))
    return nullptr;
  document->put_async(VARIANT_FALSE);
  document->setProperty(yv::_stringw(L"ProhibitDTD").bstr(), ComVariant::FromI2(0).get());
  document->setProperty(yv::_stringw(L"SelectionLanguage").bstr(), ComVariant::FromText(L"XPath").get());
  if (!selectionNamespaces.empty())
    document->setProperty(yv::_stringw(L"SelectionNamespaces").bstr(),
                          ComVariant::FromText(selectionNamespaces.c_str()).get());
  return document;
}

std::wstring Text(const yv::_stringw& text) { return text.c_str(); }

std::wstring QualifiedName(IXMLDOMNode* node) {
  yv::_stringw name, uri;
  node->get_nodeName(name.out());
  node->get_namespaceURI(uri.out());
  return uri.empty() ? Text(name) : Text(name) + L"{" + Text(uri) + L"}";
}

// The raw value: the `text` property trims on some parsers.
std::wstring ValueOf(IXMLDOMNode* node) {
  ComVariant value;
  node->get_nodeValue(value.put());
  return Text(value.ToText());
}

class CanonicalWriter {
 public:
  void Write(IXMLDOMNode* node) {
    DOMNodeType type = NODE_INVALID;
    node->get_nodeType(&type);
    yv::_stringw name, text;
    node->get_nodeName(name.out());
    if (type == NODE_TEXT || type == NODE_CDATA_SECTION) {
      text_ += ValueOf(node);
      return;
    }
    if (type == NODE_ENTITY_REFERENCE) {
      node->get_text(text.out());
      text_ += text.empty() ? L"&" + Text(name) + L";" : Text(text);
      return;
    }
    Flush();
    if (type == NODE_COMMENT) out_ += L"<!--" + ValueOf(node) + L"-->";
    if (type == NODE_PROCESSING_INSTRUCTION && name != L"xml") out_ += L"<?" + Text(name) + L" " + ValueOf(node) + L"?>";
    if (type == NODE_DOCUMENT_TYPE) out_ += L"<!DOCTYPE " + Text(name) + L">";
    if (type != NODE_ELEMENT && type != NODE_DOCUMENT) return;
    if (type == NODE_ELEMENT) out_ += L"<" + QualifiedName(node) + Attributes(node);
    // Children through the list: Wine ends a document's sibling chain at its
    // document type declaration.
    yv::ComPtr<IXMLDOMNodeList> children;
    long length = 0;
    if (SUCCEEDED(node->get_childNodes(children.put())) && children) children->get_length(&length);
    if (type == NODE_ELEMENT) out_ += length ? L">" : L"/>";
    for (long i = 0; i < length; ++i) {
      yv::ComPtr<IXMLDOMNode> child;
      if (SUCCEEDED(children->get_item(i, child.put())) && child) Write(child.get());
    }
    Flush();
    if (type == NODE_ELEMENT && length) out_ += L"</" + Text(name) + L">";
  }
  std::wstring Take() {
    Flush();
    return out_;
  }

 private:
  static std::wstring Attributes(IXMLDOMNode* node) {
    std::vector<std::wstring> attributes;
    yv::ComPtr<IXMLDOMNamedNodeMap> map;
    long count = 0;
    if (SUCCEEDED(node->get_attributes(map.put())) && map) map->get_length(&count);
    for (long i = 0; i < count; ++i) {
      yv::ComPtr<IXMLDOMNode> attribute;
      // Wine counts namespace declarations without handing them out.
      if (FAILED(map->get_item(i, attribute.put())) || !attribute) continue;
      yv::_stringw name;
      attribute->get_nodeName(name.out());
      if (name == L"xmlns" || name.compare(0, 6, L"xmlns:") == 0) continue;
      attributes.push_back(L" " + QualifiedName(attribute.get()) + L"=\"" + ValueOf(attribute.get()) + L"\"");
    }
    std::sort(attributes.begin(), attributes.end());
    std::wstring all;
    for (const std::wstring& attribute : attributes) all += attribute;
    return all;
  }
  void Flush() {
    if (text_.find_first_not_of(L" \t\r\n") != std::wstring::npos) out_ += text_;
    text_.clear();
  }
  std::wstring out_, text_;
};

}  // namespace

yv::ComPtr<IXMLDOMDocument2> ParseFile(const std::wstring& path, const std::wstring& selectionNamespaces) {
  yv::ComPtr<IXMLDOMDocument2> document = NewCheckingDocument(selectionNamespaces);
  VARIANT_BOOL ok = VARIANT_FALSE;
  if (!document || FAILED(document->load(ComVariant::FromText(path.c_str()).get(), &ok)) || !ok) return nullptr;
  return document;
}

std::vector<std::wstring> Select(IXMLDOMDocument2* document, const std::wstring& xpath) {
  std::vector<std::wstring> values;
  yv::ComPtr<IXMLDOMNodeList> list;
  long length = 0;
  if (!document || FAILED(document->selectNodes(yv::_stringw(xpath.c_str()).bstr(), list.put())) || !list) return values;
  list->get_length(&length);
  for (long i = 0; i < length; ++i) {
    yv::ComPtr<IXMLDOMNode> node;
    yv::_stringw text;
    list->get_item(i, node.put());
    node->get_text(text.out());
    values.push_back(Text(text));
  }
  return values;
}

std::wstring XmlOf(IXMLDOMNode* node) {
  yv::_stringw xml;
  if (node) node->get_xml(xml.out());
  return Text(xml);
}

std::wstring Canonical(IXMLDOMNode* node) {
  CanonicalWriter writer;
  if (node) writer.Write(node);
  return writer.Take();
}

std::wstring FixtureFolder() {
  // Built on Linux for Wine, the source path is a Unix path; Wine maps the
  // Unix root to drive Z:.
  std::string source = __FILE__;
  std::string folder = source.substr(0, source.find_last_of("/\\")) + "/../../fixtures/xml";
  std::wstring wide(folder.begin(), folder.end());
  if (wide[0] == L'/') wide = L"Z:" + wide;
  std::replace(wide.begin(), wide.end(), L'/', L'\\');
  wchar_t full[MAX_PATH];
  DWORD length = GetFullPathNameW(wide.c_str(), MAX_PATH, full, nullptr);
  return length ? std::wstring(full, length) : wide;
}

std::string Utf8(const std::wstring& text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
  return bytes;
}
