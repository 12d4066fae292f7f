#include "server/query_values.h"

#include "core/configuration.h"

#include <QLatin1StringView>
#include <QStringView>

#include <initializer_list>

namespace orv::server {
namespace {

bool isBlank(QChar character) {
  return character == QLatin1Char(' ') || character == QLatin1Char('\t');
}

// True when the text at position begins a parameter: nothing but blanks before it, or the
// leading "?" of a query, or the terminator, each followed by blanks only.
bool startsParameter(QStringView text, qsizetype position, QStringView terminator) {
  qsizetype before = position;
  while (before > 0 && isBlank(text.at(before - 1))) {
    --before;
  }
  if (before == 0 || (before == 1 && text.at(0) == QLatin1Char('?'))) {
    return true;
  }
  return text.first(before).endsWith(terminator, Qt::CaseInsensitive);
}

bool isOneOf(const QString& value, std::initializer_list<QLatin1StringView> words) {
  for (const QLatin1StringView word : words) {
    if (value.compare(word, Qt::CaseInsensitive) == 0) {
      return true;
    }
  }
  return false;
}

}  // namespace

QString getParamValue(const QString& text, const QString& key, const QString& terminator) {
  if (key.isEmpty() || terminator.isEmpty()) {
    return {};
  }
  const QString needle = key + QLatin1Char('=');
  for (qsizetype at = text.indexOf(needle, 0, Qt::CaseInsensitive); at >= 0;
       at = text.indexOf(needle, at + 1, Qt::CaseInsensitive)) {
    if (startsParameter(text, at, terminator)) {
      const QStringView value = QStringView(text).sliced(at + needle.size());
      const qsizetype end = value.indexOf(terminator, 0, Qt::CaseInsensitive);
      return (end < 0 ? value : value.first(end)).toString();
    }
  }
  return {};
}

bool isValidDisplayMode(const QString& value) {
  if (isOneOf(value, {QLatin1StringView("icon"), QLatin1StringView("list")})) {
    return true;
  }
  return core::gConfiguration.HtmlDisplay.ALLOW_MINIATURES && isOneOf(value, {QLatin1StringView("mini")});
}

bool isValidSortValue(const QString& value, bool noSizeAndType, bool mp3Sort) {
  if (isOneOf(value, {QLatin1StringView("name"), QLatin1StringView("date")})) {
    return true;
  }
  if (isOneOf(value, {QLatin1StringView("size"), QLatin1StringView("type")})) {
    return !noSizeAndType;
  }
  if (isOneOf(value, {QLatin1StringView("artist"), QLatin1StringView("album")})) {
    return mp3Sort;
  }
  return false;
}

bool isValidSortOrder(const QString& value) {
  return isOneOf(value, {QLatin1StringView("ascending"), QLatin1StringView("descending")});
}

bool isValidShowGroup(const QString& value, const QString& sortValue) {
  if (isOneOf(value, {QLatin1StringView("true")})) {
    return true;
  }
  return isOneOf(value, {QLatin1StringView("false")}) &&
         !isOneOf(sortValue, {QLatin1StringView("artist"), QLatin1StringView("album")});
}

bool isValidItemType(const QString& value) {
  return isOneOf(value, {QLatin1StringView("folder"), QLatin1StringView("other"), QLatin1StringView("sound"),
                         QLatin1StringView("image"), QLatin1StringView("video")});
}

}  // namespace orv::server
