#pragma once

#include <vector>

#include "support/stringw.h"

namespace xmlutils {

// Cuts `text` at every `delimiter` into tokens, in order. Adjacent delimiters
// give an empty token (unless `skipEmpty`), a leading delimiter gives an empty
// first token, a final delimiter gives nothing after it, and an empty text
// gives one empty token. `delimiterLength` is how far to step past a found
// delimiter.
std::vector<yv::_stringw> SplitText(const yv::_stringw& text, wchar_t delimiter, bool skipEmpty,
                                    std::size_t delimiterLength);

}  // namespace xmlutils
