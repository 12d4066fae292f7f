#pragma once

#include "core/configuration.h"

#include <QString>

#include <array>

// What the debug window's value grid shows, apart from the grid itself: the names of its
// rows, the live counters, the texts of the tuning parameters and their built-in defaults.
namespace orv::desktop {

inline constexpr int kDebugValuesRowCount = 26;
inline constexpr int kDebugCounterCount = 6;  // rows 0 to 5; the tuning parameters follow

// The text of column 0 of a row of the grid (0 to 25).
QString debugValuesRowCaption(int row);

// The tuning parameter a caption of rows 6 to 25 names (case ignored, the socket rows'
// " (OS default: -1)" suffix left out), or an empty text for any other caption.
QString tuningParameterOfCaption(const QString& caption);

// The live counters in row order: the open connections, file readers, page builders and
// thumbnail makers, then the folder pages and thumbnails in creation for all clients.
std::array<int, kDebugCounterCount> getDebugCounterValues();

// The value text of a tuning row (6 to 25): whole numbers in decimal, the others as a
// single-precision number is written, at most seven significant digits with larger
// magnitudes in exponent form ("1E+07"), with the user's decimal separator.
QString tuningValueText(const core::tAdvancedParameters& parameters, int row);

// Sets the twenty parameters of the grid to their built-in defaults, without the setter:
// nothing is checked and nothing is logged. The three switches keep their values.
void RestoreDebugDefaultValues(core::tAdvancedParameters& parameters);

// Applies the text typed into a value cell whose row caption is given, through the setter
// with the source "local". True when the cell is to show the typed text (the value was
// stored or already was the current one); false when the text is refused or the caption
// names no parameter, and the cell keeps what it showed.
bool ApplyDebugValueEdit(const QString& caption, const QString& typedText);

}  // namespace orv::desktop
