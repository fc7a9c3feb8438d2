#pragma once

#include <string>

#include "support/stringw.h"

namespace yv {

// Reads the whole file at `path` into `bytes`. False when it cannot be
// opened or read in full, or holds more than `maxBytes`.
bool ReadWholeFile(const _stringw& path, std::string& bytes, long long maxBytes = 0x7FFFFFFF);

// Writes what the system still holds of the file at `path` to the disk.
bool FlushFileToDisk(const _stringw& path);

// Whether the files at `left` and `right` hold the same bytes; false when
// either cannot be read.
bool SameFileBytes(const _stringw& left, const _stringw& right);

}  // namespace yv
