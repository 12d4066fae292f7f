#include "core/history_store.h"

#include "core/configuration.h"
#include "platform/clock.h"

#include "support/file_permissions.h"
#include "support/qt_printers.h"
#include "support/temp_folder.h"

#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <vector>

namespace {

using namespace Qt::StringLiterals;
using orv::core::fnctLoadHistory;
using orv::core::gConfiguration;
using orv::core::getHistoryWindow;
using orv::core::gHistoryLists;
using orv::core::HistoryEventType;
using orv::core::HistoryWindowView;
using orv::core::isValidHistoryEvent;
using orv::core::setHistoryWindowView;
using orv::core::subAddEntryInHistory;
using orv::core::subClearHistory;
using orv::core::subSaveHistory;
using orv::core::subTrimHistory;
using orv::core::tHistoryEvent;
using orv::core::tHistoryLists;

const QDateTime kNow(QDate(2006, 3, 7), QTime(4, 5, 9));

class HistoryStore : public ::testing::Test {
 protected:
  void SetUp() override {
    gConfiguration = {};
    gHistoryLists = {};
    orv::platform::setFixedDateTime(kNow);
  }
  void TearDown() override {
    setHistoryWindowView(nullptr);
    orv::platform::clearFixedDateTime();
    gHistoryLists = {};
    gConfiguration = {};
  }

