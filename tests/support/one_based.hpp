// 1-based vectors written out in full.
#pragma once

#include <initializer_list>

#include "core/arrays.hpp"

namespace kesta_test {

// A 1-based vector of the given values.
template <class T>
kesta::vec1<T> one_based(std::initializer_list<T> values) {
    kesta::vec1<T> v(static_cast<int>(values.size()));
    int k = 1;
    for (T x : values) v[k++] = x;
    return v;
}

}  // namespace kesta_test
