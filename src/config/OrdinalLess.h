#pragma once

#include <string_view>
#include <type_traits>

// Orders texts by their UTF-16 code units taken as unsigned numbers, a proper
// prefix first. This is the order in which the engine processes records and
// in which the runtime data file lists its sections and keys, so it must not
// depend on locale or case. Transparent, so maps keyed by the module's
// strings can be searched with a plain pointer or view without a copy.
struct OrdinalLess {
  using is_transparent = void;

  // wchar_t is an unsigned 16-bit type on Windows, so the standard traits
  // already compare code units as unsigned numbers.
  static_assert(sizeof(wchar_t) == 2 && std::is_unsigned_v<wchar_t>,
                "ordinal order relies on unsigned UTF-16 code units");

  bool operator()(std::wstring_view left, std::wstring_view right) const noexcept { return left.compare(right) < 0; }
};
