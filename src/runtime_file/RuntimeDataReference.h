#pragma once

#include "support/stringw.h"

// What the costing action hands every later action in its data: where the
// runtime data file is, the SHA-256 of the bytes costing wrote there, and a
// random token that names this installation's private state. The installer
// keeps an action's data in its own protected script, so a user who can
// change the file cannot change what it must hash to.
struct RuntimeDataReference {
  yv::_stringw path;
  yv::_stringw digest;  // 64 hexadecimal digits
  yv::_stringw token;   // 32 hexadecimal digits

  // "path|digest|token": '|' cannot occur in a Windows path.
  yv::_stringw Format() const;
  // False when `text` is not three such parts, as for a bare path.
  static bool Parse(const yv::_stringw& text, RuntimeDataReference& out);
};
