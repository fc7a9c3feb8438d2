#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

// Finds the position of a name in a list kept elsewhere, by hashing. Only
// hashes and positions are stored; the caller lends the names for the
// comparison, so an index over a hundred thousand names stays small.
class NameIndex {
 public:
  static constexpr uint32_t kNotFound = 0xFFFFFFFFu;

  NameIndex() = default;

  // `nameAt(position)` gives the name recorded at a position.
  template <class NameAt>
  uint32_t Find(std::wstring_view name, NameAt nameAt) const {
    if (slots_.empty()) return kNotFound;
    uint32_t hash = Hash(name);
    size_t mask = slots_.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
      const Slot& slot = slots_[i];
      if (slot.position == kNotFound) return kNotFound;
      if (slot.hash == hash && nameAt(slot.position) == name) return slot.position;
    }
  }
  // Records `name` at `position`; the name must not be in the index yet.
  void Insert(std::wstring_view name, uint32_t position);
  void Clear();
  bool empty() const noexcept { return count_ == 0; }

  static uint32_t Hash(std::wstring_view name);

 private:
  struct Slot {
    uint32_t hash = 0;
    uint32_t position = kNotFound;
  };

  void Grow();

  std::vector<Slot> slots_;
  size_t count_ = 0;
};
