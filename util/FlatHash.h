// A hash table for the passes over millions of points: 64-bit keys and small values stored
// in one array (open addressing, linear probing), no allocation per entry. Keys are ids
// widened without sign, pointers, or hashes; the key ~0 is reserved.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace zevrin {

inline std::uint64_t MixBits(std::uint64_t h) {
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDULL;
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53ULL;
  return h ^ (h >> 33);
}

// The key of a 32-bit id: every id has its own, none is the reserved one.
inline std::uint64_t IdKey(std::int32_t id) { return static_cast<std::uint32_t>(id); }
inline std::uint64_t PointerKey(const void* p) {
  return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(p));
}

template <class Value>
class FlatHash {
 public:
  static constexpr std::uint64_t kNoKey = ~std::uint64_t{0};

  // Room for `expected` entries before the first growth.
  explicit FlatHash(std::size_t expected = 0) { rehash(expected); }

  std::size_t size() const { return used_; }

  Value* Find(std::uint64_t key) {
    for (std::size_t s = MixBits(key) & mask_;; s = (s + 1) & mask_) {
      Slot& slot = slots_[s];
      if (slot.key == key) return &slot.value;
      if (slot.key == kNoKey) return nullptr;
    }
  }
  const Value* Find(std::uint64_t key) const { return const_cast<FlatHash*>(this)->Find(key); }

  // Asks memory now for the slot where `key` is looked for first: a hint for a look-up a
  // little later, which then waits less. Nothing is read through it.
  void Prefetch(std::uint64_t key) const { __builtin_prefetch(&slots_[MixBits(key) & mask_]); }

  // The value under `key`, made from `value` when the key is new; and whether it is new.
  std::pair<Value*, bool> TryEmplace(std::uint64_t key, const Value& value) {
    if (2 * (used_ + 1) > slots_.size()) rehash(used_ + 1);
    for (std::size_t s = MixBits(key) & mask_;; s = (s + 1) & mask_) {
      Slot& slot = slots_[s];
      if (slot.key == key) return {&slot.value, false};
      if (slot.key == kNoKey) {
        slot.key = key;
        slot.value = value;
        ++used_;
        return {&slot.value, true};
      }
    }
  }
  Value& operator[](std::uint64_t key) { return *TryEmplace(key, Value{}).first; }

  // Calls f(key, value) for every entry, in no particular order.
  template <class F>
  void ForEach(F&& f) const {
    for (const Slot& slot : slots_)
      if (slot.key != kNoKey) f(slot.key, slot.value);
  }

 private:
  struct Slot {
    std::uint64_t key = kNoKey;
    Value value{};
  };

  // At most half full, so that probes stay short.
  void rehash(std::size_t entries) {
    std::size_t n = 16;
    while (n < 2 * entries) n *= 2;
    if (n < 2 * slots_.size()) n = 2 * slots_.size();  // growing doubles at least
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(n, Slot{});
    mask_ = n - 1;
    used_ = 0;
    for (const Slot& slot : old) {
      if (slot.key == kNoKey) continue;
      std::size_t s = MixBits(slot.key) & mask_;
      while (slots_[s].key != kNoKey) s = (s + 1) & mask_;
      slots_[s] = slot;
      ++used_;
    }
  }

  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::size_t used_ = 0;
};

}  // namespace zevrin
