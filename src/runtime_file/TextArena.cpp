#include "runtime_file/TextArena.h"

#include <cwchar>

wchar_t* TextArena::Reserve(size_t chars) {
  if (chars > left_) {
    // A text larger than a quarter block gets a block of its own, so the
    // current block keeps its room for the short texts that follow.
    if (chars > kBlockChars / 4) {
      blocks_.emplace_back(new wchar_t[chars]);
      return blocks_.back().get();
    }
    blocks_.emplace_back(new wchar_t[kBlockChars]);
    next_ = blocks_.back().get();
    left_ = kBlockChars;
  }
  wchar_t* at = next_;
  next_ += chars;
  left_ -= chars;
  return at;
}

std::wstring_view TextArena::Copy(std::wstring_view text) {
  if (text.empty()) return std::wstring_view();
  wchar_t* at = Reserve(text.size());
  std::wmemcpy(at, text.data(), text.size());
  return std::wstring_view(at, text.size());
}

const wchar_t* TextArena::CopyTogether(std::wstring_view first, std::wstring_view second) {
  size_t total = first.size() + second.size();
  if (total == 0) return L"";
  wchar_t* at = Reserve(total);
  if (!first.empty()) std::wmemcpy(at, first.data(), first.size());
  if (!second.empty()) std::wmemcpy(at + first.size(), second.data(), second.size());
  return at;
}

void TextArena::Adopt(std::unique_ptr<wchar_t[]> block) {
  // Inserted before the current block, which keeps serving copies.
  blocks_.insert(blocks_.begin(), std::move(block));
}

void TextArena::Clear() {
  blocks_.clear();
  next_ = nullptr;
  left_ = 0;
}
