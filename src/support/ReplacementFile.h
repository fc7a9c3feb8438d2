#pragma once

#include <windows.h>

#include "support/stringw.h"

namespace yv {

// The new contents of a file, written beside it and put in its place in one
// step. A full disk, a failed write or a process killed part-way leaves the
// target with its old bytes, never a mix; whatever is not committed is
// deleted again. The temporary file is in the target's folder so that the
// replace is a rename on one volume, and it takes the folder's permissions.
class ReplacementFile {
 public:
  // Reserves a new, empty file beside `target`; valid() says whether that
  // worked (the folder may be missing or full).
  explicit ReplacementFile(const _stringw& target);
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  bool valid() const noexcept { return !path_.empty(); }
  // Where the new bytes are to be written.
  const _stringw& path() const noexcept { return path_; }

  // Flushes the written file to the disk and puts it in place of the target
  // (keeping the target's attributes and permissions when it exists); a
  // folder or a read-only file is never replaced. False,
  // with the system's error as the thread's last error, when any step
  // failed; the target is then unchanged.
  bool Commit();

 private:
  _stringw target_;
  _stringw path_;
};

}  // namespace yv
