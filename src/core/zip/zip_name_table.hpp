// The set of entry names an archive writer has written (zip_writer.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/base/buffer_shelf.hpp"
#include "core/base/name_index.hpp"

namespace pelvane {

// The names of the entries an archive writer has written, each where it lies in the central
// directory being built, indexed by hash (name_index.hpp): a package of many parts costs no
// allocation per entry.
class ZipNameTable {
 public:
  ZipNameTable() = default;
  ZipNameTable(ZipNameTable&&) = default;
  ZipNameTable& operator=(ZipNameTable&&) = default;
  ~ZipNameTable() { BufferShelf<std::vector<Name>>::give_back(std::move(names_)); }

  // The hash of a name about to be inserted; its slot is fetched into the cache meanwhile.
  std::uint64_t hash(std::string_view name) {
    const std::uint64_t hash = NameIndex<>::hash_of(name);
    index_.prepare(hash);
    return hash;
  }
  // Notes the name that lies at `at` in `central`, of that hash; false when it is there already.
  bool insert(std::string_view central, std::size_t at, std::size_t size, std::uint64_t hash) {
    const std::string_view name = central.substr(at, size);
    const bool added = index_.insert(hash, [&](std::size_t other) {
      return central.substr(names_[other].at, names_[other].size) == name;
    });
    if (added) names_.push_back({at, size});
    return added;
  }

  // Forgets every name, keeping the room made for them.
  void clear() {
    names_.clear();
    index_.clear();
  }

  // Makes room for `count` names at once; the slots are laid out when the first name comes, so
  // that a writer whose names are all known distinct never fills them.
  void reserve(std::size_t count) {
    if (names_.empty()) {
      names_ = BufferShelf<std::vector<Name>>::take(count);
    } else {
      names_.reserve(count);
    }
    index_.reserve(count);
  }

 private:
  struct Name {
    std::size_t at;
    std::size_t size;
  };
  std::vector<Name> names_;
  NameIndex<> index_;
};

}  // namespace pelvane
