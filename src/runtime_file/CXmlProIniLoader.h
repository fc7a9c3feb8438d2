#pragma once

#include <windows.h>
#include <oleauto.h>

#include "runtime_file/CXmlIniLoader.h"
#include "support/stringw.h"

// The reader of "XMLRT.ini" for projects without an installer database at
// run time. The file's texts may name strings of the host's string table
// and hold the host's substitution markers; a host module resolves both
// through two functions it exports. Without a module, or without a context
// value for it, texts are taken as stored; XPaths are always rebuilt step by
// step, each step resolved on its own.
class CXmlProIniLoader : public CXmlIniLoader {
 public:
  // The host module's functions, looked up by these names each time they are
  // needed.
  //
  // "__LoadString": writes into `buffer` (`bufferSize` characters) the string
  // that `text` identifies and returns 0; returns the size it needs when the
  // buffer is too small, or a value below 0 when `text` identifies nothing.
  using LoadStringFunction = int(__stdcall*)(void* context, const wchar_t* text, wchar_t* buffer, DWORD bufferSize);
  // "TextSubSubstitute": replaces *text (freeing the old BSTR) with its
  // substituted form. The result is not examined.
  using TextSubSubstituteFunction = HRESULT(__stdcall*)(void* context, BSTR* text);
  static constexpr const char* kLoadStringName = "__LoadString";
  static constexpr const char* kTextSubSubstituteName = "TextSubSubstitute";

  explicit CXmlProIniLoader(const yv::_stringw& path);
  ~CXmlProIniLoader() override;

  // The module whose functions resolve texts, and the value handed to them.
  // Neither is owned. Without a context nothing is resolved.
  void SetHostModule(HMODULE module, void* context) {
    module_ = module;
    context_ = context;
  }

  DWORD ResolveValue(int kind, const wchar_t* text, wchar_t* buffer, DWORD bufferSize) override;
  // The string `text` identifies (or `text` itself), substituted.
  virtual DWORD ResolveText(const wchar_t* text, wchar_t* buffer, DWORD bufferSize);
  // `text` substituted; folders never name strings.
  virtual DWORD ResolvePath(const wchar_t* text, wchar_t* buffer, DWORD bufferSize);
  // `input` through the module's substitution, or unchanged; returns the
  // output's length plus one.
  virtual DWORD SubstituteText(const yv::_stringw& input, yv::_stringw& output);

 private:
  DWORD ResolveXPath(const wchar_t* text, wchar_t* buffer, DWORD bufferSize);
  // One step of an XPath as a text value: 260 characters first, then as
  // many as the resolution asks for.
  yv::_stringw ResolveStep(const yv::_stringw& step);
  static constexpr DWORD kFirstStepChars = 260;
  // `result` into the caller's buffer when it fits whole: the size of the
  // buffer then, else the size the result needs (the caller asks again).
  static DWORD CopyWhole(const yv::_stringw& result, wchar_t* buffer, DWORD bufferSize);
  template <class Function>
  Function HostFunction(const char* name) const;

  HMODULE module_ = nullptr;
  void* context_ = nullptr;
};
