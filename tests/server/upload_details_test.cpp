#include "server/upload_details.h"

#include "core/configuration.h"
#include "core/language.h"
#include "core/uploaded_store.h"
#include "platform/clock.h"
#include "server/connection_slots.h"
#include "server/file_reader.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <vector>

namespace {

using namespace Qt::StringLiterals;
using orv::core::gUploadedLists;
using orv::core::subAddUploadInUploadedLists;
using orv::server::ConnectionSlots;
using orv::server::fnctSystrayTooltipText;
using orv::server::fnctUploadInProgressInfos;
using orv::server::getUploadedFileInfos;
using orv::server::getUploadedFilesTotals;
using orv::server::getUploadInProgressInfos;
using orv::server::getUploadsInProgressTotals;
using orv::server::tUploadedFileInfos;
using orv::server::tUploadInProgressInfos;
using orv::server::tUploadsInProgressTotals;
using orv::server::UploadReading;

const QDateTime kStart(QDate(2006, 3, 7), QTime(4, 5, 9, 900));

class UploadDetails : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = orv::core::gConfiguration;
    gUploadedLists = {};
    orv::platform::setFixedDateTime(kStart);
    QLocale::setDefault(QLocale::c());
  }
  void TearDown() override {
    orv::platform::clearFixedDateTime();
    gUploadedLists = {};
    orv::core::gConfiguration = saved_;
    orv::core::gLanguage = {};
  }

  static UploadReading reading() {
    UploadReading upload;
    upload.isActiveUpload = true;
    upload.filePath = u"/srv/film.avi"_s;
    upload.startDate = kStart;
    upload.requiredFileSize = 4000;
    upload.bodyBytesSent = 1000;
    upload.bitRange = 1000;
    upload.fileSize = 5000;
    upload.uploadRate = 250;
    upload.clientAppName = u"curl/8"_s;
    upload.clientInfos = u"10.0.0.1 (bob)"_s;
    return upload;
  }

  orv::core::tConfiguration saved_;
};

// ---- An upload in progress ----

TEST_F(UploadDetails, AnUploadInProgressShowsWhatItsReaderTells) {
  const tUploadInProgressInfos infos = fnctUploadInProgressInfos(reading(), kStart.addSecs(4));
  EXPECT_EQ(infos.filePath, u"/srv/film.avi"_s);
  EXPECT_EQ(infos.startDate, kStart);
  EXPECT_EQ(infos.remainingBytes, 3000);
  EXPECT_EQ(infos.rangeStart, 1000) << "a range from byte 1000";
  EXPECT_EQ(infos.fileSize, 5000);
  EXPECT_EQ(infos.currentRate, 250);
  EXPECT_EQ(infos.averageRate, 250);
  EXPECT_EQ(infos.clientAppName, u"curl/8"_s);
  EXPECT_EQ(infos.clientInfos, u"10.0.0.1 (bob)"_s);
}

