#pragma once

// What the document tests share: an engine that scripts the user's answers,
// a document loaded from text, and an independent parser to check the saved
// files with.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "engine/CYVXMLInstallEngine.h"
#include "kit/TempFolder.h"
#include "xml/CYVXmlFile.h"
#include "xml/ComVariant.h"
#include "xml/MsxmlIds.h"
#include "xml/XmlResults.h"

using W = std::vector<std::wstring>;

// Stands in for the installer-hosted engine: keeps every numbered log line
// (it is the log sink while alive) and every prompt, and gives the scripted
// answers in turn.
class ScriptedEngine : public CYVXMLInstallEngine {
 public:
  void OnLogMessage(const wchar_t* text) override { lines.emplace_back(text); }
  int OnErrorPrompt(const wchar_t* text, int errorNumber, int) override {
    prompts.push_back(std::to_wstring(errorNumber) + L" " + text);
    if (prompts.size() > answers.size()) {
      ADD_FAILURE() << "unexpected prompt";
      return PromptAnswer::kAbort;  // so that a Retry loop cannot run forever
    }
    auto& [answer, before] = answers[prompts.size() - 1];
    if (before) before();
    return answer;
  }
  // Each answer with what the user does first (repairs a file, drops a
  // lock), as a user would before pressing Retry.
  std::vector<std::pair<int, std::function<void()>>> answers;
  W lines, prompts;
};

inline bool RunningOnWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

inline std::wstring Text(const yv::_stringw& text) { return text.c_str(); }

// A file parsed by a fresh parser object, independent of the code under
// test; null when it does not parse.
inline yv::ComPtr<IXMLDOMDocument2> ParseFile(const std::wstring& path) {
  yv::ComPtr<IXMLDOMDocument2> document;
  VARIANT_BOOL ok = VARIANT_FALSE;
  if (FAILED(CoCreateInstance(msxml::kDomDocument60, nullptr, CLSCTX_INPROC_SERVER, msxml::kIXMLDOMDocument2,
                              document.put_void())))
    return nullptr;
  document->put_async(VARIANT_FALSE);
  document->setProperty(yv::_stringw(L"ProhibitDTD").bstr(), ComVariant::FromI2(0).get());
  document->setProperty(yv::_stringw(L"SelectionLanguage").bstr(), ComVariant::FromText(L"XPath").get());
  if (FAILED(document->load(ComVariant::FromText(path.c_str()).get(), &ok)) || !ok) return nullptr;
  return document;
}

