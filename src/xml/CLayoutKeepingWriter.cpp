#include "xml/CLayoutKeepingWriter.h"

#include <algorithm>

#include "xml/DocumentTokens.h"
#include "xml/TokenAlignment.h"
#include "xml/XmlName.h"

namespace xmlutils {

namespace {

// Beyond this many differing pieces between two unchanged ones the save is
// left to the parser: lining them up costs the square of the number.
constexpr long kMostEdits = 2000;

}  // namespace

// The text being written: the file's own where a piece is kept, escaped
// new text in the file's line ends and encoding where it is not.
class CLayoutKeepingWriter::Output {
 public:
  explicit Output(const XmlFileText& file) : file_(file), text_(file.text()) {}

  void Copy(size_t begin, size_t end) { out_.append(text_, begin, end - begin); }

  // New markup: its line ends are the file's.
  void Markup(const std::wstring& markup) {
    for (wchar_t c : markup) {
      if (c == L'\n') {
        out_ += file_.lineEnd();
      } else {
        out_.push_back(c);
      }
    }
  }

  // New characters of text (quote 0) or of an attribute value in `quote`.
  void Escaped(const std::wstring& value, wchar_t quote) {
    for (size_t i = 0; i < value.size(); ++i) {
      wchar_t c = value[i];
      unsigned long codePoint = c;
      bool pair = IS_HIGH_SURROGATE(c) && i + 1 < value.size() && IS_LOW_SURROGATE(value[i + 1]);
      if (pair) codePoint = 0x10000 + ((c - 0xD800UL) << 10) + (value[i + 1] - 0xDC00UL);
      if (c == L'&') {
        out_ += L"&amp;";
      } else if (c == L'<') {
        out_ += L"&lt;";
      } else if (c == L'>' && !quote) {
        out_ += L"&gt;";
      } else if (quote && c == quote) {
        out_ += quote == L'"' ? L"&quot;" : L"&apos;";
      } else if (c == L'\r' || (quote && (c == L'\n' || c == L'\t'))) {
        out_ += L"&#" + std::to_wstring(codePoint) + L";";
      } else if (c == L'\n') {
        out_ += file_.lineEnd();
      } else if (!file_.CanHold(codePoint)) {
        out_ += L"&#" + std::to_wstring(codePoint) + L";";
      } else {
        out_.push_back(c);
      }
      if (pair && file_.CanHold(codePoint)) out_.push_back(value[i + 1]);
      if (pair) ++i;
    }
  }

  void Attribute(const XmlAttributeToken& attribute, wchar_t quote) {
    out_ += L" " + attribute.name + L"=" + quote;
    Escaped(attribute.value, quote);
    out_.push_back(quote);
  }

  std::wstring& text() { return out_; }

 private:
  const XmlFileText& file_;
  const std::wstring& text_;
  std::wstring out_;
};

bool CLayoutKeepingWriter::Read(const std::string& bytes, std::wstring& why) {
  std::string again;
  if (!file_.Decode(bytes, why)) return false;
  // Kept pieces are written as characters again: that must give the very
  // bytes they came from.
  if (!file_.Encode(file_.text(), again) || again != bytes) {
    why = L"its bytes do not read back the same in its encoding";
    return false;
  }
  if (!TokenizeXmlText(file_.text(), tokens_, trailer_, why)) return false;
  // New elements are written as the file writes its own: the quote of its
  // first attribute, `<a />` or `<a/>` as its first empty element.
  const std::wstring& text = file_.text();
  bool quoteSeen = false, tailSeen = false;
  for (const XmlToken& token : tokens_) {
    if (token.kind != XmlTokenKind::kStart) continue;
    if (!quoteSeen && !token.attributes.empty()) {
      newQuote_ = token.attributes.front().quote;
      quoteSeen = true;
    }
    if (!tailSeen && token.empty) {
      emptyTail_ = text.compare(token.tailBegin, token.end - token.tailBegin, L" />") == 0 ? L" />" : L"/>";
      tailSeen = true;
    }
    if (quoteSeen && tailSeen) break;
  }
  return true;
}

namespace {

const XmlAttributeToken* Find(const std::vector<XmlAttributeToken>& attributes, const std::wstring& name) {
  for (const XmlAttributeToken& attribute : attributes)
    if (attribute.name == name) return &attribute;
  return nullptr;
}

// The attribute `original` has now; a namespace declaration the document
// no longer lists is still there. Some parsers (Wine's) drop declarations
// from the document when an element or text below them changes; the module
// never removes one on purpose, and a declaration too many is harmless.
const XmlAttributeToken* Kept(const XmlToken& changed, const XmlAttributeToken& original) {
  const XmlAttributeToken* now = Find(changed.attributes, original.name);
  return now || !IsNamespaceDeclaration(original.name) ? now : &original;
}

// The namespace declarations in scope where the text is being written: a
// name whose namespace the written text does not declare gets a
// declaration. The document's own record cannot say: some parsers (Wine's)
// move declarations to the elements that use them.
class NamespaceScope {
 public:
  NamespaceScope() { declared_.emplace_back(L"xml", L"http://www.w3.org/XML/1998/namespace"); }

