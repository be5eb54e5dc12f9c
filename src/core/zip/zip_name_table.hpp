// The set of entry names an archive writer has written (zip_writer.cpp).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "core/base/buffer_shelf.hpp"
#include "core/base/name_hash.hpp"

namespace pelvane {

// The names of the entries an archive writer has written, each where it lies in the central
// directory being built: a hash table with open addressing, so that a package of many parts
// costs no allocation per entry. A slot holds a name's hash beside its number, so that a probe
// rarely looks further.
class ZipNameTable {
 public:
  ZipNameTable() = default;
  ZipNameTable(ZipNameTable&&) = default;
  ZipNameTable& operator=(ZipNameTable&&) = default;
  ~ZipNameTable() {
    BufferShelf<std::vector<Name>>::give_back(std::move(names_));
    BufferShelf<std::vector<Slot>>::give_back(std::move(slots_));
  }

  // The hash of a name about to be inserted; its slot is fetched into the cache meanwhile, as a
  // package of many parts makes the table larger than the cache near the processor.
  std::uint32_t hash(std::string_view name) {
    if ((names_.size() + 1) * 2 > slots_.size())
      grow(std::max<std::size_t>({64, slots_.size() * 2, reserved_slots_}));
    const auto hash = static_cast<std::uint32_t>(hash_entry_name(name));
    __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]);
    return hash;
  }
  // Notes the name that lies at `at` in `central`, of that hash; false when it is there already.
  bool insert(std::string_view central, std::size_t at, std::size_t size, std::uint32_t hash) {
    const std::string_view name = central.substr(at, size);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
      if (slots_[slot].number == 0) {
        names_.push_back({at, size});
        slots_[slot] = {hash, static_cast<std::uint32_t>(names_.size())};
        return true;
      }
      if (slots_[slot].hash != hash) continue;
      const Name& other = names_[slots_[slot].number - 1];
      if (central.substr(other.at, other.size) == name) return false;
    }
  }

  // Forgets every name, keeping the room made for them.
  void clear() {
    names_.clear();
    std::fill(slots_.begin(), slots_.end(), Slot{});
  }

  // Makes room for `count` names at once; the slots are laid out when the first name comes, so
  // that a writer whose names are all known distinct never fills them.
  void reserve(std::size_t count) {
    if (names_.empty()) {
      names_ = BufferShelf<std::vector<Name>>::take(count);
    } else {
      names_.reserve(count);
    }
    std::size_t slots = 64;
    while (slots < 2 * count) slots *= 2;
    reserved_slots_ = std::max(reserved_slots_, slots);
  }

 private:
  struct Name {
    std::size_t at;
    std::size_t size;
  };
  struct Slot {
    std::uint32_t hash = 0;
    std::uint32_t number = 0;  // in `names_`, from 1; 0: free
  };
  void grow(std::size_t size) {
    std::vector<Slot> old = BufferShelf<std::vector<Slot>>::take(size);
    old.resize(size);
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& taken : old) {
      if (taken.number == 0) continue;
      std::size_t slot = taken.hash & mask;
      while (slots_[slot].number != 0) slot = (slot + 1) & mask;
      slots_[slot] = taken;
    }
    BufferShelf<std::vector<Slot>>::give_back(std::move(old));
  }
  std::vector<Name> names_;
  std::vector<Slot> slots_;
  std::size_t reserved_slots_ = 0;
};

}  // namespace pelvane
