// The positions of names by their hash, for the tables of names a package is made of: the name
// set (name_set.hpp), the names an archive writer has written (zip_name_table.hpp) and the
// entries of an archive read (stored_headers.hpp).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "core/base/buffer_shelf.hpp"
#include "core/base/keyed_hash.hpp"

namespace pelvane {

namespace name_index_detail {
// A slot: the low half of a name's hash, and the name's position + 1 (0: a free slot). One type
// for every index, so that they share one shelf of large tables.
struct Slot {
  std::uint32_t hash = 0;
  std::uint32_t number = 0;
};
}  // namespace name_index_detail

// The names stay with the caller, in an array in the order they came; the index holds their
// positions in a table with open addressing and linear probing, at most half full, so that a
// lookup commonly reads one slot and ends at a free one after a few. A slot keeps half of the
// name's hash beside its position, so that a probe compares the bytes of a name only when that
// half agrees. A table of many names costs a few arrays rather than a node each, and a large
// one is taken from, and given back to, this thread's shelf (buffer_shelf.hpp).
//
// `Hash` maps a name to 64 bits: the process's keyed hash, or in tests one under a fixed key.
template <class Hash = KeyedHash>
class NameIndex {
 public:
  NameIndex() = default;
  NameIndex(const NameIndex&) = default;
  NameIndex& operator=(const NameIndex&) = default;
  NameIndex(NameIndex&& other) noexcept
      : slots_(std::move(other.slots_)),
        count_(std::exchange(other.count_, 0)),
        reserved_(std::exchange(other.reserved_, 0)) {}
  NameIndex& operator=(NameIndex&& other) noexcept {
    std::swap(slots_, other.slots_);
    std::swap(count_, other.count_);
    std::swap(reserved_, other.reserved_);
    return *this;
  }
  ~NameIndex() { Shelf::give_back(std::move(slots_)); }

  // The hash every index of this `Hash` takes of `name`: a name looked up in several is hashed
  // once.
  static std::uint64_t hash_of(std::string_view name) { return Hash{}(name); }

  // How many names are indexed; the next one inserted takes this position.
  std::size_t size() const { return count_; }

  // Room for `count` names without growing. The slots are laid out when the first name comes,
  // so that an index that is never filled costs nothing.
  void reserve(std::size_t count) {
    std::size_t slots = kLeastSlots;
    while (slots < 2 * count) slots *= 2;
    reserved_ = std::max(reserved_, slots);
  }

  // Makes room for one more name and fetches the slot of `hash` into the cache, for an insertion
  // that follows other work: a package of many parts makes the table larger than the cache near
  // the processor.
  void prepare(std::uint64_t hash) {
    make_room();
    __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]);
  }

  // The position of the name of `hash` for which `same(position)` holds; none when there is none.
  template <class Same>
  std::optional<std::size_t> find(std::uint64_t hash, Same&& same) const {
    if (count_ == 0) return std::nullopt;
    const std::uint32_t number = slots_[probe(hash, same)].number;
    if (number == 0) return std::nullopt;
    return number - 1;
  }

  // Gives a name of `hash` the next position, `size()`, unless `same(position)` holds for one
  // indexed already; true when it was given.
  template <class Same>
  bool insert(std::uint64_t hash, Same&& same) {
    make_room();
    Slot& slot = slots_[probe(hash, same)];
    if (slot.number != 0) return false;
    slot = {static_cast<std::uint32_t>(hash), static_cast<std::uint32_t>(++count_)};
    return true;
  }

  // Forgets every name, keeping the room made for them.
  void clear() {
    std::fill(slots_.begin(), slots_.end(), Slot{});
    count_ = 0;
  }

 private:
  using Slot = name_index_detail::Slot;
  using Shelf = BufferShelf<std::vector<Slot>>;
  static constexpr std::size_t kLeastSlots = 16;

  // The slot that holds the name of `hash` that is `same`, or the free one where it would go.
  // At most half the slots are taken, so a probe ends.
  template <class Same>
  std::size_t probe(std::uint64_t hash, Same& same) const {
    const auto half = static_cast<std::uint32_t>(hash);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = half & mask;; at = (at + 1) & mask) {
      const Slot& slot = slots_[at];
      if (slot.number == 0 || (slot.hash == half && same(std::size_t{slot.number} - 1))) return at;
    }
  }

  void make_room() {
    if ((count_ + 1) * 2 > slots_.size())
      grow(std::max({kLeastSlots, slots_.size() * 2, reserved_}));
  }

  // Lays the names out again over `size` slots: a slot's place follows from the half of the hash
  // it keeps, since no table has 2^32 slots.
  void grow(std::size_t size) {
    std::vector<Slot> old = Shelf::take(size);
    old.assign(size, Slot{});
    old.swap(slots_);
    const std::size_t mask = size - 1;
    for (const Slot& taken : old) {
      if (taken.number == 0) continue;
      std::size_t at = taken.hash & mask;
      while (slots_[at].number != 0) at = (at + 1) & mask;
      slots_[at] = taken;
    }
    Shelf::give_back(std::move(old));
  }

  std::vector<Slot> slots_;
  std::size_t count_ = 0;
  std::size_t reserved_ = 0;  // slots to lay out when the table is first made or grows
};

}  // namespace pelvane
