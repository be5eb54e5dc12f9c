// A set of byte strings looked up by view, without an allocation per name.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <vector>

#include "core/base/name_hash.hpp"

namespace pelvane {

// The names in one array in the order they were first inserted, and beside it a table of their
// positions with open addressing (each probe compares a stored hash before the bytes): a set of
// thousands of names costs a few arrays rather than a node each, and a lookup commonly reads one
// slot. Iteration follows insertion order. `Name` is std::string (the set owns its names; a
// later insertion may move them) or std::string_view (the names live elsewhere, as long as the
// set is used).
template <class Name>
class NameSet {
 public:
  using value_type = Name;
  using const_iterator = typename std::vector<Name>::const_iterator;
  using iterator = const_iterator;

  NameSet() = default;
  NameSet(std::initializer_list<std::string_view> names) { insert(names); }
  template <class Iterator>
  NameSet(Iterator first, Iterator last) {
    for (; first != last; ++first) insert(std::string_view(*first));
  }

  // The hash every set takes of `name`: a name looked up in several sets is hashed once, and
  // passed with it to the calls below that take one.
  static std::size_t hash_of(std::string_view name) { return hash_entry_name(name); }

  // True when the name was not in the set yet.
  bool insert(std::string_view name) { return insert(name, hash_of(name)); }
  bool insert(std::string_view name, std::size_t hash) {
    if ((names_.size() + 1) * 2 > slots_.size())
      grow(std::max<std::size_t>(kLeastSlots, slots_.size() * 2));
    const std::size_t slot = probe(name, hash);
    if (slots_[slot] != 0) return false;
    names_.emplace_back(name);
    hashes_.push_back(hash);
    slots_[slot] = static_cast<std::uint32_t>(names_.size());
    return true;
  }
  void insert(std::initializer_list<std::string_view> names) {
    for (const std::string_view name : names) insert(name);
  }

  bool contains(std::string_view name) const { return find(name) != nullptr; }
  bool contains(std::string_view name, std::size_t hash) const {
    return find(name, hash) != nullptr;
  }
  // The set's own name equal to `name`; null when there is none.
  const Name* find(std::string_view name) const {
    return names_.empty() ? nullptr : find(name, hash_of(name));
  }
  const Name* find(std::string_view name, std::size_t hash) const {
    if (names_.empty()) return nullptr;
    const std::uint32_t at = slots_[probe(name, hash)];
    return at == 0 ? nullptr : &names_[at - 1];
  }

  // The position of `name` in insertion order; none when absent.
  std::optional<std::size_t> index_of(std::string_view name) const {
    return names_.empty() ? std::nullopt : index_of(name, hash_of(name));
  }
  std::optional<std::size_t> index_of(std::string_view name, std::size_t hash) const {
    const Name* found = find(name, hash);
    if (found == nullptr) return std::nullopt;
    return static_cast<std::size_t>(found - names_.data());
  }

  // Room for `count` names without growing.
  void reserve(std::size_t count) {
    names_.reserve(count);
    hashes_.reserve(count);
    std::size_t slots = kLeastSlots;
    while (slots < 2 * count) slots *= 2;
    if (slots > slots_.size()) grow(slots);
  }

  std::size_t size() const { return names_.size(); }
  bool empty() const { return names_.empty(); }
  const_iterator begin() const { return names_.begin(); }
  const_iterator end() const { return names_.end(); }
  // The name inserted `index`-th.
  const Name& operator[](std::size_t index) const { return names_[index]; }

  // The same names, in whatever order.
  friend bool operator==(const NameSet& a, const NameSet& b) {
    return a.size() == b.size() &&
           std::ranges::all_of(a.names_, [&](const Name& name) { return b.contains(name); });
  }

 private:
  static constexpr std::size_t kLeastSlots = 16;

  // The slot that holds `name`, or the empty one where it would go. At most half the slots are
  // taken, so a probe ends.
  std::size_t probe(std::string_view name, std::size_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
      const std::uint32_t at = slots_[slot];
      if (at == 0 || (hashes_[at - 1] == hash && std::string_view(names_[at - 1]) == name))
        return slot;
    }
  }

  void grow(std::size_t count) {
    slots_.assign(count, 0);
    const std::size_t mask = count - 1;
    for (std::size_t i = 0; i < names_.size(); ++i) {
      std::size_t slot = hashes_[i] & mask;
      while (slots_[slot] != 0) slot = (slot + 1) & mask;
      slots_[slot] = static_cast<std::uint32_t>(i + 1);
    }
  }

  std::vector<Name> names_;
  std::vector<std::size_t> hashes_;
  // One past the position in `names_` of the name each slot holds; 0: empty.
  std::vector<std::uint32_t> slots_;
};

}  // namespace pelvane
