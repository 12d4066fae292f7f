#include "core/caseless_key.h"

#include <QHash>
#include <QString>

#include <algorithm>
#include <array>

namespace orv::core {
namespace {

bool isAscii(QStringView text) {
  return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

char16_t asciiLower(char16_t unit) {
  return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + (u'a' - u'A')) : unit;
}

// Beyond ASCII a folding may change the length, and ASCII may be the folding of other
// letters (the Kelvin sign folds to "k"): such keys are folded in full.
QString folded(QStringView text) {
  return text.toString().toCaseFolded();
}

}  // namespace

std::size_t CaselessKeyHash::operator()(QStringView key) const {
  const std::size_t seed = QHashSeed::globalSeed();
  constexpr qsizetype kShortKey = 64;
  if (key.size() > kShortKey || !isAscii(key)) {
    return qHash(QStringView(folded(key)), seed);
  }
  // The hash of the folded text, so that a key beyond ASCII that folds to the same text
  // lands in the same place.
  std::array<char16_t, kShortKey> lower;
  std::transform(key.utf16(), key.utf16() + key.size(), lower.begin(), asciiLower);
  return qHash(QStringView(lower.data(), key.size()), seed);
}

bool CaselessKeyEqual::operator()(QStringView a, QStringView b) const {
  const bool asciiA = isAscii(a);
  const bool asciiB = isAscii(b);
  if (asciiA && asciiB) {
    return a.size() == b.size() && std::equal(a.utf16(), a.utf16() + a.size(), b.utf16(),
                                              [](char16_t x, char16_t y) { return asciiLower(x) == asciiLower(y); });
  }
  return folded(a) == folded(b);
}

}  // namespace orv::core
