#include "runtime_file/RuntimeDataReference.h"

#include <cwctype>

namespace {

constexpr wchar_t kSeparator = L'|';
constexpr size_t kDigestDigits = 64;
constexpr size_t kTokenDigits = 32;

bool IsHex(const yv::_stringw& text, size_t digits) {
  if (text.size() != digits) return false;
  for (wchar_t ch : text) {
    if (!std::iswxdigit(ch)) return false;
  }
  return true;
}

}  // namespace

yv::_stringw RuntimeDataReference::Format() const { return path + kSeparator + digest + kSeparator + token; }

bool RuntimeDataReference::Parse(const yv::_stringw& text, RuntimeDataReference& out) {
  size_t second = text.rfind(kSeparator);
  if (second == yv::_stringw::npos || second == 0) return false;
  size_t first = text.rfind(kSeparator, second - 1);
  if (first == yv::_stringw::npos || first == 0) return false;
  RuntimeDataReference reference;
  reference.path = text.substr(0, first);
  reference.digest = text.substr(first + 1, second - first - 1);
  reference.token = text.substr(second + 1);
  if (reference.path.find(kSeparator) != yv::_stringw::npos || !IsHex(reference.digest, kDigestDigits) ||
      !IsHex(reference.token, kTokenDigits))
    return false;
  out = std::move(reference);
  return true;
}
