#pragma once
// The first half of every comparing setter: store `value` unless it equals
// what `field` holds; report whether anything changed.
#include <utility>

namespace cport {

template <typename T>
bool StoreIfChanged(T& field, T value) {
  if (field == value) return false;
  field = std::move(value);
  return true;
}

}  // namespace cport
