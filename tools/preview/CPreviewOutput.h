#pragma once

#include <windows.h>

#include <string>

// The preview's standard output and error, written as UTF-8 bytes, with
// "\n" line breaks whether they go to a console, a file or a pipe. File
// contents (already bytes) pass through unchanged.
class CPreviewOutput {
 public:
  CPreviewOutput();

  void Line(const std::wstring& text) { Bytes(ToUtf8(text) + "\n"); }
  void Bytes(const std::string& bytes) { Write(out_, bytes); }
  void ErrorLine(const std::wstring& text) { Write(err_, ToUtf8(text) + "\n"); }

  static std::string ToUtf8(const std::wstring& text);

 private:
  static void Write(HANDLE handle, const std::string& bytes);

  HANDLE out_;
  HANDLE err_;
};
