// Pretty-printing a CYVXmlFile: the document is run through the identity
// stylesheet of string 57 with indented output, and the indented root element
// replaces the document's own. Only the root element is replaced, so the
// declaration and anything outside the root stay as they were.

#include "support/MessageLog.h"
#include "xml/CYVXmlFile.h"
#include "xml/ComVariant.h"
#include "xml/MsxmlIds.h"
#include "xml/XmlContentDigest.h"
#include "xml/XmlDeclarationText.h"

void CYVXmlFile::SubstitutePlaceholders(yv::_stringw& text, const wchar_t* const* arguments, int count) {
  yv::_stringw result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    wchar_t ch = text[i];
    int number = 0;
    if (ch == L'%' && i + 1 < text.size()) {
      wchar_t next = text[i + 1];
      if (next >= L'1' && next <= L'9') number = next - L'0';
      if (next >= L'A' && next <= L'Z') number = next - L'A' + 10;
    }
    if (number == 0) {
      result.push_back(ch);
      continue;
    }
    ++i;  // the placeholder's second character is consumed with it
    if (number > count) {
      result.push_back(L'?');
    } else if (const wchar_t* argument = arguments[number - 1]) {
      result.append(argument);
    }
  }
  text = std::move(result);
}

yv::_stringw CYVXmlFile::LoadStylesheetText() const {
  yv::_stringw text = LoadMessageText(IDS_INDENT_STYLESHEET);
  if (!text.empty()) {
    const wchar_t* arguments[] = {encodingDeclaration_.c_str()};
    SubstitutePlaceholders(text, arguments, 1);
  }
  return text;
}

void CYVXmlFile::FormatDocument() {
  LogMessage(IDS_FORMATTING);
  yv::ComPtr<IXMLDOMDocument2> stylesheet = CreateDocument();
  if (!stylesheet) {
    LogMessage(IDS_STYLESHEET_DOCUMENT_FAILED);
    return;
  }
  LogMessage(IDS_LOADING_STYLESHEET);
  yv::_stringw text = LoadStylesheetText();
  if (text.empty()) {
    LogMessage(IDS_STYLESHEET_UNUSABLE);
    return;
  }
  LogMessage(IDS_STYLESHEET_LOADED);
  VARIANT_BOOL loaded = VARIANT_FALSE;
  HRESULT hr = stylesheet->loadXML(RequireBstr(text), &loaded);
  if (FAILED(hr) || loaded != VARIANT_TRUE) {
    LogMessage(IDS_STYLESHEET_LOAD_FAILED);
    return;
  }
  yv::ComPtr<IXMLDOMDocument2> output = CreateDocument();
  if (!output) {
    LogMessage(IDS_DOCUMENT_CREATE_FAILED);
    return;
  }
  yv::ComPtr<IXMLDOMNode> source = TransformationSource();
  if (!source) {
    LogMessage(IDS_TRANSFORM_FAILED, static_cast<int>(E_NOINTERFACE));
    LogMessage(IDS_FORMATTING_DONE);
    return;
  }
  // The indentation the stylesheet writes is whitespace-only text, which a
  // parser that builds the output document by parsing its result text would
  // otherwise drop again.
  output->put_preserveWhiteSpace(VARIANT_TRUE);
  hr = source->transformNodeToObject(stylesheet.get(), ComVariant::FromDispatch(output.get()).get());
  if (SUCCEEDED(hr)) {
    AdoptFormattedRoot(source.get(), stylesheet.get(), output.get());
  } else {
    LogMessage(IDS_TRANSFORM_FAILED, static_cast<int>(hr));
  }
  LogMessage(IDS_FORMATTING_DONE);
}

yv::ComPtr<IXMLDOMNode> CYVXmlFile::TransformationSource() const {
  yv::ComPtr<IXMLDOMNode> source;
  document_.As(msxml::kIXMLDOMNode, source);
  yv::ComPtr<IXMLDOMDocumentType> doctype;
  if (FAILED(document_->get_doctype(doctype.put())) || !doctype) return source;
  // Some parsers (Wine's) drop the document type declaration of a document
  // they transform; a copy takes that loss instead of the document.
  yv::ComPtr<IXMLDOMNode> copy;
  if (SUCCEEDED(document_->cloneNode(VARIANT_TRUE, copy.put())) && copy) return copy;
  return source;
}

void CYVXmlFile::AdoptFormattedRoot(IXMLDOMNode* source, IXMLDOMDocument2* stylesheet, IXMLDOMDocument2* output) {
  yv::ComPtr<IXMLDOMElement> newRoot;
  output->get_documentElement(newRoot.put());
  if (!newRoot) {
    // Some parsers (Wine's) report success here and still leave the output
    // document empty. Their text transformation works, so the same
    // stylesheet is applied through it and the text parsed into the output
    // document. A null root must never reach putref_documentElement: some
    // parsers crash on it.
    LogText(L"The transformation gave no root element; formatting through the text output of the stylesheet");
    yv::_stringw formatted;
    HRESULT hr = source->transformNode(stylesheet, formatted.out());
    if (FAILED(hr)) {
      LogText(yv::_stringw().format(L"transformNode failed. Error Code = %d; saving the document unformatted",
                                    static_cast<int>(hr)));
      return;
    }
    VARIANT_BOOL loaded = VARIANT_FALSE;
    hr = output->loadXML(RequireBstr(StripLeadingXmlDeclarations(formatted)), &loaded);
    if (SUCCEEDED(hr) && loaded == VARIANT_TRUE) output->get_documentElement(newRoot.put());
    if (!newRoot) {
      LogText(L"The text output of the stylesheet could not be parsed; saving the document unformatted");
      return;
    }
    LogText(L"Formatted through the text output of the stylesheet");
  }
  // Formatting may change whitespace and nothing else. Some parsers' XSLT
  // (Wine's) drops entity references, for one; such a result is not used.
  yv::ComPtr<IXMLDOMElement> oldRoot;
  document_->get_documentElement(oldRoot.put());
  if (!SameXmlContent(oldRoot.get(), newRoot.get())) {
    LogText(L"The formatted document does not hold the same content as the original; saving it unformatted");
    return;
  }
  document_->putref_documentElement(newRoot.get());
  // Later selections start from the element that is now the root.
  rootElement_ = newRoot;
}
