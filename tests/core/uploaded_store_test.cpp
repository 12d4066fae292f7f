#include "core/uploaded_store.h"

#include "core/configuration.h"
#include "platform/clock.h"
#include "platform/xml.h"

#include "support/qt_printers.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace Qt::StringLiterals;
using orv::core::fnctLoadUploadedLists;
using orv::core::gConfiguration;
using orv::core::gUploadedLists;
using orv::core::subAddUploadInUploadedLists;
using orv::core::subSaveUploadedLists;
using orv::core::tUploadedFile;
using orv::core::tUploadedLists;
using orv::core::tUploadedTransfer;

const QDateTime kNow(QDate(2006, 3, 7), QTime(4, 5, 9));

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
    return folder_.write(u"uploaded.xml"_s,
                         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<UPLOADED>" + inside + "</UPLOADED>");
  }

  static QByteArray transfer(const QByteArray& path, const QByteArray& transferred = "100",
                             const QByteArray& completeFile = "true", const QByteArray& finished = "true") {
    return "<TRANSFER path=\"" + path + "\" date=\"2006/03/07 04:05:09\" clientInfos=\"10.0.0.1\" transferred=\"" +
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
    for (const auto& entry : lists.filePaths) {
      paths << entry.value.path;
    }
    return paths;
  }

  TempFolder folder_;
};

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

TEST_F(UploadedStore, AbortedAndRangeTransfersCountApartAndPathsIgnoreCase) {
  subAddUploadInUploadedLists(u"/srv/A.bin"_s, u"10.0.0.1"_s, 700, false, true);
  subAddUploadInUploadedLists(u"/srv/a.BIN"_s, u"10.0.0.2"_s, 300, true, false);
  ASSERT_EQ(gUploadedLists.filePaths.count(), 1);
  const tUploadedFile a = gUploadedLists.file(u"/SRV/A.BIN"_s);
  EXPECT_EQ(a.path, u"/srv/A.bin"_s);  // the first spelling names the file
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

TEST_F(UploadedStore, EmptyStoreIsWrittenAsTheTwoEmptySections) {
  const QString path = folder_.file(u"uploaded.xml"_s);
  ASSERT_TRUE(subSaveUploadedLists(path).ok);
  const orv::xml::Document document = orv::xml::Document::fromFile(path);
  const orv::xml::Element root = document.documentElement();
  EXPECT_EQ(root.name(), u"UPLOADED"_s);
  const auto sections = root.childElements();
  ASSERT_EQ(sections.size(), 2u);
  EXPECT_EQ(sections[0].name(), u"TRANSFERS"_s);
  EXPECT_EQ(sections[1].name(), u"FILES"_s);
  EXPECT_TRUE(sections[0].childElements().empty());
  EXPECT_TRUE(sections[1].childElements().empty());
}

TEST_F(UploadedStore, SavedStoreReadsBackWithTotalsOnly) {
  subAddUploadInUploadedLists(u"/srv/a.bin"_s, u"10.0.0.1"_s, 5000000000.0, true, true);  // beyond 32 bits
  subAddUploadInUploadedLists(u"/srv/b & <c>.txt"_s, u"10.0.0.2 (\u00e9lise)"_s, 40, false, false);
  gConfiguration.AppState.blnUploadedModified = true;
  const QString path = folder_.file(u"uploaded.xml"_s);
  ASSERT_TRUE(subSaveUploadedLists(path).ok);
  EXPECT_FALSE(gConfiguration.AppState.blnUploadedModified);

  const orv::xml::Document document = orv::xml::Document::fromFile(path);
  const auto files = document.documentElement().firstChildElement(u"FILES"_s).childElements();
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].attribute(u"sizeSent"_s), u"5000000000"_s);
  EXPECT_EQ(files[1].attribute(u"nbFinished"_s), u"0"_s);  // aborted only
  EXPECT_EQ(files[1].attribute(u"sizeSent"_s), u"40"_s);

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
  EXPECT_EQ(again.file(u"/srv/b & <c>.txt"_s).nbAbortSession, 0);
}

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

