#pragma once

#include <vector>

#include "xml/XmlTextTokens.h"

namespace xmlutils {

// Lines up the pieces of a file (`before`) with those of the changed
// document (`after`): pieces that occur once in each, unchanged, anchor the
// two in order, and each stretch between anchors is lined up with the
// fewest pieces dropped and added (Myers' difference). `match[j]` is the
// index in `before` of the piece that after[j] is, or -1 for an added one.
// False when more than `maxEdits` pieces differ within one stretch: the
// cost grows with their square.
bool AlignTokens(const std::vector<XmlToken>& before, const std::vector<XmlToken>& after, long maxEdits,
                 std::vector<long>& match);

}  // namespace xmlutils
