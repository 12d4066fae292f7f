#include "core/keyed_list.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace {

using orv::core::KeyedList;

TEST(KeyedList, KeysIgnoreCaseAndStayUnique) {
  KeyedList<int> list;
  EXPECT_TRUE(list.add(1, QStringLiteral("id1")));
  EXPECT_FALSE(list.add(2, QStringLiteral("ID1")));
  EXPECT_TRUE(list.add(3));
  EXPECT_TRUE(list.add(4));
  EXPECT_EQ(list.count(), 3);
  EXPECT_TRUE(list.contains(QStringLiteral("Id1")));
  EXPECT_FALSE(list.contains(QString()));
  EXPECT_EQ(list.value(QStringLiteral("iD1")), 1);
  EXPECT_EQ(list.value(QStringLiteral("none"), -7), -7);
}

TEST(KeyedList, PositionsCountFromOneAndFollowRemovals) {
  KeyedList<QString> list;
  list.add(QStringLiteral("a"), QStringLiteral("k1"));
  list.add(QStringLiteral("b"), QStringLiteral("k2"));
  list.add(QStringLiteral("c"), QStringLiteral("k3"));
  EXPECT_EQ(list.at(1), QStringLiteral("a"));
  EXPECT_EQ(list.positionOf(QStringLiteral("K3")), 3);
  EXPECT_TRUE(list.remove(QStringLiteral("k1")));
  EXPECT_EQ(list.at(1), QStringLiteral("b"));
  EXPECT_EQ(list.keyAt(2), QStringLiteral("k3"));
  EXPECT_EQ(list.positionOf(QStringLiteral("k3")), 2);
  EXPECT_FALSE(list.remove(QStringLiteral("k1")));
  list.set(QStringLiteral("k2"), QStringLiteral("B"));
  list.set(QStringLiteral("k4"), QStringLiteral("d"));
  EXPECT_EQ(list.at(1), QStringLiteral("B"));
  EXPECT_EQ(list.at(3), QStringLiteral("d"));
}

TEST(KeyedList, KeysBeyondAsciiFoldAsUnicodeSays) {
  KeyedList<int> list;
  EXPECT_TRUE(list.add(1, QString::fromUtf16(u"Caf\u00C9")));
  EXPECT_TRUE(list.add(2, QString::fromUtf16(u"\u212Aelvin")));
  EXPECT_EQ(list.value(QString::fromUtf16(u"caf\u00E9")), 1);
  EXPECT_EQ(list.value(QStringLiteral("KELVIN")), 2);
  EXPECT_FALSE(list.add(3, QStringLiteral("kelvin")));
  EXPECT_EQ(list.keyAt(1), QString::fromUtf16(u"Caf\u00C9"));  // kept as given
}

// Keys are alike when their case foldings are, whichever of the two is ASCII or long.
TEST(KeyedList, KeysThatFoldAlikeAreOneKeyWhicheverCameFirst) {
  const QString longKey = QStringLiteral("Share/Music/").repeated(8) + QStringLiteral("Track.MP3");
  const struct {
    QString first;
    QString second;
    bool alike;
  } cases[] = {
      {QStringLiteral("12S"), QStringLiteral("12s"), true},
      {QStringLiteral("KELVIN"), QString::fromUtf16(u"\u212Aelvin"), true},
      {QString::fromUtf16(u"\u212Aelvin"), QStringLiteral("kElViN"), true},
      {QString::fromUtf16(u"CAF\u00C9"), QString::fromUtf16(u"caf\u00E9"), true},
      {longKey, longKey.toLower(), true},
      {longKey.toUpper(), longKey, true},
      {longKey, longKey.left(longKey.size() - 1) + QStringLiteral("4"), false},
      {QStringLiteral("12S"), QStringLiteral("12"), false},
      {QStringLiteral("ab"), QStringLiteral("a@"), false},
      {QString::fromUtf16(u"caf\u00E9"), QStringLiteral("cafe"), false},
  };
  for (const auto& row : cases) {
    KeyedList<int> list;
    ASSERT_TRUE(list.add(1, row.first));
    EXPECT_EQ(list.add(2, row.second), !row.alike) << (row.first + QStringLiteral(" / ") + row.second).toStdString();
    EXPECT_EQ(list.value(QStringView(row.second)), row.alike ? 1 : 2)
        << (row.first + QStringLiteral(" / ") + row.second).toStdString();
    EXPECT_TRUE(list.remove(row.second));
    EXPECT_EQ(list.count(), row.alike ? 0 : 1);
  }
}

TEST(KeyedList, RemovingInTheMiddleKeepsEveryLaterEntryFindable) {
  KeyedList<int> list;
  for (int i = 1; i <= 6; ++i) {
    list.add(i, i == 3 ? QString() : QStringLiteral("K") + QString::number(i));
  }
  EXPECT_TRUE(list.remove(QStringLiteral("k2")));
  list.removeAt(2);  // the entry without a key
  EXPECT_EQ(list.count(), 4);
  for (int i : {1, 4, 5, 6}) {
    const QString key = QStringLiteral("k") + QString::number(i);
    ASSERT_NE(list.positionOf(key), 0) << i;
    EXPECT_EQ(list.at(list.positionOf(key)), i);
  }
  EXPECT_EQ(list.positionOf(QStringLiteral("k6")), 4);
  EXPECT_FALSE(list.contains(QStringLiteral("k2")));
}

}  // namespace
