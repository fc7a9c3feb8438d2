#include "support/FileBytes.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "support/UniqueHandle.h"

namespace yv {

namespace {

UniqueFileHandle OpenForReading(const _stringw& path) {
  return UniqueFileHandle(CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

}  // namespace

_stringw ExtendedLengthPath(const _stringw& given) {
  if (given.size() < MAX_PATH || given.rfind(L"\\\\?\\", 0) == 0) return given;
  // The prefix turns off the system's own clean-up of "..", "." and '/'.
  std::vector<wchar_t> full(GetFullPathNameW(given.c_str(), 0, nullptr, nullptr) + 1);
  DWORD length = GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  _stringw path = length > 0 && length < full.size() ? _stringw(full.data()) : given;
  if (path.rfind(L"\\\\", 0) == 0) return _stringw(L"\\\\?\\UNC\\") + _stringw(path.substr(2));
  if (path.size() > 2 && path[1] == L':' && path[2] == L'\\') return _stringw(L"\\\\?\\") + path;
  return path;
}

bool WriteWholeFile(const _stringw& path, const std::string& bytes) {
  UniqueFileHandle file(CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

bool ReadWholeFile(const _stringw& path, std::string& bytes, long long maxBytes) {
  UniqueFileHandle file = OpenForReading(path);
  LARGE_INTEGER size{};
  if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart > maxBytes) return false;
  bytes.resize(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  return bytes.empty() ||
         (ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) && read == bytes.size());
}

bool ReadFileStart(const _stringw& path, std::string& bytes, size_t count) {
  UniqueFileHandle file = OpenForReading(path);
  bytes.resize(count);
  DWORD read = 0;
  if (!file || !ReadFile(file.get(), bytes.data(), static_cast<DWORD>(count), &read, nullptr)) return false;
  bytes.resize(read);
  return true;
}

bool FlushFileToDisk(const _stringw& path) {
  UniqueFileHandle file(CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file && FlushFileBuffers(file.get());
}

bool SameFileBytes(const _stringw& left, const _stringw& right) {
  UniqueFileHandle a = OpenForReading(left), b = OpenForReading(right);
  LARGE_INTEGER sizeA{}, sizeB{};
  if (!a || !b || !GetFileSizeEx(a.get(), &sizeA) || !GetFileSizeEx(b.get(), &sizeB) ||
      sizeA.QuadPart != sizeB.QuadPart)
    return false;
  constexpr DWORD kChunk = 1 << 20;
  std::vector<char> bufferA(kChunk), bufferB(kChunk);
  for (;;) {
    DWORD readA = 0, readB = 0;
    if (!ReadFile(a.get(), bufferA.data(), kChunk, &readA, nullptr) ||
        !ReadFile(b.get(), bufferB.data(), kChunk, &readB, nullptr) || readA != readB)
      return false;
    if (readA == 0) return true;
    if (std::memcmp(bufferA.data(), bufferB.data(), readA) != 0) return false;
  }
}

}  // namespace yv
