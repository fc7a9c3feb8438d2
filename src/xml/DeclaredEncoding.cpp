#include "xml/DeclaredEncoding.h"

#include <objbase.h>

#include <cwchar>
#include <string>

#include "support/FileBytes.h"
#include "support/UniqueHandle.h"
#include "support/com_ptr.h"
#include "xml/ComVariant.h"

namespace {

std::wstring Lower(const yv::_stringw& text) {
  std::wstring lower(text.c_str());
  for (wchar_t& ch : lower) ch = static_cast<wchar_t>(towlower(ch));
  return lower;
}

// The number after `prefix` at the start of `name`, or 0.
UINT NumberAfter(const std::wstring& name, const wchar_t* prefix) {
  std::size_t length = wcslen(prefix);
  if (name.compare(0, length, prefix) != 0 || name.size() == length) return 0;
  UINT number = 0;
  for (std::size_t i = length; i < name.size(); ++i) {
    if (name[i] < L'0' || name[i] > L'9') return 0;
    number = number * 10 + static_cast<UINT>(name[i] - L'0');
  }
  return number;
}

std::string Encode(const std::wstring& text, UINT codePage) {
  if (codePage == 1200 || codePage == 1201) {
    std::string bytes;
    for (wchar_t ch : text) {
      char low = static_cast<char>(ch & 0xFF), high = static_cast<char>((ch >> 8) & 0xFF);
      bytes += codePage == 1200 ? std::string{low, high} : std::string{high, low};
    }
    return bytes;
  }
  // Character by character, so that one the code page lacks can become a
  // character reference instead of a question mark.
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] < 0x80) {  // every code page accepted here keeps ASCII as it is
      bytes.push_back(static_cast<char>(text[i]));
      continue;
    }
    int units = IS_HIGH_SURROGATE(text[i]) && i + 1 < text.size() && IS_LOW_SURROGATE(text[i + 1]) ? 2 : 1;
    char buffer[16];
    BOOL usedDefault = FALSE;
    bool strict = codePage != CP_UTF8 && codePage != 54936;
    int size = WideCharToMultiByte(codePage, strict ? WC_NO_BEST_FIT_CHARS : 0, &text[i], units, buffer, sizeof(buffer),
                                   nullptr, strict ? &usedDefault : nullptr);
    if (size > 0 && !usedDefault) {
      bytes.append(buffer, static_cast<std::size_t>(size));
    } else {
      unsigned long codePoint = units == 2 ? 0x10000 + ((text[i] - 0xD800UL) << 10) + (text[i + 1] - 0xDC00UL)
                                           : text[i];
      bytes += "&#" + std::to_string(codePoint) + ";";
    }
    i += static_cast<std::size_t>(units - 1);
  }
  return bytes;
}

// A character other than ASCII that `codePage` can hold, for the probe.
wchar_t SampleCharacter(UINT codePage) {
  if (codePage == 1200 || codePage == 1201) return 0x00E9;
  for (wchar_t ch = 0x00A0; ch < 0x3100; ++ch) {
    char buffer[8];
    BOOL usedDefault = FALSE;
    if (WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, &ch, 1, buffer, sizeof(buffer), nullptr, &usedDefault) >
            0 &&
        !usedDefault) {
      return ch;
    }
  }
  return 0;
}

// Whether `codePage` is installed and writes markup characters as ASCII does,
// which the byte-level rewriting relies on.
bool UsableCodePage(UINT codePage) {
  if (!IsValidCodePage(codePage)) return false;
  const wchar_t markup[] = L"<?xml =\"'/>&#;";
  char buffer[32];
  int size = WideCharToMultiByte(codePage, 0, markup, -1, buffer, sizeof(buffer), nullptr, nullptr);
  return size > 0 && std::string(buffer) == "<?xml =\"'/>&#;";
}

}  // namespace

yv::_stringw DeclaredEncodingOf(IXMLDOMNode* document) {
  yv::ComPtr<IXMLDOMNode> first;
  if (!document || FAILED(document->get_firstChild(first.put())) || !first) return yv::_stringw();
  DOMNodeType type = NODE_INVALID;
  yv::_stringw name;
  first->get_nodeType(&type);
  first->get_nodeName(name.out());
  if (type != NODE_PROCESSING_INSTRUCTION || name != L"xml") return yv::_stringw();
  yv::_stringw text;
  first->get_text(text.out());
  std::size_t at = text.find(L"encoding");
  if (at == yv::_stringw::npos) return yv::_stringw();
  std::size_t open = text.find_first_of(L"\"'", at);
  if (open == yv::_stringw::npos) return yv::_stringw();
  std::size_t close = text.find(text[open], open + 1);
  if (close == yv::_stringw::npos) return yv::_stringw();
  return text.substr(open + 1, close - open - 1);
}

