#pragma once

#include <map>

#include "config/OrdinalLess.h"
#include "support/stringw.h"
#include "xml/XmlChange.h"

class CIniFile;

// What the installations of one product changed in its XML files with the
// file flag 0x10, kept until the product's uninstall has put back what they
// found: one human-readable INI file per product, {ProductCode}.restore.ini
// in the private state folder, with a section per XML file key that lists
// the file's changes oldest first. Every text is written in double quotes
// with its '%', CR and LF as %25, %0D and %0A; a missing key is a value that
// was not there (an absent attribute, no text).
//
// The uninstall may come years later and runs as the local system, so the
// record lives where only the administrators may write, and a record that is
// a link or that others may write is refused.
class CRestoreRecord {
 public:
  // Whether `text` is a ProductCode: a GUID in braces. Nothing else names a
  // record, so no path can be steered through it.
  static bool IsProductCode(const yv::_stringw& text);
  // The record of `productCode` in `folder`; letters in upper case, so every
  // spelling of the code names one file.
  static yv::_stringw PathFor(const yv::_stringw& folder, const yv::_stringw& productCode);

  // Reads the record at `path` when there is one. 0, or RuntimeFileResult's
  // kStateFolderUntrusted for a record that is a link or may be written by
  // users, or kCannotRead; each is logged.
  int Open(const yv::_stringw& path);
  const yv::_stringw& path() const noexcept { return path_; }

  // The changes recorded for the file of `fileKey`; none when it has no
  // record.
  XmlChangeList Changes(const yv::_stringw& fileKey) const;
  // Replaces the record of the file at `filePath` with `changes`.
  void SetChanges(const yv::_stringw& fileKey, const yv::_stringw& filePath, const XmlChangeList& changes);
  // The key under which the file at `filePath` is recorded (paths compared
  // as the file system does, without case), or an empty text.
  yv::_stringw FileKeyOf(const yv::_stringw& filePath) const;
  // Drops the record of one file; true when it had one.
  bool Forget(const yv::_stringw& fileKey);

  // Writes the whole record in one step, or deletes it once no file has a
  // record left. 0, or RuntimeFileResult::kCannotWrite with the record as it
  // was.
  int Store() const;

 private:
  struct FileRecord {
    yv::_stringw path;
    XmlChangeList changes;
  };
  void Read(const CIniFile& ini, const std::wstring& section);

  yv::_stringw path_;
  std::map<yv::_stringw, FileRecord, OrdinalLess> files_;
};
