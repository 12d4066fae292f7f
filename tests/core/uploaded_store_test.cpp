#include "core/uploaded_store.h"

#include "core/configuration.h"
#include "platform/clock.h"
#include "platform/xml.h"

#include "support/qt_printers.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLocale>

#include <vector>

namespace {

using namespace Qt::StringLiterals;
using orv::core::fnctLoadUploadedLists;
using orv::core::gConfiguration;
using orv::core::gUploadedLists;
using orv::core::isValidUploadedFile;
using orv::core::isValidUploadedTransfer;
using orv::core::kMaxUploadedCount;
using orv::core::kMaxUploadedTransfers;
using orv::core::subAddUploadInUploadedLists;
using orv::core::subClearUploadedTransfers;
using orv::core::subSaveUploadedLists;
using orv::core::tUploadedFile;
using orv::core::tUploadedLists;
using orv::core::tUploadedTransfer;

const QDateTime kNow(QDate(2006, 3, 7), QTime(4, 5, 9));
const QByteArray kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

class UploadedStore : public ::testing::Test {
 protected:
  void SetUp() override {
    gConfiguration = {};
    gUploadedLists = {};
    orv::platform::setFixedDateTime(kNow);
  }
  void TearDown() override {
    orv::platform::clearFixedDateTime();
    gUploadedLists = {};
    gConfiguration = {};
  }

  QString writeUploaded(const QByteArray& inside) const {
    return folder_.write(u"uploaded.xml"_s, kDeclaration + "<UPLOADED>" + inside + "</UPLOADED>");
  }

  static QByteArray transfer(const QByteArray& path, const QByteArray& transferred = "100",
                             const QByteArray& completeFile = "true", const QByteArray& finished = "true",
                             const QByteArray& date = "2006/03/07 04:05:09") {
    return "<TRANSFER path=\"" + path + "\" date=\"" + date + "\" clientInfos=\"10.0.0.1\" transferred=\"" +
           transferred + "\" completeFile=\"" + completeFile + "\" finished=\"" + finished + "\"/>";
  }

  static QByteArray file(const QByteArray& path, const QByteArray& nbFinished = "2",
                         const QByteArray& sizeSent = "300") {
    return "<FILE path=\"" + path + "\" nbFinished=\"" + nbFinished + "\" sizeSent=\"" + sizeSent + "\"/>";
  }

  static QStringList rowPaths(const tUploadedLists& lists) {
    QStringList paths;
    for (const tUploadedTransfer& row : lists.transfers) {
      paths << row.path;
    }
    return paths;
  }

  static QStringList filePaths(const tUploadedLists& lists) {
    QStringList paths;
    for (const tUploadedFile& entry : lists.filePaths) {
      paths << entry.path;
    }
    return paths;
  }

  QStringList folderEntries() const { return QDir(folder_.path()).entryList(QDir::Files, QDir::Name); }

  static QByteArray contents(const QString& path) {
    QFile in(path);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
  }

