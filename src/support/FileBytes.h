#pragma once

#include <string>

#include "support/stringw.h"

namespace yv {

// `path` as the file system takes it at any length: an absolute path of
// MAX_PATH characters or more gets the \\?\ prefix (\\?\UNC\ for a share),
// without which Windows stops at MAX_PATH; shorter ones stay as they are.
_stringw ExtendedLengthPath(const _stringw& path);

// Writes `bytes` as the whole new content of the file at `path`, creating
// or truncating it. False when any byte could not be written.
bool WriteWholeFile(const _stringw& path, const std::string& bytes);

// Reads the whole file at `path` into `bytes`. False when it cannot be
// opened or read in full, or holds more than `maxBytes`.
bool ReadWholeFile(const _stringw& path, std::string& bytes, long long maxBytes = 0x7FFFFFFF);

// Reads up to the first `count` bytes of the file at `path`. False when it
// cannot be opened or read.
bool ReadFileStart(const _stringw& path, std::string& bytes, size_t count);

// Writes what the system still holds of the file at `path` to the disk.
bool FlushFileToDisk(const _stringw& path);

// Whether the files at `left` and `right` hold the same bytes; false when
// either cannot be read.
bool SameFileBytes(const _stringw& left, const _stringw& right);

}  // namespace yv