  // Opens the element of `now`, written with `written` attributes; returns
  // the declarations it needs on top of them.
  std::vector<XmlAttributeToken> Open(const XmlToken& now, const std::vector<XmlAttributeToken>& written) {
    marks_.push_back(declared_.size());
    for (const XmlAttributeToken& attribute : written)
      if (IsNamespaceDeclaration(attribute.name))
        declared_.emplace_back(attribute.name.size() > 5 ? attribute.name.substr(6) : L"", attribute.value);
    std::vector<XmlAttributeToken> needed;
    for (const auto& [prefix, uri] : now.namespaces) {
      if (InScope(prefix) == uri) continue;
      XmlAttributeToken declaration;
      declaration.name = prefix.empty() ? L"xmlns" : L"xmlns:" + prefix;
      declaration.value = uri;
      needed.push_back(declaration);
      declared_.emplace_back(prefix, uri);
    }
    return needed;
  }

  // Drops from the attributes of a new element the declarations the text
  // already makes where it goes: the parser may give an element it made a
  // declaration of its own.
  void DropDeclared(std::vector<XmlAttributeToken>& attributes) const {
    attributes.erase(std::remove_if(attributes.begin(), attributes.end(),
                                    [this](const XmlAttributeToken& attribute) {
                                      return IsNamespaceDeclaration(attribute.name) &&
                                             InScope(attribute.name.size() > 5 ? attribute.name.substr(6) : L"") ==
                                                 attribute.value;
                                    }),
                     attributes.end());
  }

  void Close() {
    if (marks_.empty()) return;
    declared_.resize(marks_.back());
    marks_.pop_back();
  }

 private:
  std::wstring InScope(const std::wstring& prefix) const {
    for (auto it = declared_.rbegin(); it != declared_.rend(); ++it)
      if (it->first == prefix) return it->second;
    return std::wstring();
  }