  TempFolder folder_;
};

// ---- Adding ----

TEST_F(UploadedStore, FinishedTransferCountsForTheRunAndInTotal) {
  subAddUploadInUploadedLists(u"/srv/a.bin"_s, u"10.0.0.1 (bob)"_s, 5000, true, true);
  const tUploadedFile a = gUploadedLists.file(u"/srv/a.bin"_s);
  EXPECT_EQ(a.nbFinishedSession, 1);
  EXPECT_EQ(a.nbFinishedTotal, 1);
  EXPECT_EQ(a.nbAbortSession, 0);
  EXPECT_EQ(a.sizeSentSession, 5000);
  EXPECT_EQ(a.sizeSentTotal, 5000);
  ASSERT_EQ(gUploadedLists.transfers.size(), 1u);
  const tUploadedTransfer& row = gUploadedLists.transfers[0];
  EXPECT_EQ(row.path, u"/srv/a.bin"_s);
  EXPECT_TRUE(row.isSessionTransfer);
  EXPECT_EQ(row.date, u"2006/03/07 04:05:09"_s);
  EXPECT_EQ(row.clientInfos, u"10.0.0.1 (bob)"_s);
  EXPECT_EQ(row.transferred, 5000);
  EXPECT_TRUE(row.completeFile);
  EXPECT_TRUE(row.finished);
  EXPECT_TRUE(gConfiguration.AppState.blnUploadedModified);
}

TEST_F(UploadedStore, AbortedAndRangeTransfersCountApart) {
  subAddUploadInUploadedLists(u"/srv/a.bin"_s, u"10.0.0.1"_s, 700, false, true);
  subAddUploadInUploadedLists(u"/srv/a.bin"_s, u"10.0.0.2"_s, 300, true, false);
  ASSERT_EQ(gUploadedLists.filePaths.count(), 1);
  const tUploadedFile a = gUploadedLists.file(u"/srv/a.bin"_s);
  EXPECT_EQ(a.nbAbortSession, 1);
  EXPECT_EQ(a.nbFinishedSession, 1);
  EXPECT_EQ(a.nbFinishedTotal, 1);
  EXPECT_EQ(a.sizeSentSession, 1000);
  EXPECT_EQ(a.sizeSentTotal, 1000);
  ASSERT_EQ(gUploadedLists.transfers.size(), 2u);
  EXPECT_FALSE(gUploadedLists.transfers[0].finished);
  EXPECT_FALSE(gUploadedLists.transfers[1].completeFile);
  EXPECT_TRUE(gUploadedLists.transfers[1].finished);
  EXPECT_EQ(gUploadedLists.file(u"/srv/other"_s).sizeSentTotal, 0);  // no entry reads as zero
}

// The file system tells "A.bin" from "a.bin": so does the store.
TEST_F(UploadedStore, PathsThatDifferInCaseAreTwoFiles) {
  subAddUploadInUploadedLists(u"/srv/A.bin"_s, u"10.0.0.1"_s, 700, true, true);
  subAddUploadInUploadedLists(u"/srv/a.bin"_s, u"10.0.0.1"_s, 300, true, true);
  EXPECT_EQ(filePaths(gUploadedLists), QStringList({u"/srv/A.bin"_s, u"/srv/a.bin"_s}));
  EXPECT_EQ(gUploadedLists.file(u"/srv/A.bin"_s).sizeSentTotal, 700);
  EXPECT_EQ(gUploadedLists.file(u"/srv/a.bin"_s).sizeSentTotal, 300);
  EXPECT_EQ(gUploadedLists.file(u"/SRV/A.BIN"_s).nbFinishedTotal, 0);

  const QString path = folder_.file(u"uploaded.xml"_s);
  ASSERT_TRUE(subSaveUploadedLists(path).ok);
  const tUploadedLists again = fnctLoadUploadedLists(path);
  EXPECT_EQ(filePaths(again), QStringList({u"/srv/A.bin"_s, u"/srv/a.bin"_s}));
  EXPECT_EQ(again.file(u"/srv/a.bin"_s).sizeSentTotal, 300);
}

TEST_F(UploadedStore, PastTheLimitTheOldestRowsGoAndTheTotalsStay) {
  const qsizetype extra = 5;
  for (qsizetype i = 0; i < kMaxUploadedTransfers + extra; ++i) {
    subAddUploadInUploadedLists(i < extra ? u"/srv/old"_s : u"/srv/small"_s, u"10.0.0.1"_s, 10, true, true);
  }
  ASSERT_EQ(static_cast<qsizetype>(gUploadedLists.transfers.size()), kMaxUploadedTransfers);
  EXPECT_EQ(gUploadedLists.transfers.front().path, u"/srv/small"_s);
  const tUploadedFile old = gUploadedLists.file(u"/srv/old"_s);
  EXPECT_EQ(old.nbFinishedTotal, extra);
  EXPECT_EQ(old.sizeSentTotal, 10.0 * extra);
  EXPECT_EQ(gUploadedLists.file(u"/srv/small"_s).nbFinishedTotal, kMaxUploadedTransfers);
  EXPECT_EQ(filePaths(gUploadedLists), QStringList({u"/srv/old"_s, u"/srv/small"_s}));
}

// Totals that reach the largest number a file may hold stay there, so that the next start
// does not refuse what this one wrote.
TEST_F(UploadedStore, TotalsAtTheirLimitStayReadable) {
  const QString path =
      writeUploaded("<TRANSFERS/><FILES>" + file("/srv/a", "2147483647", "9007199254740990") + "</FILES>");
  gUploadedLists = fnctLoadUploadedLists(path);
  ASSERT_EQ(gUploadedLists.file(u"/srv/a"_s).nbFinishedTotal, kMaxUploadedCount);
  subAddUploadInUploadedLists(u"/srv/a"_s, u"10.0.0.1"_s, 100, true, true);
  subAddUploadInUploadedLists(u"/srv/a"_s, u"10.0.0.1"_s, 1e300, false, true);
  ASSERT_TRUE(subSaveUploadedLists(path).ok);
  const tUploadedLists again = fnctLoadUploadedLists(path);
  EXPECT_EQ(again.file(u"/srv/a"_s).nbFinishedTotal, kMaxUploadedCount);
  EXPECT_EQ(again.file(u"/srv/a"_s).sizeSentTotal, orv::core::kMaxUploadedBytes);
  EXPECT_EQ(again.transfers.size(), 2u);
}

TEST_F(UploadedStore, ClearingTheListKeepsTheFiles) {
  subAddUploadInUploadedLists(u"/srv/a"_s, u"10.0.0.1"_s, 5, true, true);
  gConfiguration.AppState.blnUploadedModified = false;
  subClearUploadedTransfers();
  EXPECT_TRUE(gUploadedLists.transfers.empty());
  EXPECT_EQ(gUploadedLists.file(u"/srv/a"_s).nbFinishedTotal, 1);
  EXPECT_TRUE(gConfiguration.AppState.blnUploadedModified);
}

TEST_F(UploadedStore, TransferNumbersOutsideTheRowsNameNoRow) {
  subAddUploadInUploadedLists(u"/srv/a"_s, u"10.0.0.1"_s, 5, true, true);
  subAddUploadInUploadedLists(u"/srv/b"_s, u"10.0.0.1"_s, 5, true, true);
  ASSERT_NE(gUploadedLists.transfer(1), nullptr);
  EXPECT_EQ(gUploadedLists.transfer(1)->path, u"/srv/a"_s);
  EXPECT_EQ(gUploadedLists.transfer(2)->path, u"/srv/b"_s);
  for (const qsizetype n : {qsizetype(0), qsizetype(-1), qsizetype(3), qsizetype(32768)}) {
    EXPECT_EQ(gUploadedLists.transfer(n), nullptr) << n;
  }
}

// ---- Writing ----

TEST_F(UploadedStore, EmptyStoreIsWrittenAsTheTwoEmptySections) {
  const QString path = folder_.file(u"uploaded.xml"_s);
  ASSERT_TRUE(subSaveUploadedLists(path).ok);
  EXPECT_EQ(contents(path), kDeclaration + "<UPLOADED>\n  <TRANSFERS/>\n  <FILES/>\n</UPLOADED>\n");
}

TEST_F(UploadedStore, RowsAndFilesAreWrittenInOrderWithPlainNumbers) {
  // Numbers never take the user's separators, nor an exponent.
  const QLocale saved;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  subAddUploadInUploadedLists(u"/srv/b"_s, u"10.0.0.2"_s, 1e15, false, false);
  subAddUploadInUploadedLists(u"/srv/a"_s, u"10.0.0.1 (bob)"_s, 5000000000.0, true, true);
  const QString path = folder_.file(u"uploaded.xml"_s);
  ASSERT_TRUE(subSaveUploadedLists(path).ok);
  QLocale::setDefault(saved);
  EXPECT_EQ(contents(path),
            kDeclaration +
                "<UPLOADED>\n  <TRANSFERS>\n"
                "    <TRANSFER path=\"/srv/b\" date=\"2006/03/07 04:05:09\" clientInfos=\"10.0.0.2\" "
                "transferred=\"1000000000000000\" completeFile=\"false\" finished=\"false\"/>\n"
                "    <TRANSFER path=\"/srv/a\" date=\"2006/03/07 04:05:09\" clientInfos=\"10.0.0.1 (bob)\" "
                "transferred=\"5000000000\" completeFile=\"true\" finished=\"true\"/>\n"
                "  </TRANSFERS>\n  <FILES>\n"
                "    <FILE path=\"/srv/b\" nbFinished=\"0\" sizeSent=\"1000000000000000\"/>\n"
                "    <FILE path=\"/srv/a\" nbFinished=\"1\" sizeSent=\"5000000000\"/>\n"
                "  </FILES>\n</UPLOADED>\n");
}

TEST_F(UploadedStore, SavedStoreReadsBackWithTotalsOnly) {
  subAddUploadInUploadedLists(u"/srv/a.bin"_s, u"10.0.0.1"_s, 5000000000.0, true, true);
  subAddUploadInUploadedLists(u"/srv/b & <c> \"d\" 'e'.txt"_s, u"10.0.0.2 (\u00e9lise)"_s, 40, false, false);
  const QString path = folder_.file(u"uploaded.xml"_s);
  ASSERT_TRUE(subSaveUploadedLists(path).ok);
  EXPECT_FALSE(gConfiguration.AppState.blnUploadedModified);

  const tUploadedLists again = fnctLoadUploadedLists(path);
  ASSERT_EQ(again.transfers.size(), 2u);
  for (std::size_t i = 0; i < again.transfers.size(); ++i) {
    const tUploadedTransfer& before = gUploadedLists.transfers[i];
    const tUploadedTransfer& after = again.transfers[i];
    EXPECT_EQ(after.path, before.path);
    EXPECT_EQ(after.date, before.date);
    EXPECT_EQ(after.clientInfos, before.clientInfos);
    EXPECT_EQ(after.transferred, before.transferred);
    EXPECT_EQ(after.completeFile, before.completeFile);
    EXPECT_EQ(after.finished, before.finished);
    EXPECT_FALSE(after.isSessionTransfer);
  }
  EXPECT_EQ(filePaths(again), filePaths(gUploadedLists));
  const tUploadedFile a = again.file(u"/srv/a.bin"_s);
  EXPECT_EQ(a.nbFinishedTotal, 1);
  EXPECT_EQ(a.sizeSentTotal, 5000000000.0);
  EXPECT_EQ(a.nbFinishedSession, 0);
  EXPECT_EQ(a.sizeSentSession, 0);
  const tUploadedFile b = again.file(u"/srv/b & <c> \"d\" 'e'.txt"_s);
  EXPECT_EQ(b.nbFinishedTotal, 0);
  EXPECT_EQ(b.sizeSentTotal, 40);
  EXPECT_EQ(b.nbAbortSession, 0);
  EXPECT_FALSE(gConfiguration.AppState.blnUploadedModified) << "a sound file is not rewritten";
}

TEST_F(UploadedStore, FailedSaveKeepsTheFlag) {
  subAddUploadInUploadedLists(u"/srv/a"_s, u"10.0.0.1"_s, 1, true, true);
  const orv::platform::WriteResult result = subSaveUploadedLists(folder_.file(u"missing-folder/uploaded.xml"_s));
  EXPECT_FALSE(result.ok);
  EXPECT_FALSE(result.error.isEmpty());
  EXPECT_TRUE(gConfiguration.AppState.blnUploadedModified);
}

// ---- Reading ----

TEST_F(UploadedStore, BooleansReadTrueOnlyForTrueInAnyCase) {
  const tUploadedLists lists =
      fnctLoadUploadedLists(writeUploaded("<TRANSFERS>" + transfer("/a", "1", "TRUE", "yes") +
                                          transfer("/b", "1", "false", "True") + "</TRANSFERS><FILES/>"));
  ASSERT_EQ(lists.transfers.size(), 2u);
  EXPECT_TRUE(lists.transfers[0].completeFile);
  EXPECT_FALSE(lists.transfers[0].finished);
  EXPECT_FALSE(lists.transfers[1].completeFile);
  EXPECT_TRUE(lists.transfers[1].finished);
}

TEST_F(UploadedStore, SoundNumbersAndDatesLoad) {
  struct Case {
    const char* name;
    QByteArray transferred;
    QByteArray date;
    double expected;
  };
  const std::vector<Case> cases = {
      {"zero", "0", "2006/03/07 04:05:09", 0},
      {"beyond 32 bits", "5000000000", "2006/03/07 04:05:09", 5000000000.0},
      {"the largest", "9007199254740992", "2006/03/07 04:05:09", 9007199254740992.0},
      {"spaces around", " 12 ", "2006/03/07 04:05:09", 12},
      {"ISO date", "7", "2006-03-07T04:05:09", 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const tUploadedLists lists = fnctLoadUploadedLists(
        writeUploaded("<TRANSFERS>" + transfer("/a", c.transferred, "true", "true", c.date) + "</TRANSFERS><FILES/>"));
    ASSERT_EQ(lists.transfers.size(), 1u);
    EXPECT_EQ(lists.transfers[0].transferred, c.expected);
    EXPECT_EQ(lists.transfers[0].date, QString::fromLatin1(c.date));
  }
}

TEST_F(UploadedStore, InvalidTransfersAreSkippedOneByOne) {
  struct Case {
    const char* name;
    QByteArray element;
  };
  const std::vector<Case> cases = {
      {"negative transferred", transfer("/bad", "-1")},
      {"negative fraction", transfer("/bad", "-0.5")},
      {"transferred not a number", transfer("/bad", "lots")},
      {"transferred with trailing text", transfer("/bad", "12abc")},
      {"transferred with a thousands separator", transfer("/bad", "1,000")},
      {"transferred empty", transfer("/bad", "")},
      {"transferred infinite", transfer("/bad", "inf")},
      {"transferred not a number at all", transfer("/bad", "nan")},
      {"transferred 10^30", transfer("/bad", "1000000000000000000000000000000")},
      {"transferred 1e30", transfer("/bad", "1e30")},
      {"transferred past 2^53", transfer("/bad", "9007199254740994")},
      {"empty path", transfer("", "1")},
      {"empty clientInfos",
       "<TRANSFER path=\"/bad\" date=\"2006/03/07 04:05:09\" clientInfos=\"\" transferred=\"1\" "
       "completeFile=\"true\" finished=\"true\"/>"},
      {"date not a date", transfer("/bad", "1", "true", "true", "soon")},
      {"date empty", transfer("/bad", "1", "true", "true", "")},
      {"date of a 13th month", transfer("/bad", "1", "true", "true", "2006/13/07 04:05:09")},
      {"date of 30 February", transfer("/bad", "1", "true", "true", "2006/02/30 04:05:09")},
      {"time of 25 hours", transfer("/bad", "1", "true", "true", "2006/03/07 25:05:09")},
      {"no finished attribute",
       "<TRANSFER path=\"/bad\" date=\"2006/03/07 04:05:09\" clientInfos=\"10.0.0.1\" "
       "transferred=\"1\" completeFile=\"true\"/>"},
      {"no path attribute",
       "<TRANSFER date=\"2006/03/07 04:05:09\" clientInfos=\"10.0.0.1\" transferred=\"1\" "
       "completeFile=\"true\" finished=\"true\"/>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QString path =
        writeUploaded("<TRANSFERS>" + transfer("/before") + c.element + transfer("/after") + "</TRANSFERS><FILES/>");
    const tUploadedLists lists = fnctLoadUploadedLists(path);
    EXPECT_EQ(rowPaths(lists), QStringList({u"/before"_s, u"/after"_s}));
    EXPECT_EQ(folderEntries(), QStringList({u"uploaded.xml"_s})) << "a sound file is not set aside";
  }
}

TEST_F(UploadedStore, InvalidFilesAreSkippedAndTheirRowsStillLoad) {
  struct Case {
    const char* name;
    QByteArray element;
  };
  const std::vector<Case> cases = {
      {"negative nbFinished", file("/bad", "-1")},
      {"nbFinished beyond 32 bits", file("/bad", "2147483648")},
      {"nbFinished 10^30", file("/bad", "1000000000000000000000000000000")},
      {"nbFinished not a number", file("/bad", "two")},
      {"negative sizeSent", file("/bad", "1", "-5")},
      {"sizeSent not a number", file("/bad", "1", "x")},
      {"sizeSent 10^30", file("/bad", "1", "1e30")},
      {"empty path", file("", "1")},
      {"no sizeSent attribute", "<FILE path=\"/bad\" nbFinished=\"1\"/>"},
      {"the same path again", file("/before", "9", "9")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const tUploadedLists lists =
        fnctLoadUploadedLists(writeUploaded("<TRANSFERS>" + transfer("/bad") + "</TRANSFERS><FILES>" + file("/before") +
                                            c.element + file("/after") + "</FILES>"));
    EXPECT_EQ(filePaths(lists), QStringList({u"/before"_s, u"/after"_s}));
    EXPECT_EQ(lists.file(u"/before"_s).nbFinishedTotal, 2);
    EXPECT_EQ(lists.file(u"/bad"_s).nbFinishedTotal, 0);
    EXPECT_EQ(rowPaths(lists), QStringList({u"/bad"_s}));
  }
}

TEST_F(UploadedStore, FilesWhosePathsDifferInCaseBothLoad) {
  const tUploadedLists lists = fnctLoadUploadedLists(
      writeUploaded("<TRANSFERS/><FILES>" + file("/srv/a", "1", "10") + file("/srv/A", "2", "20") + "</FILES>"));
  EXPECT_EQ(filePaths(lists), QStringList({u"/srv/a"_s, u"/srv/A"_s}));
  EXPECT_EQ(lists.file(u"/srv/A"_s).sizeSentTotal, 20);
}

TEST_F(UploadedStore, EachSectionLoadsWithoutTheOther) {
  const tUploadedLists rowsOnly = fnctLoadUploadedLists(writeUploaded("<TRANSFERS>" + transfer("/a") + "</TRANSFERS>"));
  EXPECT_EQ(rowPaths(rowsOnly), QStringList({u"/a"_s}));
  const tUploadedLists filesOnly = fnctLoadUploadedLists(writeUploaded("<FILES>" + file("/a") + "</FILES>"));
  EXPECT_EQ(filePaths(filesOnly), QStringList({u"/a"_s}));
  EXPECT_TRUE(filesOnly.transfers.empty());
}

TEST_F(UploadedStore, OnlyTheFirstSectionsAndTheirOwnChildrenCount) {
  const tUploadedLists lists = fnctLoadUploadedLists(
      writeUploaded("<TRANSFERS>" + transfer("/first") + "<GROUP>" + transfer("/nested") + "</GROUP></TRANSFERS>" +
                    "<TRANSFERS>" + transfer("/second section") + "</TRANSFERS><FILES>" + file("/first") + "</FILES>"));
  EXPECT_EQ(rowPaths(lists), QStringList({u"/first"_s}));
  EXPECT_EQ(filePaths(lists), QStringList({u"/first"_s}));
}

TEST_F(UploadedStore, AFileOfMoreRowsThanTheLimitKeepsTheNewestSoundOnes) {
  QByteArray rows;
  const int count = 40000;
  for (int i = 0; i < count; ++i) {
    rows += transfer("/row" + QByteArray::number(i));
    if (i % 1000 == 999) {
      rows += transfer("/bad", "-1");  // skipped, never counted
    }
  }
  const tUploadedLists lists = fnctLoadUploadedLists(writeUploaded("<TRANSFERS>" + rows + "</TRANSFERS><FILES/>"));
  ASSERT_EQ(static_cast<qsizetype>(lists.transfers.size()), kMaxUploadedTransfers);
  EXPECT_EQ(lists.transfers.front().path, u"/row%1"_s.arg(count - kMaxUploadedTransfers));
  EXPECT_EQ(lists.transfers.back().path, u"/row%1"_s.arg(count - 1));
  for (std::size_t i = 1; i < lists.transfers.size(); ++i) {
    ASSERT_EQ(lists.transfers[i].path, u"/row%1"_s.arg(count - kMaxUploadedTransfers + static_cast<int>(i)));
  }
}

// ---- Files that cannot be read whole ----

TEST_F(UploadedStore, AFileThatCannotBeReadWholeIsKeptAsideWithWhatWasSound) {
  struct Case {
    const char* name;
    QByteArray bytes;
    QStringList rows;  // what was sound before the fault
  };
  const std::vector<Case> cases = {
      {"not XML", "\x01\x02 binary", {}},
      {"text", "uploads: many", {}},
      {"truncated",
       kDeclaration + "<UPLOADED><TRANSFERS>" + transfer("/a") + transfer("/b") + "<TRANSF",
       {u"/a"_s, u"/b"_s}},
      {"cut before its end tag", kDeclaration + "<UPLOADED><TRANSFERS>" + transfer("/a") + "</TRANSFERS>", {u"/a"_s}},
      {"other root", kDeclaration + "<HISTORY><TRANSFERS>" + transfer("/a") + "</TRANSFERS></HISTORY>", {}},
      {"a declared entity",
       "<!DOCTYPE UPLOADED [<!ENTITY x \"xxxxxxxxxx\"><!ENTITY y \"&x;&x;&x;&x;&x;&x;&x;&x;&x;&x;\">]>"
       "<UPLOADED><TRANSFERS>" +
           transfer("/&y;") + "</TRANSFERS></UPLOADED>",
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TempFolder folder;
    const QString path = folder.write(u"uploaded.xml"_s, c.bytes);
    gConfiguration.AppState.blnUploadedModified = false;
    const tUploadedLists lists = fnctLoadUploadedLists(path);
    EXPECT_EQ(rowPaths(lists), c.rows);
    EXPECT_EQ(lists.filePaths.count(), 0);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList({u"uploaded.xml.bad-20060307-040509"_s}));
    EXPECT_EQ(contents(folder.file(u"uploaded.xml.bad-20060307-040509"_s)), c.bytes);
    EXPECT_TRUE(gConfiguration.AppState.blnUploadedModified) << "the sound part is written at exit";
  }
}

TEST_F(UploadedStore, TheNextSaveKeepsWhatWasSoundAndNoFileKeptAsideIsReplaced) {
  const QString path = folder_.write(u"uploaded.xml"_s, "<UPLOADED><TRANSFERS>" + transfer("/a") + "<TRANSF");
  folder_.write(u"uploaded.xml.bad-20060307-040509"_s, "an older one");
  gUploadedLists = fnctLoadUploadedLists(path);
  EXPECT_EQ(folderEntries(),
            QStringList({u"uploaded.xml.bad-20060307-040509"_s, u"uploaded.xml.bad-20060307-040509-2"_s}));
  EXPECT_EQ(contents(folder_.file(u"uploaded.xml.bad-20060307-040509"_s)), "an older one");
  ASSERT_TRUE(subSaveUploadedLists(path).ok);
  EXPECT_EQ(rowPaths(fnctLoadUploadedLists(path)), QStringList({u"/a"_s}));
}

TEST_F(UploadedStore, AMissingOrEmptyFileGivesAnEmptyStoreAndNothingAside) {
  EXPECT_TRUE(fnctLoadUploadedLists(folder_.file(u"missing.xml"_s)).transfers.empty());
  const tUploadedLists lists = fnctLoadUploadedLists(folder_.write(u"uploaded.xml"_s, ""));
  EXPECT_TRUE(lists.transfers.empty());
  EXPECT_EQ(folderEntries(), QStringList({u"uploaded.xml"_s}));
  EXPECT_FALSE(gConfiguration.AppState.blnUploadedModified);
}

// ---- The entry checks ----

TEST_F(UploadedStore, EntryChecks) {
  EXPECT_TRUE(isValidUploadedTransfer(u"/a"_s, u"2006/03/07 04:05:09"_s, u"10.0.0.1"_s, u"0"_s));
  EXPECT_TRUE(isValidUploadedTransfer(u"/a"_s, u"2006/03/07 04:05:09"_s, u"10.0.0.1"_s, u"1.5"_s));
  EXPECT_FALSE(isValidUploadedTransfer(u"/a"_s, u"2006/03/07 04:05:09"_s, u"10.0.0.1"_s, u"1e30"_s));
  EXPECT_FALSE(isValidUploadedTransfer(u"/a"_s, u"yesterday"_s, u"10.0.0.1"_s, u"1"_s));
  EXPECT_FALSE(isValidUploadedTransfer(u"/a"_s, u"2006/03/07 04:05:09"_s, u""_s, u"1"_s));
  EXPECT_TRUE(isValidUploadedFile(u"/a"_s, u"0"_s, u"0"_s));
  EXPECT_TRUE(isValidUploadedFile(u"/a"_s, u"2147483647"_s, u"9007199254740992"_s));
  EXPECT_FALSE(isValidUploadedFile(u"/a"_s, u"2147483648"_s, u"0"_s));
  EXPECT_FALSE(isValidUploadedFile(u"/a"_s, u"1"_s, u"-1"_s));
  EXPECT_FALSE(isValidUploadedFile(u""_s, u"1"_s, u"1"_s));
}

}  // namespace
