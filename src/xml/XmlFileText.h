#pragma once

#include <windows.h>

#include <string>

namespace xmlutils {

// The text of an XML file as characters, with what it takes to write
// changed text back in the same bytes: the byte-order mark and the
// encoding (a UTF or a Windows code page).
class XmlFileText {
 public:
  // Reads `bytes` by their byte-order mark, else by the encoding their
  // declaration names, else as UTF-8. False (with `why`) when the bytes do
  // not decode or name an encoding that has no code page here.
  bool Decode(const std::string& bytes, std::wstring& why);
  // `text` in the file's encoding, behind its byte-order mark. A character
  // the encoding cannot hold must have been written as a reference before
  // (see CanHold); false when one is left.
  bool Encode(const std::wstring& text, std::string& bytes) const;
  // Whether the encoding can hold the code point `codePoint`.
  bool CanHold(unsigned long codePoint) const;

  const std::wstring& text() const { return text_; }
  // The line end the file starts with: what new lines are written with.
  const wchar_t* lineEnd() const { return lineEnd_; }

 private:
  std::wstring text_;
  std::string byteOrderMark_;
  UINT codePage_ = CP_UTF8;
  const wchar_t* lineEnd_ = L"\n";
};

}  // namespace xmlutils