UINT CodePageOfEncoding(const yv::_stringw& name) {
  std::wstring lower = Lower(name);
  struct Known {
    const wchar_t* name;
    UINT codePage;
  };
  static const Known known[] = {
      {L"utf-8", CP_UTF8},
      {L"utf8", CP_UTF8},
      {L"utf-16", 1200},
      {L"utf-16le", 1200},
      {L"ucs-2", 1200},
      {L"unicode", 1200},
      {L"iso-10646-ucs-2", 1200},
      {L"utf-16be", 1201},
      {L"unicodefffe", 1201},
      {L"us-ascii", 20127},
      {L"ascii", 20127},
      {L"latin1", 28591},
      {L"shift_jis", 932},
      {L"shift-jis", 932},
      {L"sjis", 932},
      {L"x-sjis", 932},
      {L"euc-jp", 20932},
      {L"gb2312", 936},
      {L"gbk", 936},
      {L"gb18030", 54936},
      {L"big5", 950},
      {L"euc-kr", 949},
      {L"ks_c_5601-1987", 949},
      {L"koi8-r", 20866},
      {L"koi8-u", 21866},
  };
  UINT codePage = 0;
  for (const Known& entry : known) {
    if (lower == entry.name) codePage = entry.codePage;
  }
  if (codePage == CP_UTF8 || codePage == 1200 || codePage == 1201) return codePage;
  if (!codePage) codePage = NumberAfter(lower, L"windows-");
  if (!codePage) codePage = NumberAfter(lower, L"cp-");
  if (!codePage) codePage = NumberAfter(lower, L"cp");
  if (!codePage) {
    UINT part = NumberAfter(lower, L"iso-8859-");
    codePage = part && part <= 16 ? 28590 + part : 0;
  }
  return codePage && UsableCodePage(codePage) ? codePage : 0;
}

bool ParserWritesUtf8Regardless(IXMLDOMDocument2* scratch, const yv::_stringw& encoding, UINT codePage) {
  wchar_t sample = SampleCharacter(codePage);
  if (!scratch || sample == 0) return false;
  std::wstring element = std::wstring(L"<r>") + sample + L"</r>";
  yv::_stringw text = L"<?xml version=\"1.0\" encoding=\"" + encoding + L"\"?>" + element.c_str();
  VARIANT_BOOL loaded = VARIANT_FALSE;
  if (FAILED(scratch->loadXML(RequireBstr(text), &loaded)) || loaded != VARIANT_TRUE) return false;

  yv::ComPtr<IStream> stream;
  if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()))) return false;
  if (FAILED(scratch->save(ComVariant::FromUnknown(stream.get()).get()))) return false;

  HGLOBAL memory = nullptr;
  if (FAILED(GetHGlobalFromStream(stream.get(), &memory))) return false;
  STATSTG stat{};
  stream->Stat(&stat, STATFLAG_NONAME);
  const char* data = static_cast<const char*>(GlobalLock(memory));
  if (!data) return false;
  std::string written(data, static_cast<std::size_t>(stat.cbSize.QuadPart));
  GlobalUnlock(memory);

  bool native = written.find(Encode(element, codePage)) != std::string::npos;
  bool utf8 = written.find(Encode(element, CP_UTF8)) != std::string::npos;
  return utf8 && !native;
}

bool RewriteUtf8File(const yv::_stringw& path, UINT codePage) {
  std::string bytes;
  if (!yv::ReadWholeFile(path, bytes)) return false;
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
  int length =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (length <= 0 && !bytes.empty()) return true;  // not UTF-8 after all: nothing to rewrite
  std::wstring text(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), length);

  std::string encoded = Encode(text, codePage);
  if (codePage == 1200) encoded.insert(0, "\xFF\xFE");
  if (codePage == 1201) encoded.insert(0, "\xFE\xFF");

  return yv::WriteWholeFile(path, encoded);
}
