#pragma once

#include "support/stringw.h"

namespace yv {

// Whether the files at `left` and `right` hold the same bytes; false when
// either cannot be read.
bool SameFileBytes(const _stringw& left, const _stringw& right);

}  // namespace yv
