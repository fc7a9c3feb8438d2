#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// An append-only sequence of records kept in blocks: records never move once
// added. The first blocks are small and each is twice the one before, up to
// kMaxBlock records, so a small document takes little memory and a large one
// is made of blocks small enough to come from the heap's reusable memory
// (fresh pages cost more to touch than the records cost to fill).
template <class T>
class ChunkedPool {
 public:
  static constexpr uint32_t kFirstBlockShift = 6;  // 64 records
  static constexpr uint32_t kMaxBlockShift = 12;   // 4096 records

  uint32_t Add(T record) {
    uint32_t index = static_cast<uint32_t>(size_);
    Slot slot = Locate(index);
    if (slot.block == blocks_.size()) blocks_.emplace_back(new T[BlockSize(slot.block)]);
    blocks_[slot.block][slot.offset] = std::move(record);
    ++size_;
    return index;
  }
  T& operator[](uint32_t i) {
    Slot slot = Locate(i);
    return blocks_[slot.block][slot.offset];
  }
  const T& operator[](uint32_t i) const {
    Slot slot = Locate(i);
    return blocks_[slot.block][slot.offset];
  }
  size_t size() const noexcept { return size_; }
  void Clear() {
    blocks_.clear();
    size_ = 0;
  }

 private:
  struct Slot {
    size_t block;
    uint32_t offset;
  };
  static constexpr uint32_t kDoublingBlocks = kMaxBlockShift - kFirstBlockShift + 1;

  // Block 0 holds 64 records, block k (1..6) holds 64 << (k - 1), so the
  // first seven blocks hold 4096; every later block holds 4096.
  static uint32_t BlockSize(size_t block) {
    if (block == 0) return 1u << kFirstBlockShift;
    if (block < kDoublingBlocks) return 1u << (kFirstBlockShift + block - 1);
    return 1u << kMaxBlockShift;
  }
  static Slot Locate(uint32_t i) {
    if (i >= (1u << kMaxBlockShift)) {
      return Slot{kDoublingBlocks + (i >> kMaxBlockShift) - 1, i & ((1u << kMaxBlockShift) - 1)};
    }
    uint32_t group = i >> kFirstBlockShift;
    if (group == 0) return Slot{0, i};
    uint32_t block = 32 - static_cast<uint32_t>(__builtin_clz(group));  // 1 .. 6
    return Slot{block, i - (1u << (kFirstBlockShift + block - 1))};
  }

  std::vector<std::unique_ptr<T[]>> blocks_;
  size_t size_ = 0;
};
