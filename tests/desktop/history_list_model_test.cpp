#include "desktop/history_list_model.h"

#include "core/language.h"

#include "support/qt_printers.h"

#include <QColor>

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace Qt::StringLiterals;
using orv::core::HistoryEventType;
using orv::core::tHistoryEvent;
using orv::desktop::fnctHistoryLineText;
using orv::desktop::HistoryListModel;
using orv::desktop::HistoryRow;

const QString kDate = u"2006/03/07 04:05:09"_s;

class HistoryList : public ::testing::Test {
 protected:
  void SetUp() override {
    orv::core::gLanguage = orv::core::fnctLoadLanguage(QStringLiteral(ORV_SOURCE_DIR "/lang/english.xml"));
    ASSERT_TRUE(orv::core::gLanguage.blnLoaded);
  }
  void TearDown() override { orv::core::gLanguage = {}; }

  static HistoryRow row(HistoryEventType type, const QString& text, bool isNew = true) {
    return {type, u"10.0.0.2"_s, kDate, text, isNew};
  }

  static QStringList texts(const HistoryListModel& model) {
    QStringList result;
    for (int r = 0; r < model.rowCount(); ++r) {
      result << model.rowAt(r).text;
    }
    return result;
  }
};

TEST_F(HistoryList, LineTextsByType) {
  struct Case {
    HistoryEventType type;
    QString ip;
    QString text;
    QString line;
  };
  const QString at = u"2006/03/07 04:05:09 | "_s;
  const std::vector<Case> cases = {
      {HistoryEventType::FILE_START_UPLOAD, u"10.0.0.2 (bob)"_s, u"/srv/a.txt"_s,
       at + u"10.0.0.2 (bob) | Upload started '/srv/a.txt'"_s},
      {HistoryEventType::FILE_ABORT_UPLOAD, u"10.0.0.2"_s, u"/srv/a.txt"_s,
       at + u"10.0.0.2 | Upload interrupted '/srv/a.txt'"_s},
      {HistoryEventType::FILE_END_UPLOAD, u"10.0.0.2"_s, u"/srv/a.txt"_s,
       at + u"10.0.0.2 | Upload finished '/srv/a.txt'"_s},
      {HistoryEventType::PHYSICAL_FOLDER_NAVIGATION, u"10.0.0.2"_s, u"/srv/pub/"_s,
       at + u"10.0.0.2 | Folder viewed '/srv/pub/'"_s},
      {HistoryEventType::VIRTUAL_FOLDER_NAVIGATION, u"10.0.0.2"_s, u"/music/"_s,
       at + u"10.0.0.2 | Virtual folder viewed '/music/'"_s},
      {HistoryEventType::AUDIO_FOLDER_NAVIGATION, u"10.0.0.2"_s, u"/srv/mp3/"_s,
       at + u"10.0.0.2 | Playlist sent '/srv/mp3/'"_s},
      {HistoryEventType::NOT_FOUND, u"10.0.0.2"_s, u"/srv/none"_s, at + u"10.0.0.2 | Not found '/srv/none'"_s},
      {HistoryEventType::FORBIDDEN, u"10.0.0.2"_s, u"/srv/x"_s, at + u"10.0.0.2 | Access refused '/srv/x'"_s},
      {HistoryEventType::LOGIN_FAILED, u"10.0.0.3"_s, QString(), at + u"10.0.0.3 | Identification failed"_s},
      {HistoryEventType::BANNED, u"10.0.0.3"_s, u"240"_s, at + u"10.0.0.3 | Address banned for 240s"_s},
      {HistoryEventType::FILTERS_REJECT, u"10.0.0.4"_s, QString(),
       at + u"10.0.0.4 | Connection refused by the IP filter"_s},
      {static_cast<HistoryEventType>(12), u"10.0.0.4"_s, u"x"_s, QString()},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(fnctHistoryLineText({c.type, c.ip, kDate, c.text, true}), c.line);
  }
  // A date an earlier run wrote in another readable form shows in the stores' form.
  EXPECT_EQ(fnctHistoryLineText({HistoryEventType::LOGIN_FAILED, u"10.0.0.3"_s, u"2006-03-07T04:05:09"_s, {}, false}),
            at + u"10.0.0.3 | Identification failed"_s);
}

