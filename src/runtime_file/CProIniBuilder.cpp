#include "runtime_file/CProIniBuilder.h"

#include <string>

#include "config/CXmlCfgPropertyBag.h"
#include "config/ConfigFlags.h"
#include "runtime_file/CXmlIniWriter.h"
#include "support/CallerBuffer.h"
#include "support/UniqueHandle.h"

namespace {

constexpr DWORD kFirstBufferSize = 260;

}  // namespace

CProIniBuilder::CProIniBuilder(IXmlBuildHost& host) : host_(host) {
  // Names and XPaths still carry their "##" pairs here; the installation
  // that formats them checks them.
  authoringCheck().SetEnabled(false);
}

CProIniBuilder::~CProIniBuilder() = default;

void CProIniBuilder::Build(const yv::_stringw& folder) {
  yv::_stringw destination = yv::_stringw::join(folder, kFileName);
  // The writer merges into what the file holds; an earlier build's sections
  // must not survive into this one, so the file starts empty.
  yv::UniqueFileHandle emptied(CreateFileW(destination.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
  emptied.reset();

  SetDatabase(host_.GetDatabase());
  CXmlCfgPropertyBag bag;
  // What a load that stopped early put into the bag is written as it is.
  bag.Load(*this);
  CXmlIniWriter writer(destination);
  bag.Save(writer);
}

DWORD CProIniBuilder::ResolveValue(int kind, const wchar_t* text, wchar_t* buffer, DWORD bufferSize) {
  if (!text) text = L"";
  if (kind == kKindPath) {
    // A folder keeps its "##": it is the host's text, not the project's.
    yv::_stringw input(text);
    BSTR inputText = input.bstr();
    yv::_stringw translated;
    host_.TranslatePath(inputText, translated.out());
    return CopyToCallerBuffer(translated.c_str(), buffer, bufferSize) + 1;
  }
  std::wstring result(kFirstBufferSize, L'\0');
  DWORD needed = RemoveHashPairs(text, &result[0], kFirstBufferSize);
  if (needed > kFirstBufferSize) {
    result.assign(needed, L'\0');
    RemoveHashPairs(text, &result[0], needed);
  }
  return CopyToCallerBuffer(result.c_str(), buffer, bufferSize) + 1;
}

int CProIniBuilder::GetComponentActionState(const wchar_t*) { return ComponentActionState::kLocal; }

DWORD CProIniBuilder::RemoveHashPairs(const wchar_t* text, wchar_t* buffer, DWORD bufferSize) {
  std::wstring result(text ? text : L"");
  DWORD given = static_cast<DWORD>(result.size()) + 1;
  for (size_t at = result.find(L"##"); at != std::wstring::npos; at = result.find(L"##", at)) result.erase(at, 2);
  if (buffer && result.size() + 1 <= bufferSize) {
    result.copy(buffer, result.size());
    buffer[result.size()] = L'\0';
  }
  return given;
}
