#include "core/ignoring_case.h"

namespace orv::core {
namespace {

enum class Verdict { Equal, Different, BeyondAscii };

constexpr char16_t lowerAscii(char16_t unit) {
  return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + (u'a' - u'A')) : unit;
}

char16_t unitAt(QStringView text, qsizetype i) {
  return text[i].unicode();
}

char16_t unitAt(QLatin1StringView text, qsizetype i) {
  return static_cast<unsigned char>(text[i].toLatin1());
}

// Two texts of one length. Qt folds each character on its own (a surrogate pair as one),
// so two ASCII characters that differ in lower case decide, whatever follows.
template <typename Other>
Verdict compareAscii(QStringView text, Other other) {
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t a = unitAt(text, i);
    const char16_t b = unitAt(other, i);
    if ((a | b) >= 0x80) {
      return Verdict::BeyondAscii;
    }
    if (a != b && lowerAscii(a) != lowerAscii(b)) {
      return Verdict::Different;
    }
  }
  return Verdict::Equal;
}

// Folding keeps the length in UTF-16 units: texts of different lengths are never equal.
template <typename Other>
bool equals(QStringView text, Other other) {
  if (text.size() != other.size()) {
    return false;
  }
  switch (compareAscii(text, other)) {
    case Verdict::Equal:
      return true;
    case Verdict::Different:
      return false;
    case Verdict::BeyondAscii:
      break;
  }
  return text.compare(other, Qt::CaseInsensitive) == 0;
}

// As Qt answers: a null text starts only with a null text, an empty one only with an empty one.
template <typename Start>
bool startsWith(QStringView text, Start start) {
  if (text.isNull()) {
    return start.isNull();
  }
  if (text.isEmpty()) {
    return start.isEmpty();
  }
  return text.size() >= start.size() && equals(text.first(start.size()), start);
}

}  // namespace

bool equalsIgnoringCase(QStringView text, QStringView other) {
  return equals(text, other);
}

bool equalsIgnoringCase(QStringView text, QLatin1StringView other) {
  return equals(text, other);
}

bool startsWithIgnoringCase(QStringView text, QStringView start) {
  return startsWith(text, start);
}

bool startsWithIgnoringCase(QStringView text, QLatin1StringView start) {
  return startsWith(text, start);
}

}  // namespace orv::core
