#pragma once

#include <windows.h>
#include <bcrypt.h>

#include <cstddef>

#include "support/stringw.h"

namespace yv {

// A SHA-256 digest computed by the system's cryptography (CNG), fed in
// pieces. The runtime data file's integrity rests on it: the costing action
// hashes the bytes it writes and the elevated actions refuse a file whose
// bytes hash differently.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(const void* data, std::size_t size);
  // The digest as 64 lowercase hexadecimal digits; the object is spent.
  _stringw FinishHex();

  static _stringw HexOf(const void* data, std::size_t size);

 private:
  BCRYPT_ALG_HANDLE algorithm_ = nullptr;
  BCRYPT_HASH_HANDLE hash_ = nullptr;
};

// 128 random bits from the system's generator as 32 hexadecimal digits.
_stringw RandomHexToken();

}  // namespace yv
