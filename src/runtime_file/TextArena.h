#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

// Storage for many texts that live and die together: copies are carved out
// of large blocks, and everything is freed at once. An INI document holds
// hundreds of thousands of short names and values; allocating and freeing
// each one separately costs more than reading the whole file.
class TextArena {
 public:
  TextArena() = default;
  TextArena(const TextArena&) = delete;
  TextArena& operator=(const TextArena&) = delete;

  // A copy of `text` that stays where it is until Clear().
  std::wstring_view Copy(std::wstring_view text);
  // Copies of two texts, one right after the other: where `second` starts
  // is known from where `first` starts.
  const wchar_t* CopyTogether(std::wstring_view first, std::wstring_view second);

  // Takes over a block that texts already point into (a whole file's text).
  void Adopt(std::unique_ptr<wchar_t[]> block);

  void Clear();

 private:
  wchar_t* Reserve(size_t chars);

  static constexpr size_t kBlockChars = 64 * 1024;

  std::vector<std::unique_ptr<wchar_t[]>> blocks_;
  wchar_t* next_ = nullptr;
  size_t left_ = 0;
};
