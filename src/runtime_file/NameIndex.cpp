#include "runtime_file/NameIndex.h"

uint32_t NameIndex::Hash(std::wstring_view name) {
  // FNV-1a over the code units: names differ mostly in their last digits.
  uint32_t hash = 2166136261u;
  for (wchar_t ch : name) {
    hash ^= static_cast<uint32_t>(ch);
    hash *= 16777619u;
  }
  return hash;
}

void NameIndex::Insert(std::wstring_view name, uint32_t position) {
  // At most half full, so probes stay short and always meet an empty slot.
  if ((count_ + 1) * 2 > slots_.size()) Grow();
  uint32_t hash = Hash(name);
  size_t mask = slots_.size() - 1;
  size_t i = hash & mask;
  while (slots_[i].position != kNotFound) i = (i + 1) & mask;
  slots_[i] = Slot{hash, position};
  ++count_;
}

void NameIndex::Grow() {
  std::vector<Slot> old;
  old.swap(slots_);
  slots_.resize(old.empty() ? 16 : old.size() * 2);
  size_t mask = slots_.size() - 1;
  for (const Slot& slot : old) {
    if (slot.position == kNotFound) continue;
    size_t i = slot.hash & mask;
    while (slots_[i].position != kNotFound) i = (i + 1) & mask;
    slots_[i] = slot;
  }
}

void NameIndex::Clear() {
  slots_.clear();
  count_ = 0;
}
