#include "xml/SplitText.h"

namespace xmlutils {

std::vector<yv::_stringw> SplitText(const yv::_stringw& text, wchar_t delimiter, bool skipEmpty,
                                    std::size_t delimiterLength) {
  std::vector<yv::_stringw> tokens;
  std::size_t pos = 0;
  for (std::size_t found = text.find(delimiter, pos); found != yv::_stringw::npos; found = text.find(delimiter, pos)) {
    if (!(skipEmpty && found == pos)) tokens.emplace_back(text.substr(pos, found - pos));
    pos = found + delimiterLength;
  }
  // Nothing follows a final delimiter; an empty text still stands for one
  // (empty) token unless empty tokens are skipped.
  if (text.empty() ? skipEmpty : pos >= text.size()) return tokens;
  tokens.emplace_back(text.substr(pos));
  return tokens;
}

}  // namespace xmlutils
