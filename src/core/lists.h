#pragma once

#include "core/keyed_list.h"

#include <QString>
#include <QStringList>

// Keyed lists, text arrays and the ";"-list texts of the configuration (keyword, domain and
// extension lists: every item followed by ";"). Values and keys compare ignoring case.
namespace orv::core {

// True when an item is stored under the key; an empty key is never stored.
template <typename T>
bool isKeyInCollection(const KeyedList<T>& list, const QString& key) {
  return list.contains(key);
}

// True when an element equals the value, ignoring case.
bool isValueInArray(const QStringList& array, const QString& value);

// True when an item equals the value, ignoring case.
bool isValueInCollection(const KeyedList<QString>& list, const QString& value);

// The position of the last element (from 0); -1 for an array without elements.
qsizetype getArrayUpperBound(const QStringList& array);

// The ";"-list text of an array split from one: every element followed by the separator,
// except a last element that is empty, which is the tail that splitting a text ending in
// the separator leaves ("winamp;foobar;" split and joined gives "winamp;foobar;" back). An
// array without elements, or with only that empty tail, gives the separator alone.
QString fnctJoinList(const QStringList& array, const QString& separator);

// The text with every run of the separator (compared ignoring case) reduced to one; an
// empty separator leaves the text as it is.
QString fnctCollapseSeparators(const QString& text, const QString& separator);

}  // namespace orv::core
