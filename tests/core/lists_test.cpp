#include "core/lists.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace {

using namespace orv::core;

QStringList splitList(const QString& text) {
  return text.split(QLatin1Char(';'));
}

TEST(Lists, KeysAndValuesAreFoundIgnoringCase) {
  KeyedList<QString> list;
  list.add(QStringLiteral("Amy"), QStringLiteral("id1"));
  list.add(QStringLiteral("bob"));
  EXPECT_TRUE(isKeyInCollection(list, QStringLiteral("ID1")));
  EXPECT_FALSE(isKeyInCollection(list, QStringLiteral("id2")));
  EXPECT_FALSE(isKeyInCollection(list, QString()));
  EXPECT_TRUE(isValueInCollection(list, QStringLiteral("amy")));
  EXPECT_TRUE(isValueInCollection(list, QStringLiteral("BOB")));
  EXPECT_FALSE(isValueInCollection(list, QStringLiteral("eve")));
  EXPECT_FALSE(isValueInCollection(KeyedList<QString>(), QString()));
}

TEST(Lists, ValueInArrayComparesWholeElementsIgnoringCase) {
  const struct {
    QStringList array;
    const char* value;
    bool expected;
  } cases[] = {
      {{}, "", false},
      {{}, "amy", false},
      {{QStringLiteral("Amy")}, "amy", true},
      {{QStringLiteral("a"), QStringLiteral("b")}, "B", true},
      {{QStringLiteral("a"), QStringLiteral("b")}, "c", false},
      {{QStringLiteral("example.com")}, "example", false},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(isValueInArray(row.array, QLatin1String(row.value)), row.expected) << row.value;
  }
}

TEST(Lists, UpperBoundOfAnArrayWithoutElementsIsMinusOne) {
  EXPECT_EQ(getArrayUpperBound({}), -1);
  EXPECT_EQ(getArrayUpperBound({QString()}), 0);
  EXPECT_EQ(getArrayUpperBound(splitList(QStringLiteral("a;b;"))), 2);
}

TEST(JoinList, WritesEveryItemFollowedByTheSeparator) {
  const struct {
    QStringList array;
    const char* expected;
  } cases[] = {
      {{}, ";"},
      {splitList(QStringLiteral(";")), ";"},
      {{QString()}, ";"},
      {splitList(QStringLiteral("winamp;foobar;")), "winamp;foobar;"},
      {splitList(QStringLiteral("example.com;")), "example.com;"},
      // A last element with text is an item, not the split's empty tail: it stays.
      {{QStringLiteral("example.com")}, "example.com;"},
      {splitList(QStringLiteral("a;b")), "a;b;"},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(fnctJoinList(row.array, QStringLiteral(";")), QLatin1String(row.expected)) << row.expected;
  }
}

TEST(JoinList, AListSurvivesBeingWrittenAndReadAgain) {
  // As the configuration stores a ";"-list: collapse the runs, split, and join to write.
  for (const QString& stored :
       {QStringLiteral("example.com"), QStringLiteral("a;;b"), QStringLiteral("winamp;"), QStringLiteral(";")}) {
    const QStringList read = splitList(fnctCollapseSeparators(stored, QStringLiteral(";")));
    const QString written = fnctJoinList(read, QStringLiteral(";"));
    const QStringList readAgain = splitList(fnctCollapseSeparators(written, QStringLiteral(";")));
    EXPECT_EQ(fnctJoinList(readAgain, QStringLiteral(";")), written) << stored.toStdString();
    for (const QString& item : read) {
      EXPECT_TRUE(item.isEmpty() || readAgain.contains(item)) << item.toStdString();
    }
  }
}

TEST(CollapseSeparators, ReducesEveryRunToOne) {
  const struct {
    const char* text;
    const char* separator;
    const char* expected;
  } cases[] = {
      {"a;;;b;", ";", "a;b;"}, {";;", ";", ";"},         {"", ";", ""},        {"a;b", ";", "a;b"},
      {"aXxXb", "x", "axb"},   {"a::::b", "::", "a::b"}, {"a;;b", "", "a;;b"},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(fnctCollapseSeparators(QLatin1String(row.text), QLatin1String(row.separator)),
              QLatin1String(row.expected))
        << row.text;
  }
}

}  // namespace
