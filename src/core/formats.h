#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

// The texts that the windows and the pages show for sizes, dates, durations, wrapped labels
// and Booleans, and the checks of Boolean and IP address texts. Numbers are written in the
// default locale (the system's unless QLocale::setDefault changed it).
namespace orv::core {

// The size with a unit word of the language record (HTLM/OTHER): below 1024 the number
// itself and BYTE (at most 1) or BYTES; then KILOBYTE rounded to whole units, MEGABYTE,
// GIGABYTE and TERABYTE rounded to two decimals (halves to even), written with the locale's
// decimal separator and without trailing zeros: 1536 gives "2 " and KILOBYTE, 1,572,864
// gives "1.5 " (or "1,5 ") and MEGABYTE. From 1,125,899,906,842,620 bytes on, an empty text.
QString fnctFormatSize(double size);

// "yyyy/MM/dd HH:mm:ss" with the year in all its digits: 2006/03/07 04:05:09.
QString fnctFormatDate(const QDateTime& moment);

// Hours (at least two digits, only when there are any), minutes and seconds joined by ":":
// 3,725 gives "01:02:05", 65 gives "01:05", 0 gives "00:00". The seconds are rounded to the
// whole second (halves to even) before they are split, so 59.6 gives "01:00", never
// "00:60". A negative or non-finite number of seconds reads as 0.
QString fnctFormatDuration(double seconds);

// Breaks the text at the last blank within each line into at most maxLines lines of at most
// maxLineLength characters joined by separator. A text that does not fit, or a word longer
// than a line, is cut and ends with "…". A text that fits one line is returned trimmed of
// blanks.
QString fnctWrapText(const QString& text, int maxLineLength, int maxLines, const QString& separator);

// "true" or "false".
QString fnctBoolToString(bool value);

// True for "true" or "false" in any letter case.
bool isValidBoolString(const QString& text);

// True for four decimal numbers from 0 to 255 joined by ".": "10.0.0.255". Each part holds
// only the digits 0 to 9 (no sign, blank or exponent).
bool isValidIpAddress(const QString& text);

// The 32 bits of such an address, the first number in the highest byte; nothing for any
// other text.
std::optional<quint32> ipAddressValue(QStringView text);

}  // namespace orv::core
