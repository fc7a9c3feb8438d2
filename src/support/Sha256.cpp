#include "support/Sha256.h"

#include "support/win32_exception.h"

namespace yv {

namespace {

constexpr ULONG kDigestBytes = 32;

void ThrowIfFailed(NTSTATUS status) {
  if (!BCRYPT_SUCCESS(status)) throw win32_exception(ERROR_INTERNAL_ERROR);
}

_stringw Hex(const unsigned char* bytes, std::size_t size) {
  static constexpr wchar_t kDigits[] = L"0123456789abcdef";
  _stringw text;
  for (std::size_t i = 0; i < size; ++i) {
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 0xF]);
  }
  return text;
}

}  // namespace

Sha256::Sha256() {
  ThrowIfFailed(BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_SHA256_ALGORITHM, nullptr, 0));
  NTSTATUS status = BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0);
  if (!BCRYPT_SUCCESS(status)) {
    BCryptCloseAlgorithmProvider(algorithm_, 0);
    ThrowIfFailed(status);
  }
}

Sha256::~Sha256() {
  if (hash_) BCryptDestroyHash(hash_);
  if (algorithm_) BCryptCloseAlgorithmProvider(algorithm_, 0);
}

void Sha256::Update(const void* data, std::size_t size) {
  auto bytes = static_cast<PUCHAR>(const_cast<void*>(data));
  while (size > 0) {
    ULONG chunk = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
    ThrowIfFailed(BCryptHashData(hash_, bytes, chunk, 0));
    bytes += chunk;
    size -= chunk;
  }
}

_stringw Sha256::FinishHex() {
  unsigned char digest[kDigestBytes];
  ThrowIfFailed(BCryptFinishHash(hash_, digest, kDigestBytes, 0));
  return Hex(digest, kDigestBytes);
}

_stringw Sha256::HexOf(const void* data, std::size_t size) {
  Sha256 hash;
  hash.Update(data, size);
  return hash.FinishHex();
}

_stringw RandomHexToken() {
  unsigned char bytes[16];
  ThrowIfFailed(BCryptGenRandom(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG));
  return Hex(bytes, sizeof bytes);
}

}  // namespace yv