// What a node holds, as compact markup that is the same on every parser:
// names carry their namespace as `name{uri}`, attributes are sorted and
// namespace declarations left out, adjacent text, CDATA and entity content
// merge (an entity Wine gives no text for shows as `&name;`), whitespace-only
// text is dropped and the XML declaration is left out. Indenting a document
// changes nothing here; losing content does. `trimText` also drops the
// whitespace around text, for documents whose layout differs.
inline std::wstring Canonical(IXMLDOMNode* root, bool trimText = false) {
  struct Writer {
    bool trim;
    std::wstring out, text;
    static std::wstring Name(IXMLDOMNode* node) {
      yv::_stringw name, uri;
      node->get_nodeName(name.out());
      node->get_namespaceURI(uri.out());
      return uri.empty() ? Text(name) : Text(name) + L"{" + Text(uri) + L"}";
    }
    static std::wstring Value(IXMLDOMNode* node) {  // raw: the `text` property trims on some parsers
      ComVariant value;
      node->get_nodeValue(value.put());
      return Text(value.ToText());
    }
    void Flush() {
      size_t first = text.find_first_not_of(L" \t\r\n"), last = text.find_last_not_of(L" \t\r\n");
      if (first != std::wstring::npos) out += trim ? text.substr(first, last - first + 1) : text;
      text.clear();
    }
    void Write(IXMLDOMNode* node) {
      DOMNodeType type = NODE_INVALID;
      yv::_stringw name, value;
      node->get_nodeType(&type);
      node->get_nodeName(name.out());
      if (type == NODE_TEXT || type == NODE_CDATA_SECTION) return void(text += Value(node));
      if (type == NODE_ENTITY_REFERENCE) {
        node->get_text(value.out());
        return void(text += value.empty() ? L"&" + Text(name) + L";" : Text(value));
      }
      Flush();
      if (type == NODE_COMMENT) out += L"<!--" + Value(node) + L"-->";
      if (type == NODE_PROCESSING_INSTRUCTION && name != L"xml") out += L"<?" + Text(name) + L" " + Value(node) + L"?>";
      if (type == NODE_DOCUMENT_TYPE) out += L"<!DOCTYPE " + Text(name) + L">";
      if (type != NODE_ELEMENT && type != NODE_DOCUMENT) return;
      // Attributes through XPath, which leaves out namespace declarations.
      yv::ComPtr<IXMLDOMNodeList> list, children;
      long count = 0, length = 0;
      W attributes;
      if (SUCCEEDED(node->selectNodes(yv::_stringw(L"@*").bstr(), list.put())) && list) list->get_length(&count);
      for (long i = 0; i < count; ++i) {
        yv::ComPtr<IXMLDOMNode> attribute;
        list->get_item(i, attribute.put());
        attributes.push_back(L" " + Name(attribute.get()) + L"=\"" + Value(attribute.get()) + L"\"");
      }
      std::sort(attributes.begin(), attributes.end());
      // Children through the list: Wine ends a document's sibling chain at
      // its document type declaration.
      if (SUCCEEDED(node->get_childNodes(children.put())) && children) children->get_length(&length);
      if (type == NODE_ELEMENT) out += L"<" + Name(node);
      for (const std::wstring& attribute : attributes) out += attribute;
      if (type == NODE_ELEMENT) out += length ? L">" : L"/>";
      for (long i = 0; i < length; ++i) {
        yv::ComPtr<IXMLDOMNode> child;
        if (SUCCEEDED(children->get_item(i, child.put())) && child) Write(child.get());
      }
      Flush();
      if (type == NODE_ELEMENT && length) out += L"</" + Text(name) + L">";
    }
  } writer{trimText, L"", L""};
  if (root) writer.Write(root);
  writer.Flush();
  return writer.out;
}

// A file written from `text` into a temporary folder and loaded (without
// formatting on save unless asked); the log is cleared once it is loaded.
struct LoadedDocument {
  explicit LoadedDocument(const std::string& text, const std::wstring& namespaces = L"", bool format = false)
      : path(folder.File(L"doc.xml")), file(path, &engine) {
    WriteFileBytes(path, text);
    file.SetSelectionNamespaces(namespaces);
    file.SetFormatOnSave(format);
    EXPECT_EQ(file.Load(), 0);
    engine.lines.clear();
  }
  bool Select(const wchar_t* xpath, bool create = false) { return file.SelectXPath(xpath, L"", create, false); }
  // Saves and parses the file afresh: the whole document in canonical form.
  std::wstring SaveAndReload(bool trimText = false) {
    EXPECT_EQ(file.Save(), 0);
    yv::ComPtr<IXMLDOMDocument2> saved = ParseFile(path);
    return saved ? Canonical(saved.get(), trimText) : L"<unreadable>";
  }

  TempFolder folder;
  std::wstring path;
  ScriptedEngine engine;
  CYVXmlFile file;
};

// tests/fixtures/xml. Built on Linux for Wine, the source path is a Unix
// path; Wine maps the Unix root to drive Z:.
inline std::wstring FixtureFolder() {
  std::string source = __FILE__;
  for (int i = 0; i < 3; ++i) source.erase(source.find_last_of("/\\"));  // tests/unit/xml/this file
  std::wstring folder(source.begin(), source.end());
  folder = (folder[0] == L'/' ? L"Z:" : L"") + folder + L"\\fixtures\\xml";
  std::replace(folder.begin(), folder.end(), L'/', L'\\');
  return folder;
}