  std::vector<std::pair<std::wstring, std::wstring>> declared_;
  std::vector<size_t> marks_;
};

bool SameAttributes(const XmlToken& original, const XmlToken& changed) {
  for (const XmlAttributeToken& attribute : original.attributes) {
    const XmlAttributeToken* now = Kept(changed, attribute);
    if (!now || now->value != attribute.value) return false;
  }
  for (const XmlAttributeToken& attribute : changed.attributes)
    if (!Find(original.attributes, attribute.name)) return false;
  return true;
}

}  // namespace

bool CLayoutKeepingWriter::Write(IXMLDOMDocument* document, std::string& bytes, std::wstring& why) const {
  std::vector<XmlToken> changed;
  std::vector<long> match;
  if (!ReadDocumentTokens(document, changed, why)) return false;
  if (!AlignTokens(tokens_, changed, kMostEdits, match)) {
    why = L"it changed in too many places";
    return false;
  }
  const std::wstring& text = file_.text();
  Output out(file_);
  // For each open element, whether its start tag closed it already.
  std::vector<bool> closedItself;
  NamespaceScope scope;
  for (size_t j = 0; j < changed.size(); ++j) {
    const XmlToken& now = changed[j];
    const XmlToken* was = match[j] >= 0 ? &tokens_[static_cast<size_t>(match[j])] : nullptr;
    switch (now.kind) {
      case XmlTokenKind::kStart: {
        bool closes = now.empty && (!was || was->empty);
        closedItself.push_back(closes);
        std::vector<XmlAttributeToken> written = now.attributes;
        scope.DropDeclared(written);
        if (was)
          for (const XmlAttributeToken& old : was->attributes)
            if (!Find(written, old.name) && Kept(now, old)) written.push_back(old);
        std::vector<XmlAttributeToken> declarations = scope.Open(now, written);
        if (closes) scope.Close();
        if (!was) {
          out.Markup(L"<" + now.name);
          for (const XmlAttributeToken& attribute : written) out.Attribute(attribute, newQuote_);
          for (const XmlAttributeToken& attribute : declarations) out.Attribute(attribute, newQuote_);
          out.Markup(closes ? emptyTail_ : L">");
          break;
        }
        if (closes == was->empty && declarations.empty() && SameAttributes(*was, now)) {
          out.Copy(was->lead, was->end);
          break;
        }
        // Attribute by attribute: kept ones as they were, a changed value
        // between its own quotes, a dropped one with the blank before it,
        // new ones after the last in its quotes.
        out.Copy(was->lead, was->nameEnd);
        wchar_t quote = was->attributes.empty() ? L'"' : was->attributes.back().quote;
        for (const XmlAttributeToken& old : was->attributes) {
          const XmlAttributeToken* kept = Kept(now, old);
          if (!kept) continue;
          if (kept->value == old.value) {
            out.Copy(old.begin, old.end);
            continue;
          }
          out.Copy(old.begin, old.valueBegin);
          out.Escaped(kept->value, old.quote);
          out.Copy(old.valueEnd, old.end);
        }
        for (const XmlAttributeToken& attribute : written)
          if (!Find(was->attributes, attribute.name)) out.Attribute(attribute, quote);
        for (const XmlAttributeToken& attribute : declarations) out.Attribute(attribute, quote);
        if (closes == was->empty) {
          out.Copy(was->tailBegin, was->end);
        } else {
          // `<a/>` that gained content opens instead: `<a>`.
          size_t slash = was->end - 2;
          while (slash > was->tailBegin && (text[slash - 1] == L' ' || text[slash - 1] == L'\t')) --slash;
          out.Copy(was->tailBegin, slash);
          out.Markup(L">");
        }
        break;
      }
      case XmlTokenKind::kEnd: {
        if (closedItself.empty()) {
          why = L"its elements do not nest";
          return false;
        }
        bool closed = closedItself.back();
        closedItself.pop_back();
        if (closed) break;
        scope.Close();
        if (was && !was->empty) {
          out.Copy(was->lead, was->end);
        } else {
          out.Markup(L"</" + now.name + L">");
        }
        break;
      }
      default:
        if (was) {
          out.Copy(was->lead, was->end);
        } else if (now.kind == XmlTokenKind::kText) {
          out.Escaped(now.value, 0);
        } else if (now.kind == XmlTokenKind::kCData) {
          out.Markup(L"<![CDATA[" + now.value + L"]]>");
        } else if (now.kind == XmlTokenKind::kComment) {
          out.Markup(L"<!--" + now.value + L"-->");
        } else if (now.kind == XmlTokenKind::kInstruction) {
          out.Markup(L"<?" + now.name + (now.value.empty() ? L"" : L" " + now.value) + L"?>");
        } else {
          why = L"its declaration or document type changed";
          return false;
        }
    }
  }
  out.Copy(trailer_, text.size());
  if (!file_.Encode(out.text(), bytes)) {
    why = L"a new comment or instruction holds characters its encoding lacks";
    return false;
  }
  return true;
}

}  // namespace xmlutils
