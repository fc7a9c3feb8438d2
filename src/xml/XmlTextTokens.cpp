#include "xml/XmlTextTokens.h"

#include <cwchar>

namespace xmlutils {

namespace {

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

bool IsNameEnd(wchar_t c) { return IsSpace(c) || c == L'>' || c == L'/' || c == L'=' || c == L'?'; }

void AppendCodePoint(std::wstring& out, unsigned long codePoint) {
  if (codePoint >= 0x10000) {
    out.push_back(static_cast<wchar_t>(0xD800 + ((codePoint - 0x10000) >> 10)));
    out.push_back(static_cast<wchar_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF)));
  } else {
    out.push_back(static_cast<wchar_t>(codePoint));
  }
}

// The characters `raw` stands for: line ends read as LF (and, in an
// attribute value, every line end and tab as a blank), then the predefined
// entities and character references resolved. False for a reference to any
// other entity.
bool Resolve(const std::wstring& raw, bool attribute, std::wstring& out) {
  out.clear();
  out.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    wchar_t c = raw[i];
    if (c == L'\r') {
      if (i + 1 < raw.size() && raw[i + 1] == L'\n') ++i;
      c = L'\n';
    }
    if (attribute && (c == L'\n' || c == L'\t')) c = L' ';
    if (c != L'&') {
      out.push_back(c);
      continue;
    }
    size_t semicolon = raw.find(L';', i);
    if (semicolon == std::wstring::npos) return false;
    std::wstring name = raw.substr(i + 1, semicolon - i - 1);
    i = semicolon;
    static const std::pair<const wchar_t*, wchar_t> predefined[] = {
        {L"lt", L'<'}, {L"gt", L'>'}, {L"amp", L'&'}, {L"quot", L'"'}, {L"apos", L'\''}};
    bool known = false;
    for (auto [entity, ch] : predefined) {
      if (name == entity) {
        out.push_back(ch);
        known = true;
      }
    }
    if (known) continue;
    if (name.size() < 2 || name[0] != L'#') return false;
    bool hex = name[1] == L'x';
    wchar_t* end = nullptr;
    unsigned long codePoint = std::wcstoul(name.c_str() + (hex ? 2 : 1), &end, hex ? 16 : 10);
    if (*end != L'\0' || codePoint == 0 || codePoint > 0x10FFFF) return false;
    AppendCodePoint(out, codePoint);
  }
  return true;
}

}  // namespace

std::wstring TrimmedInstructionData(const std::wstring& data) {
  size_t first = 0, last = data.size();
  while (first < last && IsSpace(data[first])) ++first;
  while (last > first && IsSpace(data[last - 1])) --last;
  return data.substr(first, last - first);
}

namespace {

class Tokenizer {
 public:
  Tokenizer(const std::wstring& text, std::vector<XmlToken>& tokens) : text_(text), tokens_(tokens) {}

  bool Run(size_t& trailer, std::wstring& why) {
    size_t lead = 0;
    while (at_ < text_.size()) {
      if (text_[at_] != L'<') {
        size_t next = text_.find(L'<', at_);
        if (next == std::wstring::npos) next = text_.size();
        if (depth_ == 0) {
          // Outside the root element only blanks may stand between pieces.
          for (size_t i = at_; i < next; ++i)
            if (!IsSpace(text_[i])) return Fail(why, L"it has text outside its root element");
          at_ = next;
          continue;
        }
        XmlToken& token = Add(XmlTokenKind::kText, lead, next);
        if (!Resolve(text_.substr(token.begin, next - token.begin), false, token.value))
          return Fail(why, L"it refers to entities declared in its document type");
        at_ = next;
      } else if (!Markup(lead, why)) {
        return false;
      }
      lead = at_;
    }
    if (depth_ != 0) return Fail(why, L"an element is not closed");
    trailer = lead;
    return true;
  }

 private:
  XmlToken& Add(XmlTokenKind kind, size_t lead, size_t end) {
    XmlToken& token = tokens_.emplace_back();
    token.kind = kind;
    token.lead = depth_ == 0 ? lead : at_;
    token.begin = at_;
    token.end = end;
    return token;
  }

  bool Fail(std::wstring& why, const wchar_t* reason) {
    why = reason;
    return false;
  }

  // A piece from `open` to `close` (both included in the piece).
  bool Delimited(XmlTokenKind kind, size_t lead, const wchar_t* open, const wchar_t* close, std::wstring& why) {
    size_t start = at_ + wcslen(open), stop = text_.find(close, start);
    if (stop == std::wstring::npos) return Fail(why, L"a comment, CDATA section or instruction is not closed");
    XmlToken& token = Add(kind, lead, stop + wcslen(close));
    size_t valueStart = start;
    if (kind == XmlTokenKind::kInstruction) {
      while (valueStart < stop && !IsSpace(text_[valueStart])) ++valueStart;
      token.name = text_.substr(start, valueStart - start);
      if (token.name == L"xml") token.kind = XmlTokenKind::kDeclaration;
    }
    token.value = text_.substr(valueStart, stop - valueStart);
    LineEndsAsLf(token.value);
    if (kind == XmlTokenKind::kInstruction) token.value = TrimmedInstructionData(token.value);
    at_ = token.end;
    return true;
  }

  static void LineEndsAsLf(std::wstring& value) {
    std::wstring out;
    for (size_t i = 0; i < value.size(); ++i) {
      if (value[i] == L'\r' && i + 1 < value.size() && value[i + 1] == L'\n') continue;
      out.push_back(value[i] == L'\r' ? L'\n' : value[i]);
    }
    value.swap(out);
  }

