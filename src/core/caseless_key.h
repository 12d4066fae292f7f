#pragma once

#include <QStringView>

#include <cstddef>

namespace orv::core {

// Hashing and equality of texts compared as their case folding, for keyed collections.
// Keys are nearly always ASCII (socket handles, addresses, paths): those are hashed and
// compared without building their folded text. Both take a view, so a lookup needs no
// string of its own.
struct CaselessKeyHash {
  using is_transparent = void;
  std::size_t operator()(QStringView key) const;
};

struct CaselessKeyEqual {
  using is_transparent = void;
  bool operator()(QStringView a, QStringView b) const;
};

}  // namespace orv::core
