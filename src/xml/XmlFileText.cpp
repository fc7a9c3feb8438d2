#include "xml/XmlFileText.h"

#include "xml/DeclaredEncoding.h"

namespace xmlutils {

namespace {

constexpr UINT kUtf16Le = 1200, kUtf16Be = 1201;

std::wstring FromUtf16(const std::string& bytes, size_t start, bool bigEndian) {
  std::wstring text;
  text.reserve((bytes.size() - start) / 2);
  for (size_t at = start; at + 1 < bytes.size(); at += 2) {
    auto first = static_cast<unsigned char>(bytes[at]), second = static_cast<unsigned char>(bytes[at + 1]);
    text.push_back(static_cast<wchar_t>(bigEndian ? (first << 8) | second : (second << 8) | first));
  }
  return text;
}

// The encoding named in the declaration at the start of `bytes` (read as
// ASCII, which every encoding accepted without a mark writes markup in).
std::wstring DeclaredEncodingName(const std::string& bytes) {
  if (bytes.compare(0, 5, "<?xml") != 0) return L"";
  size_t end = bytes.find("?>");
  size_t at = bytes.find("encoding", 0);
  if (end == std::string::npos || at == std::string::npos || at > end) return L"";
  size_t open = bytes.find_first_of("\"'", at);
  size_t close = open == std::string::npos ? open : bytes.find(bytes[open], open + 1);
  if (close == std::string::npos || close > end) return L"";
  return std::wstring(bytes.begin() + static_cast<long>(open) + 1, bytes.begin() + static_cast<long>(close));
}

}  // namespace

bool XmlFileText::Decode(const std::string& bytes, std::wstring& why) {
  size_t start = 0;
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    codePage_ = CP_UTF8;
    start = 3;
  } else if (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0) {
    codePage_ = bytes[0] == '\xFF' ? kUtf16Le : kUtf16Be;
    start = 2;
  } else {
    std::wstring name = DeclaredEncodingName(bytes);
    codePage_ = name.empty() ? CP_UTF8 : CodePageOfEncoding(name.c_str());
    if (codePage_ == 0 || codePage_ == kUtf16Le || codePage_ == kUtf16Be) {
      why = L"its encoding '" + name + L"' is not one the module writes byte for byte";
      return false;
    }
  }
  byteOrderMark_ = bytes.substr(0, start);
  if (codePage_ == kUtf16Le || codePage_ == kUtf16Be) {
    text_ = FromUtf16(bytes, start, codePage_ == kUtf16Be);
  } else if (bytes.size() > start) {
    const char* data = bytes.data() + start;
    int length = static_cast<int>(bytes.size() - start);
    int size = MultiByteToWideChar(codePage_, MB_ERR_INVALID_CHARS, data, length, nullptr, 0);
    text_.assign(static_cast<size_t>(size > 0 ? size : 0), L'\0');
    if (size <= 0 || MultiByteToWideChar(codePage_, MB_ERR_INVALID_CHARS, data, length, text_.data(), size) != size) {
      why = L"its bytes are not valid in its encoding";
      return false;
    }
  }
  size_t lineEnd = text_.find_first_of(L"\r\n");
  lineEnd_ = lineEnd != std::wstring::npos && text_[lineEnd] == L'\r' ? L"\r\n" : L"\n";
  return true;
}

bool XmlFileText::Encode(const std::wstring& text, std::string& bytes) const {
  bytes = byteOrderMark_;
  if (codePage_ == kUtf16Le || codePage_ == kUtf16Be) {
    bytes.reserve(bytes.size() + text.size() * 2);
    for (wchar_t ch : text) {
      char low = static_cast<char>(ch & 0xFF), high = static_cast<char>((ch >> 8) & 0xFF);
      bytes += codePage_ == kUtf16Le ? std::string{low, high} : std::string{high, low};
    }
    return true;
  }
  if (text.empty()) return true;
  BOOL usedDefault = FALSE;
  bool strict = codePage_ != CP_UTF8;
  DWORD flags = strict ? WC_NO_BEST_FIT_CHARS : 0;
  int length = static_cast<int>(text.size());
  int size = WideCharToMultiByte(codePage_, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return false;
  std::string encoded(static_cast<size_t>(size), '\0');
  if (WideCharToMultiByte(codePage_, flags, text.data(), length, encoded.data(), size, nullptr,
                          strict ? &usedDefault : nullptr) != size ||
      usedDefault)
    return false;
  bytes += encoded;
  return true;
}

bool XmlFileText::CanHold(unsigned long codePoint) const {
  if (codePoint < 0x80 || codePage_ == CP_UTF8 || codePage_ == kUtf16Le || codePage_ == kUtf16Be) return true;
  wchar_t units[2];
  int count = 1;
  if (codePoint >= 0x10000) {
    units[0] = static_cast<wchar_t>(0xD800 + ((codePoint - 0x10000) >> 10));
    units[1] = static_cast<wchar_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF));
    count = 2;
  } else {
    units[0] = static_cast<wchar_t>(codePoint);
  }
  char buffer[16];
  BOOL usedDefault = FALSE;
  return WideCharToMultiByte(codePage_, WC_NO_BEST_FIT_CHARS, units, count, buffer, sizeof(buffer), nullptr,
                             &usedDefault) > 0 &&
         !usedDefault;
}

}  // namespace xmlutils