TEST_F(UploadedStore, InvalidTransfersAreSkippedOneByOne) {
  struct Case {
    const char* name;
    QByteArray element;
  };
  const std::vector<Case> cases = {
      {"negative transferred", transfer("/bad", "-1")},
      {"transferred not a number", transfer("/bad", "lots")},
      {"transferred infinite", transfer("/bad", "inf")},
      {"empty path", transfer("", "1")},
      {"empty clientInfos",
       "<TRANSFER path=\"/bad\" date=\"2006/03/07 04:05:09\" clientInfos=\"\" transferred=\"1\" "
       "completeFile=\"true\" finished=\"true\"/>"},
      {"date not a date",
       "<TRANSFER path=\"/bad\" date=\"soon\" clientInfos=\"10.0.0.1\" transferred=\"1\" "
       "completeFile=\"true\" finished=\"true\"/>"},
      {"no finished attribute",
       "<TRANSFER path=\"/bad\" date=\"2006/03/07 04:05:09\" clientInfos=\"10.0.0.1\" "
       "transferred=\"1\" completeFile=\"true\"/>"},
      {"no path attribute",
       "<TRANSFER date=\"2006/03/07 04:05:09\" clientInfos=\"10.0.0.1\" transferred=\"1\" "
       "completeFile=\"true\" finished=\"true\"/>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const tUploadedLists lists = fnctLoadUploadedLists(
        writeUploaded("<TRANSFERS>" + transfer("/before") + c.element + transfer("/after") + "</TRANSFERS><FILES/>"));
    EXPECT_EQ(rowPaths(lists), QStringList({u"/before"_s, u"/after"_s}));
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
      {"negative sizeSent", file("/bad", "1", "-5")},
      {"sizeSent not a number", file("/bad", "1", "x")},
      {"empty path", file("", "1")},
      {"no sizeSent attribute", "<FILE path=\"/bad\" nbFinished=\"1\"/>"},
      {"the same path in other case", file("/BEFORE", "9", "9")},
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

TEST_F(UploadedStore, EachSectionLoadsWithoutTheOther) {
  const tUploadedLists rowsOnly = fnctLoadUploadedLists(writeUploaded("<TRANSFERS>" + transfer("/a") + "</TRANSFERS>"));
  EXPECT_EQ(rowPaths(rowsOnly), QStringList({u"/a"_s}));
  const tUploadedLists filesOnly = fnctLoadUploadedLists(writeUploaded("<FILES>" + file("/a") + "</FILES>"));
  EXPECT_EQ(filePaths(filesOnly), QStringList({u"/a"_s}));
  EXPECT_TRUE(filesOnly.transfers.empty());
}

TEST_F(UploadedStore, UnreadableFilesGiveAnEmptyStore) {
  const std::vector<std::pair<const char*, QByteArray>> files = {
      {"empty file", ""},
      {"not XML", "\x01\x02 binary"},
      {"truncated", "<UPLOADED><TRANSFERS>" + transfer("/a")},
      {"other root", "<HISTORY><TRANSFERS>" + transfer("/a") + "</TRANSFERS></HISTORY>"},
  };
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    const tUploadedLists lists = fnctLoadUploadedLists(folder_.write(u"uploaded.xml"_s, bytes));
    EXPECT_TRUE(lists.transfers.empty());
    EXPECT_EQ(lists.filePaths.count(), 0);
  }
  EXPECT_TRUE(fnctLoadUploadedLists(folder_.file(u"missing.xml"_s)).transfers.empty());
}

TEST_F(UploadedStore, FailedSaveKeepsTheFlag) {
  subAddUploadInUploadedLists(u"/srv/a"_s, u"10.0.0.1"_s, 1, true, true);
  const orv::platform::WriteResult result = subSaveUploadedLists(folder_.file(u"missing-folder/uploaded.xml"_s));
  EXPECT_FALSE(result.ok);
  EXPECT_FALSE(result.error.isEmpty());
  EXPECT_TRUE(gConfiguration.AppState.blnUploadedModified);
}

}  // namespace