TEST_F(UploadDetails, RatesAreWholeBytesPerSecondOverTheSecondsPassed) {
  struct Case {
    const char* name;
    double sent;
    double rate;
    qint64 elapsedMs;  // from a start at .900 of its second
    double currentRate;
    double averageRate;
  };
  const std::vector<Case> cases = {
      {"nothing sent yet", 0, 0, 5000, 0, -1},
      {"in the second it started", 1000, 0, 50, 0, -1},
      {"a boundary passed after 100 ms", 1000, 0, 100, 0, 1000},
      {"a tick that sent nothing", 1000, 0, 2000, 0, 500},
      {"halves go to the even number", 5, 2.5, 2000, 2, 2},
      {"and up to the even number", 7, 3.5, 2000, 4, 4},
      {"a fraction rounds", 1000, 99.6, 3000, 100, 333},
      {"a clock set back", 1000, 10, -5000, 10, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UploadReading upload = reading();
    upload.bodyBytesSent = c.sent;
    upload.uploadRate = c.rate;
    const tUploadInProgressInfos infos = fnctUploadInProgressInfos(upload, kStart.addMSecs(c.elapsedMs));
    EXPECT_EQ(infos.currentRate, c.currentRate);
    EXPECT_EQ(infos.averageRate, c.averageRate);
  }
}

TEST_F(UploadDetails, ASlotWithoutAFileReaderGivesTheEmptyRecord) {
  ConnectionSlots slots;
  slots.loadSocket(1, u"test"_s);
  for (const int index : {0, 1, 2, -1, 32767}) {
    SCOPED_TRACE(index);
    const tUploadInProgressInfos infos = getUploadInProgressInfos(slots, index);
    EXPECT_TRUE(infos.filePath.isEmpty());
    EXPECT_FALSE(infos.startDate.isValid());
    EXPECT_EQ(infos.remainingBytes, 0);
    EXPECT_EQ(infos.averageRate, 0) << "0, not -1";
    EXPECT_TRUE(infos.clientInfos.isEmpty());
  }
}

TEST_F(UploadDetails, TheDetailsOfASlotAreReadFromItsFileReader) {
  ConnectionSlots slots;
  slots.loadSocket(2, u"test"_s);
  orv::server::usrFileReader& reader = slots.loadFileReader(2, u"test"_s);
  reader.setFilePath(u"/srv/song.mp3"_s);
  reader.setClientInfos(u"10.0.0.9"_s);
  reader.setClientAppName(u"player"_s);
  reader.setTransferStartDate(kStart.addSecs(-10));
  reader.setBitRange(0);
  const tUploadInProgressInfos infos = getUploadInProgressInfos(slots, 2);
  EXPECT_EQ(infos.filePath, u"/srv/song.mp3"_s);
  EXPECT_EQ(infos.clientInfos, u"10.0.0.9"_s);
  EXPECT_EQ(infos.clientAppName, u"player"_s);
  EXPECT_EQ(infos.startDate, kStart.addSecs(-10));
  EXPECT_EQ(infos.averageRate, -1) << "nothing sent";
}

// ---- The totals of the uploads in progress ----

TEST_F(UploadDetails, OnlyVisibleActiveUploadsCount) {
  ConnectionSlots slots;
  struct Slot {
    int index;
    bool active;
    bool invisible;
  };
  for (const Slot& s : {Slot{1, true, false}, Slot{2, true, true}, Slot{3, false, false}, Slot{5, true, false}}) {
    slots.loadSocket(s.index, u"test"_s);
    orv::server::usrFileReader& reader = slots.loadFileReader(s.index, u"test"_s);
    reader.setIsActiveUpload(s.active);
    reader.setIsInvibleTransfer(s.invisible);
  }
  slots.loadSocket(4, u"test"_s);  // a connection without a reader
  const tUploadsInProgressTotals totals = getUploadsInProgressTotals(slots);
  EXPECT_EQ(totals.nbUploads, 2);
  EXPECT_EQ(totals.remainingBytes, 0);
  EXPECT_EQ(totals.rate, 0);
  EXPECT_EQ(getUploadsInProgressTotals(ConnectionSlots()).nbUploads, 0);
}

TEST_F(UploadDetails, TheTrayLineJoinsTheTotalsWithTheirLabels) {
  orv::core::gLanguage.setText(u"SYSTEM_MENU/NB_UPLOADS_IN_PROGRESS", u"Uploads in progress"_s);
  orv::core::gLanguage.setText(u"SYSTEM_MENU/RATE", u"Rate"_s);
  orv::core::gLanguage.setText(u"SYSTEM_MENU/REMAINING", u"Remaining"_s);
  orv::core::gLanguage.setText(u"HTLM/OTHER/BYTE", u"byte"_s);
  orv::core::gLanguage.setText(u"HTLM/OTHER/BYTES", u"bytes"_s);
  orv::core::gLanguage.setText(u"HTLM/OTHER/KILOBYTE", u"KB"_s);
  orv::core::gLanguage.setText(u"HTLM/OTHER/MEGABYTE", u"MB"_s);
  struct Case {
    tUploadsInProgressTotals totals;
    QString expected;
  };
  const std::vector<Case> cases = {
      {{0, 0, 0}, u"Uploads in progress :0, Rate : 0 byte/s, Remaining :0 byte"_s},
      {{1, 500, 1}, u"Uploads in progress :1, Rate : 1 byte/s, Remaining :500 bytes"_s},
      {{2, 3145728, 2048}, u"Uploads in progress :2, Rate : 2 KB/s, Remaining :3 MB"_s},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(fnctSystrayTooltipText(c.totals), c.expected);
  }
  EXPECT_EQ(orv::server::getSystrayTooltipText(ConnectionSlots()), cases[0].expected);
}

// ---- The sent transfers ----

TEST_F(UploadDetails, ASentTransferComesWithTheValuesOfItsFile) {
  subAddUploadInUploadedLists(u"/srv/a"_s, u"10.0.0.1"_s, 100, true, true);
  subAddUploadInUploadedLists(u"/srv/a"_s, u"10.0.0.2 (bob)"_s, 50, false, false);
  const tUploadedFileInfos infos = getUploadedFileInfos(2);
  EXPECT_EQ(infos.clientInfos, u"10.0.0.2 (bob)"_s);
  EXPECT_EQ(infos.transferred, 50);
  EXPECT_FALSE(infos.isCompleteFile);
  EXPECT_FALSE(infos.isFinished);
  EXPECT_EQ(infos.filePath, u"/srv/a"_s);
  EXPECT_EQ(infos.nbFinishedSession, 1);
  EXPECT_EQ(infos.nbFinishedTotal, 1);
  EXPECT_EQ(infos.nbAbortSession, 1);
  EXPECT_EQ(infos.sizeSentSession, 150);
  EXPECT_EQ(infos.sizeSentTotal, 150);
}

TEST_F(UploadDetails, ARowWithoutItsFileHasZeroesAndANumberThatIsNoRowIsEmpty) {
  gUploadedLists.transfers.push_back({u"/srv/loaded"_s, false, u"2006/03/07 04:05:09"_s, u"10.0.0.1"_s, 7, true, true});
  const tUploadedFileInfos loaded = getUploadedFileInfos(1);
  EXPECT_EQ(loaded.filePath, u"/srv/loaded"_s);
  EXPECT_EQ(loaded.transferred, 7);
  EXPECT_EQ(loaded.nbFinishedSession, 0);
  EXPECT_EQ(loaded.nbFinishedTotal, 0);
  EXPECT_EQ(loaded.nbAbortSession, 0);
  EXPECT_EQ(loaded.sizeSentSession, 0);
  EXPECT_EQ(loaded.sizeSentTotal, 0);
  for (const qsizetype n : {qsizetype(0), qsizetype(-1), qsizetype(2), qsizetype(32767), qsizetype(-32768)}) {
    SCOPED_TRACE(n);
    const tUploadedFileInfos none = getUploadedFileInfos(n);
    EXPECT_TRUE(none.filePath.isEmpty());
    EXPECT_TRUE(none.clientInfos.isEmpty());
    EXPECT_EQ(none.transferred, 0);
    EXPECT_EQ(none.sizeSentTotal, 0);
  }
}

TEST_F(UploadDetails, TheSentTotalsCountEveryRow) {
  EXPECT_EQ(getUploadedFilesTotals().nbTransfers, 0);
  subAddUploadInUploadedLists(u"/srv/a"_s, u"10.0.0.1"_s, 100, true, true);
  subAddUploadInUploadedLists(u"/srv/b"_s, u"10.0.0.1"_s, 50, false, true);
  const orv::server::tUploadedFilesTotals totals = getUploadedFilesTotals();
  EXPECT_EQ(totals.transferredTotal, 150);
  EXPECT_EQ(totals.nbTransfers, 2);
  EXPECT_EQ(totals.nbFinished, 1);
}

}  // namespace
