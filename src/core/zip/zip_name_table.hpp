// The set of entry names an archive writer has written (zip_writer.cpp), and the hash of entry
// names that it shares with the name index of stored headers.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "core/base/buffer_shelf.hpp"

namespace pelvane {

// A 64-bit hash of an entry name, eight bytes at a time, every byte taking part: the names of a
// package differ mostly in a number near their end. The last word is the name's last eight bytes
// (overlapping the one before), and a final mix spreads every bit over both halves: tables take
// their slot from the low bits and may keep the high half as a tag.
inline std::uint64_t hash_entry_name(std::string_view name) {
  constexpr std::uint64_t kOdd = 0x9E3779B97F4A7C15u;
  std::uint64_t hash = name.size() * kOdd;
  const auto mix = [&](std::uint64_t word) {
    hash = (hash ^ word) * kOdd;
    hash ^= hash >> 29;
  };
  std::uint64_t word = 0;
  if (name.size() < 8) {
    for (const char c : name) word = word << 8 | static_cast<unsigned char>(c);
    mix(word);
  } else {
    std::size_t at = 0;
    for (; name.size() - at > 8; at += 8) {
      std::memcpy(&word, name.data() + at, 8);
      mix(word);
    }
    std::memcpy(&word, name.data() + name.size() - 8, 8);
    mix(word);
  }
  hash *= 0xFF51AFD7ED558CCDu;
  return hash ^ hash >> 32;
}

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
