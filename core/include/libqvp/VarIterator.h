// Iterator over a container's owned variables that yields BaseType*.
#ifndef LIBQVP_VARITERATOR_H
#define LIBQVP_VARITERATOR_H

#include <libqvp/BaseType.h>

#include <cstddef>
#include <iterator>
#include <memory>
#include <vector>

namespace libqvp {

class VarIterator {
 public:
  using Base = std::vector<std::unique_ptr<BaseType>>::const_iterator;
  using iterator_category = std::random_access_iterator_tag;
  using value_type = BaseType*;
  using difference_type = std::ptrdiff_t;
  using pointer = BaseType**;
  using reference = BaseType*;

  VarIterator() = default;
  explicit VarIterator(Base it) : d_it(it) {}

  BaseType* operator*() const { return d_it->get(); }
  BaseType* operator[](difference_type n) const { return d_it[n].get(); }
  VarIterator& operator++() {
    ++d_it;
    return *this;
  }
  VarIterator operator++(int) {
    VarIterator t = *this;
    ++d_it;
    return t;
  }
  VarIterator& operator--() {
    --d_it;
    return *this;
  }
  VarIterator operator--(int) {
    VarIterator t = *this;
    --d_it;
    return t;
  }
  VarIterator& operator+=(difference_type n) {
    d_it += n;
    return *this;
  }
  VarIterator& operator-=(difference_type n) {
    d_it -= n;
    return *this;
  }
  VarIterator operator+(difference_type n) const {
    return VarIterator(d_it + n);
  }
  VarIterator operator-(difference_type n) const {
    return VarIterator(d_it - n);
  }
  friend VarIterator operator+(difference_type n, const VarIterator& it) {
    return it + n;
  }
  difference_type operator-(const VarIterator& o) const {
    return d_it - o.d_it;
  }
  bool operator==(const VarIterator& o) const { return d_it == o.d_it; }
  bool operator!=(const VarIterator& o) const { return d_it != o.d_it; }
  bool operator<(const VarIterator& o) const { return d_it < o.d_it; }
  bool operator>(const VarIterator& o) const { return d_it > o.d_it; }
  bool operator<=(const VarIterator& o) const { return d_it <= o.d_it; }
  bool operator>=(const VarIterator& o) const { return d_it >= o.d_it; }

 private:
  Base d_it;
};

}  // namespace libqvp

#endif  // LIBQVP_VARITERATOR_H
