#pragma once

#include <QDateTime>
#include <QString>

// The dates of the stores (history.xml, uploaded.xml) are written as fnctFormatDate writes
// them ("2006/03/07 04:05:09", local time), so that a file reads back the same whatever
// the regional settings of the next run.
namespace orv::core {

// The local date and time of a stored date text: the form above, ISO 8601, or the
// system locale's short or long date and time; an invalid QDateTime for any other text.
QDateTime parseStoredDate(const QString& text);

// Whether parseStoredDate reads a date from the text. The stores' own form is checked
// without building a local date-time: that asks the system's time zone each time, and a
// store of tens of thousands of rows would hold start-up for seconds.
bool isStoredDate(const QString& text);

}  // namespace orv::core
