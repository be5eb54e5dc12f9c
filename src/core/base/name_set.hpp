// A set of byte strings looked up by view, without an allocation per name.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <vector>

#include "core/base/name_index.hpp"

namespace pelvane {

// The names in one array in the order they were first inserted, and beside it their positions by
// hash (name_index.hpp). Iteration follows insertion order. `Name` is std::string (the set owns
// its names; a later insertion may move them) or std::string_view (the names live elsewhere, as
// long as the set is used). `Hash` as for the index.
template <class Name, class Hash = KeyedHash>
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
  static std::size_t hash_of(std::string_view name) { return Index::hash_of(name); }

  // True when the name was not in the set yet.
  bool insert(std::string_view name) { return insert(name, hash_of(name)); }
  bool insert(std::string_view name, std::size_t hash) {
    if (!index_.insert(hash, same_as(name))) return false;
    names_.emplace_back(name);
    hashes_.push_back(hash);
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
    const auto at = index_.find(hash, same_as(name));
    return at ? &names_[*at] : nullptr;
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
    index_.reserve(count);
  }

  std::size_t size() const { return names_.size(); }
  bool empty() const { return names_.empty(); }
  const_iterator begin() const { return names_.begin(); }
  const_iterator end() const { return names_.end(); }
  // The name inserted `index`-th.
  const Name& operator[](std::size_t index) const { return names_[index]; }
  // Its `hash_of`, kept from its insertion: a name that goes on to another table of this hash
  // (another set, or the index of an archive's entries) is not hashed again.
  std::size_t hash_at(std::size_t index) const { return hashes_[index]; }

  // The same names, in whatever order.
  friend bool operator==(const NameSet& a, const NameSet& b) {
    return a.size() == b.size() &&
           std::ranges::all_of(a.names_, [&](const Name& name) { return b.contains(name); });
  }

 private:
  using Index = NameIndex<Hash>;

  // Whether the name at a position is `name`.
  auto same_as(std::string_view name) const {
    return [this, name](std::size_t at) { return std::string_view(names_[at]) == name; };
  }

  std::vector<Name> names_;
  std::vector<std::size_t> hashes_;  // of `names_`, position for position
  Index index_;
};

}  // namespace pelvane
