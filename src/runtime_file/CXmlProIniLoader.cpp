#include "runtime_file/CXmlProIniLoader.h"

#include <vector>

#include "support/CallerBuffer.h"

namespace {

// Owns the BSTR that travels through the host's substitution, whichever one
// the host left in it.
class SubstitutedText {
 public:
  explicit SubstitutedText(const yv::_stringw& text)
      : text_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~SubstitutedText() { SysFreeString(text_); }
  SubstitutedText(const SubstitutedText&) = delete;
  SubstitutedText& operator=(const SubstitutedText&) = delete;
  BSTR* in_out() { return &text_; }
  yv::_stringw value() const { return text_ ? yv::_stringw(text_, SysStringLen(text_)) : yv::_stringw(); }

 private:
  BSTR text_;
};

}  // namespace

CXmlProIniLoader::CXmlProIniLoader(const yv::_stringw& path) { SetPath(path); }

CXmlProIniLoader::~CXmlProIniLoader() = default;

template <class Function>
Function CXmlProIniLoader::HostFunction(const char* name) const {
  if (!context_ || !module_) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
}

DWORD CXmlProIniLoader::CopyWhole(const yv::_stringw& result, wchar_t* buffer, DWORD bufferSize) {
  DWORD needed = static_cast<DWORD>(result.size()) + 1;
  if (!buffer || needed > bufferSize) return needed;
  CopyToCallerBuffer(result.c_str(), buffer, bufferSize);
  return bufferSize;
}

DWORD CXmlProIniLoader::ResolveValue(int kind, const wchar_t* text, wchar_t* buffer, DWORD bufferSize) {
  if (!text) text = L"";
  if (kind == kKindXPath) return ResolveXPath(text, buffer, bufferSize);
  if (kind == kKindPath) return ResolvePath(text, buffer, bufferSize);
  return ResolveText(text, buffer, bufferSize);
}

DWORD CXmlProIniLoader::ResolveXPath(const wchar_t* text, wchar_t* buffer, DWORD bufferSize) {
  // Each step may be a string of its own, so the steps are resolved one by
  // one. A "/" goes before a step only once something stands before it: the
  // empty step of a leading "/" (or "//") adds nothing, while an empty step
  // between two others keeps its "//"; a final "/" ends the last step.
  yv::_stringw expression(text);
  yv::_stringw result;
  size_t start = 0;
  while (start < expression.size() || start == 0) {
    size_t end = expression.find(L'/', start);
    if (end == yv::_stringw::npos) end = expression.size();
    yv::_stringw step = ResolveStep(yv::_stringw(expression.substr(start, end - start)));
    if (!result.empty()) result += L"/";
    result += step;
    if (end >= expression.size()) break;
    start = end + 1;
  }
  return CopyWhole(result, buffer, bufferSize);
}

yv::_stringw CXmlProIniLoader::ResolveStep(const yv::_stringw& step) {
  // Its own buffers: the caller's buffer may be one the base reader also
  // resolves into.
  std::vector<wchar_t> buffer(kFirstStepChars, L'\0');
  DWORD needed = ResolveValue(kKindText, step.c_str(), buffer.data(), kFirstStepChars);
  if (needed > kFirstStepChars) {
    buffer.assign(needed, L'\0');
    ResolveValue(kKindText, step.c_str(), buffer.data(), needed);
  }
  buffer.back() = L'\0';
  return yv::_stringw(buffer.data());
}

DWORD CXmlProIniLoader::ResolveText(const wchar_t* text, wchar_t* buffer, DWORD bufferSize) {
  if (!text) text = L"";
  CopyToCallerBuffer(text, buffer, bufferSize);
  auto loadString = HostFunction<LoadStringFunction>(kLoadStringName);
  // Without the module the copy stands; a text longer than the buffer asks
  // for its own size, so that it is read whole, as the installer-hosted
  // reader reads it, rather than cut.
  if (!loadString) return CopyWhole(text, buffer, bufferSize);

  std::vector<wchar_t> identified(bufferSize ? bufferSize : 1, L'\0');
  int found = loadString(context_, text, identified.data(), bufferSize);
  if (found > 0) return static_cast<DWORD>(found);
  // A text that names no string is taken as it is.
  yv::_stringw source(found == 0 ? identified.data() : text);
  yv::_stringw substituted;
  SubstituteText(source, substituted);
  return CopyWhole(substituted, buffer, bufferSize);
}

DWORD CXmlProIniLoader::ResolvePath(const wchar_t* text, wchar_t* buffer, DWORD bufferSize) {
  yv::_stringw substituted;
  SubstituteText(text ? text : L"", substituted);
  CopyToCallerBuffer(substituted.c_str(), buffer, bufferSize);
  // Whole: the caller's buffer size. Cut: the size that takes it whole, so
  // that the caller asks once more.
  return CopyWhole(substituted, buffer, bufferSize);
}

DWORD CXmlProIniLoader::SubstituteText(const yv::_stringw& input, yv::_stringw& output) {
  output = input;
  if (auto substitute = HostFunction<TextSubSubstituteFunction>(kTextSubSubstituteName)) {
    SubstitutedText text(input);
    substitute(context_, text.in_out());
    output = text.value();
  }
  return static_cast<DWORD>(output.size()) + 1;
}