  // The document type, its internal subset skipped over quoted text and
  // comments. Declared entities stop the reading: their references would
  // have to be followed into the declarations.
  bool Doctype(size_t lead, std::wstring& why) {
    size_t i = at_ + 9;
    int brackets = 0;
    for (; i < text_.size(); ++i) {
      wchar_t c = text_[i];
      if (c == L'"' || c == L'\'') {
        i = text_.find(c, i + 1);
        if (i == std::wstring::npos) break;
      } else if (text_.compare(i, 4, L"<!--") == 0) {
        i = text_.find(L"-->", i);
        if (i == std::wstring::npos) break;
      } else if (text_.compare(i, 8, L"<!ENTITY") == 0) {
        return Fail(why, L"its document type declares entities");
      } else if (c == L'[') {
        ++brackets;
      } else if (c == L']') {
        --brackets;
      } else if (c == L'>' && brackets == 0) {
        Add(XmlTokenKind::kDoctype, lead, i + 1);
        at_ = i + 1;
        return true;
      }
    }
    return Fail(why, L"its document type is not closed");
  }

  bool Markup(size_t lead, std::wstring& why) {
    if (text_.compare(at_, 2, L"<?") == 0) return Delimited(XmlTokenKind::kInstruction, lead, L"<?", L"?>", why);
    if (text_.compare(at_, 4, L"<!--") == 0) return Delimited(XmlTokenKind::kComment, lead, L"<!--", L"-->", why);
    if (text_.compare(at_, 9, L"<![CDATA[") == 0)
      return Delimited(XmlTokenKind::kCData, lead, L"<![CDATA[", L"]]>", why);
    if (text_.compare(at_, 9, L"<!DOCTYPE") == 0) return Doctype(lead, why);
    if (text_.compare(at_, 2, L"</") == 0) {
      size_t close = text_.find(L'>', at_);
      if (close == std::wstring::npos || depth_ == 0) return Fail(why, L"an end tag does not fit");
      XmlToken& token = Add(XmlTokenKind::kEnd, lead, close + 1);
      --depth_;
      size_t nameEnd = at_ + 2;
      while (nameEnd < close && !IsSpace(text_[nameEnd])) ++nameEnd;
      token.name = text_.substr(at_ + 2, nameEnd - at_ - 2);
      at_ = close + 1;
      return true;
    }
    return StartTag(lead, why);
  }

  bool StartTag(size_t lead, std::wstring& why) {
    XmlToken token;
    token.kind = XmlTokenKind::kStart;
    token.lead = depth_ == 0 ? lead : at_;
    token.begin = at_;
    size_t i = at_ + 1;
    while (i < text_.size() && !IsNameEnd(text_[i])) ++i;
    token.name = text_.substr(at_ + 1, i - at_ - 1);
    token.nameEnd = token.tailBegin = i;
    for (;;) {
      size_t blank = i;
      while (i < text_.size() && IsSpace(text_[i])) ++i;
      if (i >= text_.size()) return Fail(why, L"a start tag is not closed");
      if (text_[i] == L'>' || text_.compare(i, 2, L"/>") == 0) {
        token.empty = text_[i] == L'/';
        token.end = i + (token.empty ? 2 : 1);
        break;
      }
      XmlAttributeToken attribute;
      attribute.begin = blank;
      size_t nameStart = i;
      while (i < text_.size() && !IsNameEnd(text_[i])) ++i;
      attribute.name = text_.substr(nameStart, i - nameStart);
      while (i < text_.size() && IsSpace(text_[i])) ++i;
      if (i >= text_.size() || text_[i] != L'=' || attribute.name.empty())
        return Fail(why, L"an attribute has no value");
      ++i;
      while (i < text_.size() && IsSpace(text_[i])) ++i;
      if (i >= text_.size() || (text_[i] != L'"' && text_[i] != L'\'')) return Fail(why, L"an attribute is not quoted");
      attribute.quote = text_[i];
      attribute.valueBegin = i + 1;
      attribute.valueEnd = text_.find(attribute.quote, attribute.valueBegin);
      if (attribute.valueEnd == std::wstring::npos) return Fail(why, L"an attribute is not closed");
      if (!Resolve(text_.substr(attribute.valueBegin, attribute.valueEnd - attribute.valueBegin), true,
                   attribute.value))
        return Fail(why, L"an attribute refers to entities declared in its document type");
      i = attribute.end = token.tailBegin = attribute.valueEnd + 1;
      token.attributes.push_back(std::move(attribute));
    }
    at_ = token.end;
    bool empty = token.empty;
    std::wstring name = token.name;
    tokens_.push_back(std::move(token));
    if (empty) {
      // The end of a self-closing element is a piece with no text of its own.
      XmlToken& end = Add(XmlTokenKind::kEnd, at_, at_);
      end.name = name;
      end.empty = true;
    } else {
      ++depth_;
    }
    return true;
  }

  const std::wstring& text_;
  std::vector<XmlToken>& tokens_;
  size_t at_ = 0;
  int depth_ = 0;
};

}  // namespace

bool SameXmlPiece(const XmlToken& left, const XmlToken& right) {
  if (left.kind != right.kind) return false;
  switch (left.kind) {
    case XmlTokenKind::kDeclaration:
    case XmlTokenKind::kDoctype:
      return true;
    case XmlTokenKind::kStart:
    case XmlTokenKind::kEnd:
      return left.name == right.name;
    case XmlTokenKind::kInstruction:
      return left.name == right.name && left.value == right.value;
    default:
      return left.value == right.value;
  }
}

bool TokenizeXmlText(const std::wstring& text, std::vector<XmlToken>& tokens, size_t& trailer, std::wstring& why) {
  tokens.clear();
  return Tokenizer(text, tokens).Run(trailer, why);
}

}  // namespace xmlutils
