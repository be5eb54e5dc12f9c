// Refilling a list that held an earlier result, so that summarising many similar slides reuses
// the storage of the previous one's lists and texts instead of allocating it again.
#pragma once

#include <cstddef>
#include <vector>

namespace pelvane {

// The elements of a list written in order over what it held before: an element already there
// is handed out again as it is, to be overwritten whole by the caller, and keeps its storage;
// `finish` cuts the list to the elements handed out.
template <class T>
class ListRefill {
 public:
  explicit ListRefill(std::vector<T>& list) : list_(&list) {}

  T& next() {
    if (count_ == list_->size()) list_->emplace_back();
    return (*list_)[count_++];
  }
  std::size_t count() const { return count_; }
  void finish() { list_->resize(count_); }

 private:
  std::vector<T>* list_;
  std::size_t count_ = 0;
};

}  // namespace pelvane
