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

}  // namespace
