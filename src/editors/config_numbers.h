#pragma once

#include <QString>

#include <optional>

// The numbers that the settings editors read from their text boxes.
namespace orv::editors {

// The value of a text that reads as a number in the user's locale: an optional sign, a
// decimal separator, an exponent and blanks around it are allowed. A text that the
// locale does not read is tried as a plain C number ("2.5"), so that a number typed with a
// point reads everywhere. Nothing for an empty text, any other text and infinities.
std::optional<double> fnctReadNumber(const QString& text);

// The text's number as a 32-bit integer, rounded to the nearest whole number with halves
// going to the even neighbour; nothing when the text is not a number or the result is
// outside the 32-bit range.
std::optional<int> fnctReadLong(const QString& text);

}  // namespace orv::editors
