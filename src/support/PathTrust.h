#pragma once

#include <windows.h>

#include "support/stringw.h"

// The checks that keep an elevated action from being turned against the
// machine through the file system: a link planted where the package names a
// file, and a folder or file that someone other than the machine's
// administrators could have written.
namespace yv {

enum class PathKind {
  kPlainFile,  // a file or folder that is reached without any link
  kMissing,    // nothing there, and no link on the way to where it would be
  kRedirected  // a symbolic link or junction at the name, or on the way to it
};

// What stands at `path`. A missing path is followed up its folders, so a
// junction planted in place of a folder that is still to be written into
// counts as a redirection too. Short (8.3) and long spellings of one path
// are the same path.
PathKind InspectPath(const _stringw& path);

// True when the object's owner is the local system, the administrators or
// the account this process runs as, and no one else may write to, delete or
// re-permission it. An object without a DACL is open to all: false.
bool IsTrustedObject(HANDLE handle);

// Whether `path` is a file reached without any link whose owner and DACL
// IsTrustedObject accepts.
bool IsTrustedFile(const _stringw& path);

// Whether this process runs elevated or as the local system: then its
// private state belongs where only the machine's administrators may write.
bool RunsElevatedOrAsLocalSystem();

// Creates `path` as a folder that only the local system, the administrators
// and this process's account may use, or checks that the folder already there
// is such a folder and no link. False when it is not, or cannot be made.
bool EnsurePrivateFolder(const _stringw& path);

// Deletes the file at `path` itself: never the target of a link planted
// there, and nothing when the path is reached through a link. False when
// nothing was deleted.
bool DeleteFileNoFollow(const _stringw& path);

// Whether `path` lies directly in `folder` (no subfolder) and its name starts
// with `prefix` and ends with `extension`, letters in either case.
bool IsFileInFolder(const _stringw& path, const _stringw& folder, const wchar_t* prefix, const wchar_t* extension);

}  // namespace yv
