#pragma once

#include <QLatin1StringView>
#include <QStringView>

// Comparisons that ignore case, with the answers of Qt's Qt::CaseInsensitive ones. Qt folds
// every character through Unicode's tables; the paths, names and keys of a request are
// nearly always ASCII, and are compared here a character at a time. A character beyond
// ASCII hands the comparison to Qt, since some fold to ASCII ones (the Kelvin sign to "k").
namespace orv::core {

bool equalsIgnoringCase(QStringView text, QStringView other);
bool equalsIgnoringCase(QStringView text, QLatin1StringView other);
bool startsWithIgnoringCase(QStringView text, QStringView start);
bool startsWithIgnoringCase(QStringView text, QLatin1StringView start);

}  // namespace orv::core
