#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace yv {

// The texts that must never appear in a log line (the values of the
// installer properties that MsiHiddenProperties names, and the texts that
// hold them), and the masking of a line. Every occurrence of a text becomes
// kMask. Occurrences that overlap, such as a text inside a longer one, become
// one mask, so no part of either shows beside it.
//
// Works on standard strings, so that tools outside the module can mask their
// own output the same way.
class SecretMask {
 public:
  static constexpr std::wstring_view kMask = L"**********";

  // An empty text hides nothing and is ignored, as is one already held.
  void Add(std::wstring_view text);
  // Adds the value of each property that `names` lists (names separated by
  // semicolons, blanks around them ignored), as `valueOf(name)` gives it.
  template <class ValueOf>
  void AddPropertyValues(std::wstring_view names, ValueOf valueOf);
  void Clear() noexcept { texts_.clear(); }
  bool empty() const noexcept { return texts_.empty(); }

  // Whether `text` contains any of the texts.
  bool FoundIn(std::wstring_view text) const;
  // `line` with every occurrence of every text masked.
  std::wstring Apply(std::wstring_view line) const;

 private:
  std::vector<std::wstring> texts_;
};

template <class ValueOf>
void SecretMask::AddPropertyValues(std::wstring_view names, ValueOf valueOf) {
  while (!names.empty()) {
    size_t end = names.find(L';');
    std::wstring_view name = names.substr(0, end);
    names = end == std::wstring_view::npos ? std::wstring_view() : names.substr(end + 1);
    size_t first = name.find_first_not_of(L" \t");
    if (first == std::wstring_view::npos) continue;
    name = name.substr(first, name.find_last_not_of(L" \t") - first + 1);
    Add(valueOf(std::wstring(name)));
  }
}

}  // namespace yv