TEST_F(HistoryList, NewestOnTopAndEarlierRunsGrey) {
  HistoryListModel model;
  EXPECT_TRUE(model.addEntry(row(HistoryEventType::NOT_FOUND, u"/old"_s, false), 150));
  EXPECT_TRUE(model.addEntry(row(HistoryEventType::NOT_FOUND, u"/new"_s, true), 150));
  ASSERT_EQ(model.rowCount(), 2);
  EXPECT_EQ(model.columnCount(), 2);
  EXPECT_EQ(texts(model), QStringList({u"/new"_s, u"/old"_s}));
  const QModelIndex fresh = model.index(0, HistoryListModel::kLineColumn);
  const QModelIndex earlier = model.index(1, HistoryListModel::kLineColumn);
  EXPECT_FALSE(model.data(fresh, Qt::ForegroundRole).isValid());
  EXPECT_EQ(model.data(earlier, Qt::ForegroundRole).value<QColor>(), QColor(128, 128, 128));
  EXPECT_EQ(model.data(fresh).toString(), u"2006/03/07 04:05:09 | 10.0.0.2 | Not found '/new'"_s);
  EXPECT_FALSE(model.data(model.index(0, HistoryListModel::kPictureColumn)).isValid());
  EXPECT_FALSE(
      model.data(model.index(0, HistoryListModel::kPictureColumn), Qt::DecorationRole).value<QIcon>().isNull());
  EXPECT_EQ(model.data(fresh, Qt::ToolTipRole).toString(), u"/new"_s);
  EXPECT_EQ(model.data(model.index(0, HistoryListModel::kPictureColumn), Qt::AccessibleTextRole).toString(),
            u"Not found"_s);
}

TEST_F(HistoryList, EveryTypeHasItsOwnPicture) {
  HistoryListModel model;
  for (int code = 1; code <= 11; ++code) {
    model.addEntry(row(static_cast<HistoryEventType>(code), u"t"_s), -1);
  }
  std::vector<QImage> pictures;
  for (int r = 0; r < model.rowCount(); ++r) {
    const QIcon icon = model.data(model.index(r, HistoryListModel::kPictureColumn), Qt::DecorationRole).value<QIcon>();
    ASSERT_FALSE(icon.isNull()) << r;
    const QImage image = icon.pixmap(16, 16).toImage();
    for (const QImage& other : pictures) {
      EXPECT_NE(image, other) << r;
    }
    pictures.push_back(image);
  }
}

TEST_F(HistoryList, UnknownTypesAddNoRow) {
  HistoryListModel model;
  EXPECT_FALSE(model.addEntry(row(static_cast<HistoryEventType>(0), u"zero"_s), 150));
  EXPECT_FALSE(model.addEntry(row(static_cast<HistoryEventType>(42), u"many"_s), 150));
  EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(HistoryList, AddingKeepsTheNewestWithinTheLimit) {
  struct Case {
    int maxEntry;
    QStringList rows;  // top first
  };
  const std::vector<Case> cases = {
      {-1, {u"e5"_s, u"e4"_s, u"e3"_s, u"e2"_s, u"e1"_s}},
      {0, {u"e5"_s, u"e4"_s, u"e3"_s, u"e2"_s, u"e1"_s}},  // no limit the window applies
      {3, {u"e5"_s, u"e4"_s, u"e3"_s}},
      {1, {u"e5"_s}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.maxEntry);
    HistoryListModel model;
    for (int i = 1; i <= 5; ++i) {
      model.addEntry(row(HistoryEventType::NOT_FOUND, u"e%1"_s.arg(i)), c.maxEntry);
    }
    EXPECT_EQ(texts(model), c.rows);
  }
}

TEST_F(HistoryList, ReplayShowsTheStoreNewestFirstWithoutUnknownTypes) {
  std::deque<tHistoryEvent> events;
  for (int i = 1; i <= 5; ++i) {
    events.push_back(
        {u"2006/03/07 04:05:0%1"_s.arg(i), HistoryEventType::NOT_FOUND, u"10.0.0.1"_s, u"e%1"_s.arg(i), i > 3});
  }
  events.insert(events.begin() + 2,
                {u"2006/03/07 04:05:09"_s, static_cast<HistoryEventType>(77), u"10.0.0.1"_s, u"unknown"_s, true});
  HistoryListModel model;
  model.replay(events, -1);
  EXPECT_EQ(texts(model), QStringList({u"e5"_s, u"e4"_s, u"e3"_s, u"e2"_s, u"e1"_s}));
  EXPECT_EQ(model.rowAt(0).date, u"2006/03/07 04:05:05"_s);
  EXPECT_TRUE(model.rowAt(0).isNew);
  EXPECT_FALSE(model.rowAt(2).isNew);
  model.replay(events, 2);
  EXPECT_EQ(texts(model), QStringList({u"e5"_s, u"e4"_s}));
}

TEST_F(HistoryList, TrimKeepsTheTopRowsAndClearEmpties) {
  HistoryListModel model;
  for (int i = 1; i <= 5; ++i) {
    model.addEntry(row(HistoryEventType::NOT_FOUND, u"e%1"_s.arg(i)), -1);
  }
  model.trimTo(10);
  EXPECT_EQ(model.rowCount(), 5);
  model.trimTo(2);
  EXPECT_EQ(texts(model), QStringList({u"e5"_s, u"e4"_s}));
  model.clear();
  EXPECT_EQ(model.rowCount(), 0);
}

}  // namespace
