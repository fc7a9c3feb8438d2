#include "support/SecretMask.h"

#include <algorithm>
#include <utility>

namespace yv {

void SecretMask::Add(std::wstring_view text) {
  if (text.empty() || std::find(texts_.begin(), texts_.end(), text) != texts_.end()) return;
  texts_.emplace_back(text);
}

bool SecretMask::FoundIn(std::wstring_view text) const {
  return std::any_of(texts_.begin(), texts_.end(),
                     [&](const std::wstring& secret) { return text.find(secret) != std::wstring_view::npos; });
}

// Every occurrence is found in the line as it came, never in a line already
// partly masked: a text that happens to match asterisks, or the end of one
// mask and what follows it, can neither grow a mask nor leave a rest of a
// text standing.
std::wstring SecretMask::Apply(std::wstring_view line) const {
  std::vector<std::pair<size_t, size_t>> found;  // [begin, end) of each occurrence
  for (const std::wstring& secret : texts_) {
    for (size_t at = line.find(secret); at != std::wstring_view::npos; at = line.find(secret, at + 1))
      found.emplace_back(at, at + secret.size());
  }
  if (found.empty()) return std::wstring(line);
  std::sort(found.begin(), found.end());
  std::wstring masked;
  size_t shown = 0;  // the line up to here is written out
  for (size_t i = 0; i < found.size();) {
    size_t begin = found[i].first, end = found[i].second;
    for (++i; i < found.size() && found[i].first < end; ++i) end = std::max(end, found[i].second);
    masked.append(line.substr(shown, begin - shown)).append(kMask);
    shown = end;
  }
  return masked.append(line.substr(shown));
}

}  // namespace yv
