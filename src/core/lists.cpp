#include "core/lists.h"

namespace orv::core {

bool isValueInArray(const QStringList& array, const QString& value) {
  return array.contains(value, Qt::CaseInsensitive);
}

bool isValueInCollection(const KeyedList<QString>& list, const QString& value) {
  for (const auto& entry : list) {
    if (entry.value.compare(value, Qt::CaseInsensitive) == 0) {
      return true;
    }
  }
  return false;
}

qsizetype getArrayUpperBound(const QStringList& array) {
  return array.size() - 1;
}

QString fnctJoinList(const QStringList& array, const QString& separator) {
  // Only an empty last element is the split's tail; a last element with text (an array
  // built without the tail, or a text stored without its final separator) is an item and
  // must not be lost.
  qsizetype items = array.size();
  if (items > 0 && array.last().isEmpty()) {
    --items;
  }
  if (items == 0) {
    return separator;
  }
  QString joined;
  for (qsizetype i = 0; i < items; ++i) {
    joined += array.at(i);
    joined += separator;
  }
  return joined;
}

QString fnctCollapseSeparators(const QString& text, const QString& separator) {
  if (separator.isEmpty()) {
    return text;
  }
  const QString doubled = separator + separator;
  QString collapsed = text;
  while (collapsed.contains(doubled, Qt::CaseInsensitive)) {
    collapsed.replace(doubled, separator, Qt::CaseInsensitive);
  }
  return collapsed;
}

}  // namespace orv::core
