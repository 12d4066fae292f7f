#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>

// Dates of the HTTP message (RFC 1123 form, RFC 2616 section 3.3.1). Inside the message a
// date travels as a QDateTime; the null QDateTime is the zero date, which stands for an
// absent or unreadable date header.
namespace orv::server {

// The same moment in UTC. Each date-time moves by the offset of its own zone in force at
// that date, so a winter date converted in summer moves by the winter offset.
QDateTime getGmtDate(const QDateTime& gmtDate);

// "Sun, 6 Nov 1994 08:49:37 GMT": the day without a leading zero, the year with at least
// four digits, the time always with two digits per field. The text shows the UTC time of the value; a null value gives
// an empty text.
QByteArray getRFC1123DateFormat(const QDateTime& RFC1123DateFormat);

// Reads an RFC 1123 date such as "Sun, 06 Nov 1994 08:49:37 GMT" (names in any case, day
// and time fields of one or two digits) as a UTC date-time. The week day and the zone are
// not looked at. A text of another shape (RFC 850 and asctime dates, two blanks in a row,
// an unknown month, a date that does not exist) gives the zero date.
QDateTime getStandardDateFormat(QByteArrayView StandardDateFormat);

}  // namespace orv::server