  // A history.xml whose EVENT elements are the given lines.
  QString writeHistory(const QByteArray& events) const {
    return folder_.write(QStringLiteral("history.xml"),
                         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<HISTORY>" + events + "</HISTORY>");
  }

  static QByteArray event(int type, const QByteArray& ip, const QByteArray& text) {
    return "<EVENT type=\"" + QByteArray::number(type) + "\" ipAddress=\"" + ip +
           "\" date=\"2006/03/07 04:05:09\" text=\"" + text + "\"/>";
  }

  static QStringList texts(const tHistoryLists& lists) {
    QStringList result;
    for (const tHistoryEvent& e : lists.events) {
      result << e.text;
    }
    return result;
  }

  TempFolder folder_;
};

TEST_F(HistoryStore, AddedEventIsDatedNowAndMarkedNew) {
  subAddEntryInHistory(HistoryEventType::BANNED, QStringLiteral("10.0.0.7"), QStringLiteral("240"));
  ASSERT_EQ(gHistoryLists.count(), 1);
  const tHistoryEvent& added = gHistoryLists.events.front();
  EXPECT_EQ(added.date, QStringLiteral("2006/03/07 04:05:09"));
  EXPECT_EQ(added.type, HistoryEventType::BANNED);
  EXPECT_EQ(added.ipAddress, QStringLiteral("10.0.0.7"));
  EXPECT_EQ(added.text, QStringLiteral("240"));
  EXPECT_TRUE(added.isNew);
  EXPECT_TRUE(gConfiguration.AppState.blnHistoryModified);
}

TEST_F(HistoryStore, AdderKeepsTheNewestWithinTheLimit) {
  struct Case {
    int maxEntry;
    int added;
    QStringList kept;  // texts, oldest first
    bool modified;
  };
  const std::vector<Case> cases = {
      {-1, 5, {u"e1"_s, u"e2"_s, u"e3"_s, u"e4"_s, u"e5"_s}, true},
      {0, 5, {}, false},
      {-7, 5, {}, false},
      {1, 5, {u"e5"_s}, true},
      {3, 4, {u"e2"_s, u"e3"_s, u"e4"_s}, true},
      {150, 5, {u"e1"_s, u"e2"_s, u"e3"_s, u"e4"_s, u"e5"_s}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.maxEntry);
    gHistoryLists = {};
    gConfiguration.AppState.blnHistoryModified = false;
    gConfiguration.History.MAX_ENTRY = c.maxEntry;
    for (int i = 1; i <= c.added; ++i) {
      subAddEntryInHistory(HistoryEventType::NOT_FOUND, QStringLiteral("10.0.0.1"), QStringLiteral("e%1").arg(i));
    }
    EXPECT_EQ(texts(gHistoryLists), c.kept);
    EXPECT_EQ(gConfiguration.AppState.blnHistoryModified, c.modified);
  }
}

// A window that remembers what it was given, and how many events the store held then.
class SeenWindow : public HistoryWindowView {
 public:
  struct Seen {
    HistoryEventType type;
    QString ipAddress;
    QDateTime date;
    QString text;
    bool isNew;
    qsizetype storedThen;
  };
  void AddEntryInHistoryList(HistoryEventType type, const QString& ipAddress, const QDateTime& date,
                             const QString& text, bool isNew) override {
    seen.push_back({type, ipAddress, date, text, isNew, gHistoryLists.count()});
  }
  std::vector<Seen> seen;
};

TEST_F(HistoryStore, TheOpenWindowSeesEachEventAsItIsRecorded) {
  SeenWindow window;
  setHistoryWindowView(&window);
  // Registered but not open: nothing reaches it.
  subAddEntryInHistory(HistoryEventType::LOGIN_FAILED, QStringLiteral("10.0.0.1"), {});
  EXPECT_EQ(getHistoryWindow(), nullptr);

  gConfiguration.AppState.blnHistoryFormLoaded = true;
  EXPECT_EQ(getHistoryWindow(), &window);
  subAddEntryInHistory(HistoryEventType::BANNED, QStringLiteral("10.0.0.2"), QStringLiteral("240"));
  setHistoryWindowView(nullptr);
  subAddEntryInHistory(HistoryEventType::LOGIN_FAILED, QStringLiteral("10.0.0.3"), {});

  ASSERT_EQ(window.seen.size(), 1u);
  EXPECT_EQ(window.seen[0].type, HistoryEventType::BANNED);
  EXPECT_EQ(window.seen[0].ipAddress, QStringLiteral("10.0.0.2"));
  EXPECT_EQ(window.seen[0].date, kNow);
  EXPECT_EQ(window.seen[0].text, QStringLiteral("240"));
  EXPECT_TRUE(window.seen[0].isNew);
  EXPECT_EQ(window.seen[0].storedThen, 2);  // the store has it before the window
  EXPECT_EQ(gHistoryLists.count(), 3);
}

TEST_F(HistoryStore, TheWindowSeesAnEventEvenWhenTheLimitDropsItsOldest) {
  SeenWindow window;
  setHistoryWindowView(&window);
  gConfiguration.AppState.blnHistoryFormLoaded = true;
  gConfiguration.History.MAX_ENTRY = 1;
  subAddEntryInHistory(HistoryEventType::NOT_FOUND, QStringLiteral("10.0.0.1"), QStringLiteral("/a"));
  subAddEntryInHistory(HistoryEventType::NOT_FOUND, QStringLiteral("10.0.0.1"), QStringLiteral("/b"));
  ASSERT_EQ(window.seen.size(), 2u);
  EXPECT_EQ(window.seen[1].text, QStringLiteral("/b"));
  EXPECT_EQ(texts(gHistoryLists), QStringList({u"/b"_s}));
}

TEST_F(HistoryStore, UnreadableFilesGiveAnEmptyHistory) {
  const std::vector<std::pair<const char*, QByteArray>> files = {
      {"empty file", ""},
      {"not XML", "this is not XML <"},
      {"truncated", "<HISTORY><EVENT type=\"1\""},
      {"other root", "<UPLOADED>" + event(1, "10.0.0.1", "/a") + "</UPLOADED>"},
      {"declaration only", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"},
  };
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    EXPECT_EQ(fnctLoadHistory(folder_.write(QStringLiteral("history.xml"), bytes)).count(), 0);
  }
  EXPECT_EQ(fnctLoadHistory(folder_.file(QStringLiteral("missing.xml"))).count(), 0);
}

TEST_F(HistoryStore, InvalidEventsAreSkippedOneByOne) {
  struct Case {
    const char* name;
    QByteArray element;
  };
  const std::vector<Case> cases = {
      {"type 12", event(12, "10.0.0.9", "bad")},
      {"type 0", event(0, "10.0.0.9", "bad")},
      {"type with a blank", "<EVENT type=\" 3\" ipAddress=\"10.0.0.9\" date=\"2006/03/07 04:05:09\" text=\"bad\"/>"},
      {"type not a number", "<EVENT type=\"x\" ipAddress=\"10.0.0.9\" date=\"2006/03/07 04:05:09\" text=\"bad\"/>"},
      {"empty ipAddress", event(1, "", "bad")},
      {"unreadable date", "<EVENT type=\"1\" ipAddress=\"10.0.0.9\" date=\"yesterday\" text=\"bad\"/>"},
      {"impossible date", "<EVENT type=\"1\" ipAddress=\"10.0.0.9\" date=\"2006/02/30 04:05:09\" text=\"bad\"/>"},
      {"no text attribute", "<EVENT type=\"1\" ipAddress=\"10.0.0.9\" date=\"2006/03/07 04:05:09\"/>"},
      {"no type attribute", "<EVENT ipAddress=\"10.0.0.9\" date=\"2006/03/07 04:05:09\" text=\"bad\"/>"},
      {"no date attribute", "<EVENT type=\"1\" ipAddress=\"10.0.0.9\" text=\"bad\"/>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const tHistoryLists lists =
        fnctLoadHistory(writeHistory(event(1, "10.0.0.1", "before") + c.element + event(3, "10.0.0.1", "after")));
    EXPECT_EQ(texts(lists), QStringList({u"before"_s, u"after"_s}));
  }
}

TEST_F(HistoryStore, LoaderKeepsTheNewestEventsOfTheFile) {
  QByteArray events;
  for (int i = 1; i <= 200; ++i) {
    events += event(4, "10.0.0.1", "/e" + QByteArray::number(i));
  }
  const QString path = writeHistory(events);
  struct Case {
    int maxEntry;
    int kept;
    QString oldest;
  };
  const std::vector<Case> cases = {
      {-1, 200, u"/e1"_s}, {0, 0, {}}, {1, 1, u"/e200"_s}, {150, 150, u"/e51"_s}, {500, 200, u"/e1"_s},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.maxEntry);
    gConfiguration.History.MAX_ENTRY = c.maxEntry;
    const tHistoryLists lists = fnctLoadHistory(path);
    ASSERT_EQ(lists.count(), c.kept);
    if (c.kept > 0) {
      EXPECT_EQ(lists.events.front().text, c.oldest);
      EXPECT_EQ(lists.events.back().text, QStringLiteral("/e200"));
    }
  }
}

TEST_F(HistoryStore, SavedEventsReadBackUnchangedAndNoLongerNew) {
  gConfiguration.History.MAX_ENTRY = -1;
  gHistoryLists = fnctLoadHistory(writeHistory(event(7, "10.0.0.1", "/old")));
  const QString hostile = QStringLiteral("/a & b <c> \"d\" 'e'\nf \u00e9\u6587");
  subAddEntryInHistory(HistoryEventType::FILE_END_UPLOAD, QStringLiteral("10.0.0.2 (bob)"), hostile);
  subAddEntryInHistory(HistoryEventType::FILTERS_REJECT, QStringLiteral("10.0.0.3"), {});
  const QString path = folder_.file(QStringLiteral("saved.xml"));

  ASSERT_TRUE(subSaveHistory(path, false).ok);
  EXPECT_FALSE(gConfiguration.AppState.blnHistoryModified);

  const tHistoryLists again = fnctLoadHistory(path);
  ASSERT_EQ(again.count(), 3);
  for (qsizetype i = 0; i < again.count(); ++i) {
    const tHistoryEvent& before = gHistoryLists.events[static_cast<std::size_t>(i)];
    const tHistoryEvent& after = again.events[static_cast<std::size_t>(i)];
    EXPECT_EQ(after.date, before.date);
    EXPECT_EQ(after.type, before.type);
    EXPECT_EQ(after.ipAddress, before.ipAddress);
    EXPECT_EQ(after.text, before.text);
    EXPECT_FALSE(after.isNew);
  }
}

TEST_F(HistoryStore, EmptySaveWritesAHistoryWithoutEvents) {
  subAddEntryInHistory(HistoryEventType::NOT_FOUND, QStringLiteral("10.0.0.1"), QStringLiteral("/x"));
  const QString path = writeHistory(event(1, "10.0.0.1", "/kept-before"));
  ASSERT_TRUE(subSaveHistory(path, true).ok);
  // One form for every reader: a well-formed document whose HISTORY holds no EVENT, not a
  // file that only reads as empty because it fails to parse.
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll().trimmed(), QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<HISTORY/>"));
  EXPECT_EQ(fnctLoadHistory(path).count(), 0);
  EXPECT_TRUE(gConfiguration.AppState.blnHistoryModified);  // an empty save is not a save of the lists
  EXPECT_EQ(gHistoryLists.count(), 1);
}

TEST_F(HistoryStore, ClearEmptiesTheFileAndThenTheLists) {
  subAddEntryInHistory(HistoryEventType::NOT_FOUND, QStringLiteral("10.0.0.1"), QStringLiteral("/x"));
  const QString path = writeHistory(event(1, "10.0.0.1", "/old"));
  ASSERT_TRUE(subClearHistory(path).ok);
  EXPECT_EQ(gHistoryLists.count(), 0);
  EXPECT_FALSE(gConfiguration.AppState.blnHistoryModified);
  EXPECT_EQ(fnctLoadHistory(path).count(), 0);
}

TEST_F(HistoryStore, AClearThatCannotWriteKeepsTheListsAndTheFile) {
  const QString path = writeHistory(event(1, "10.0.0.1", "/old"));
  gHistoryLists = fnctLoadHistory(path);
  subAddEntryInHistory(HistoryEventType::NOT_FOUND, QStringLiteral("10.0.0.1"), QStringLiteral("/new"));
  // The folder refuses the temporary file that would replace history.xml.
  const QByteArray folder = QFile::encodeName(folder_.path());
  ASSERT_EQ(::chmod(folder.constData(), 0500), 0);
  orv::platform::WriteResult result;
  {
    const ObeyFilePermissions obey;
    ASSERT_TRUE(obey.binding());
    result = subClearHistory(path);
  }
  ::chmod(folder.constData(), 0700);
  EXPECT_FALSE(result.ok);
  EXPECT_FALSE(result.error.isEmpty());
  EXPECT_EQ(texts(gHistoryLists), QStringList({u"/old"_s, u"/new"_s}));
  EXPECT_TRUE(gConfiguration.AppState.blnHistoryModified);
  EXPECT_EQ(texts(fnctLoadHistory(path)), QStringList({u"/old"_s}));
}

TEST_F(HistoryStore, TrimKeepsTheNewestAndMarksTheHistoryOnlyWhenEventsGo) {
  struct Case {
    int limit;
    QStringList kept;
    bool modified;
  };
  const std::vector<Case> cases = {
      {-1, {u"e1"_s, u"e2"_s, u"e3"_s, u"e4"_s}, false},
      {10, {u"e1"_s, u"e2"_s, u"e3"_s, u"e4"_s}, false},
      {4, {u"e1"_s, u"e2"_s, u"e3"_s, u"e4"_s}, false},
      {2, {u"e3"_s, u"e4"_s}, true},
      {1, {u"e4"_s}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.limit);
    gHistoryLists = {};
    for (int i = 1; i <= 4; ++i) {
      subAddEntryInHistory(HistoryEventType::NOT_FOUND, QStringLiteral("10.0.0.1"), QStringLiteral("e%1").arg(i));
    }
    gConfiguration.AppState.blnHistoryModified = false;
    EXPECT_EQ(subTrimHistory(c.limit), c.modified);
    EXPECT_EQ(texts(gHistoryLists), c.kept);
    EXPECT_EQ(gConfiguration.AppState.blnHistoryModified, c.modified);
  }
}

TEST_F(HistoryStore, AHundredThousandEventsLoadWithTheLimitAndWithout) {
  QByteArray events;
  events.reserve(100000 * 90);
  for (int i = 1; i <= 100000; ++i) {
    events += event(i % 11 + 1, "10.0.0.1", "/e" + QByteArray::number(i));
  }
  const QString path = writeHistory(events);
  gConfiguration.History.MAX_ENTRY = -1;
  tHistoryLists lists = fnctLoadHistory(path);
  ASSERT_EQ(lists.count(), 100000);
  EXPECT_EQ(lists.events.back().text, QStringLiteral("/e100000"));
  gConfiguration.History.MAX_ENTRY = 65536;
  lists = fnctLoadHistory(path);
  ASSERT_EQ(lists.count(), 65536);
  EXPECT_EQ(lists.events.front().text, QStringLiteral("/e34465"));
  EXPECT_EQ(lists.events.back().text, QStringLiteral("/e100000"));
}

TEST_F(HistoryStore, FailedSaveKeepsTheFlagAndReportsWhy) {
  subAddEntryInHistory(HistoryEventType::NOT_FOUND, QStringLiteral("10.0.0.1"), QStringLiteral("/x"));
  const orv::platform::WriteResult result = subSaveHistory(folder_.file(QStringLiteral("no/such/history.xml")), false);
  EXPECT_FALSE(result.ok);
  EXPECT_FALSE(result.error.isEmpty());
  EXPECT_TRUE(gConfiguration.AppState.blnHistoryModified);
  EXPECT_EQ(gHistoryLists.count(), 1);
}

TEST_F(HistoryStore, StoredDatesReadInTheWrittenAndCommonForms) {
  struct Case {
    QString date;
    bool valid;
  };
  const std::vector<Case> cases = {
      {QStringLiteral("2006/03/07 04:05:09"), true},
      {QStringLiteral("2006-03-07T04:05:09"), true},
      {QLocale::system().toString(kNow, QLocale::ShortFormat), true},
      {QStringLiteral("2006/13/07 04:05:09"), false},
      {QStringLiteral("2006/03/07 25:05:09"), false},
      {QString(), false},
      {QStringLiteral("12"), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isValidHistoryEvent(QStringLiteral("1"), QStringLiteral("10.0.0.1"), c.date), c.valid)
        << c.date.toStdString();
  }
  for (int type = 0; type <= 12; ++type) {
    EXPECT_EQ(
        isValidHistoryEvent(QString::number(type), QStringLiteral("10.0.0.1"), QStringLiteral("2006/03/07 04:05:09")),
        type >= 1 && type <= 11)
        << type;
  }
}

}  // namespace
