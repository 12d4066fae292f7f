#include "desktop/uploads_texts.h"

#include "core/formats.h"
#include "core/language.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace {

using namespace Qt::StringLiterals;
using orv::desktop::ProgressBarGeometry;
using orv::server::tUploadedFileInfos;
using orv::server::tUploadInProgressInfos;

class UploadsTexts : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = orv::core::gLanguage;
    orv::core::gLanguage = orv::core::fnctLoadLanguage(QStringLiteral(ORV_SOURCE_DIR "/lang/english.xml"));
    ASSERT_TRUE(orv::core::gLanguage.blnLoaded);
  }
  void TearDown() override { orv::core::gLanguage = saved_; }

 private:
  orv::core::tLanguage saved_;
};

TEST_F(UploadsTexts, FileNamesAndFoldersOfPaths) {
  struct Case {
    QString path, name, folder;
  };
  const Case cases[] = {
      {u"/srv/music/song.mp3"_s, u"song.mp3"_s, u"/srv/music/"_s},
      {u"song.mp3"_s, u"song.mp3"_s, QString()},
      {u"C:\\music\\song.mp3"_s, u"song.mp3"_s, u"C:\\music\\"_s},
      {u"/srv/"_s, QString(), u"/srv/"_s},
      // A name the file system gave as bytes that are not UTF-8 keeps its replacement marks.
      {u"/srv/caf\uFFFD.txt"_s, u"caf\uFFFD.txt"_s, u"/srv/"_s},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(orv::desktop::fnctUploadFileName(c.path), c.name) << c.path.toStdString();
    EXPECT_EQ(orv::desktop::fnctUploadFolder(c.path), c.folder) << c.path.toStdString();
  }
}

TEST_F(UploadsTexts, SortKeysAreFixedWidthDigits) {
  EXPECT_EQ(orv::desktop::percentSortKey(0), u"000"_s);
  EXPECT_EQ(orv::desktop::percentSortKey(7), u"007"_s);
  EXPECT_EQ(orv::desktop::percentSortKey(45), u"045"_s);
  EXPECT_EQ(orv::desktop::percentSortKey(100), u"100"_s);
  EXPECT_EQ(orv::desktop::percentSortKey(250), u"100"_s);
  EXPECT_EQ(orv::desktop::percentSortKey(-3), u"000"_s);
  EXPECT_EQ(orv::desktop::orderSortKey(12), u"0000000012"_s);
  EXPECT_EQ(orv::desktop::finishedSortKey(3), u"0000000003"_s);
  // A rate of 100 MB/s has nine digits: cut to eight it would sort below a slow one.
  EXPECT_LT(orv::desktop::rateSortKey(99'999'999), orv::desktop::rateSortKey(100'000'000));
  EXPECT_LT(orv::desktop::rateSortKey(5), orv::desktop::rateSortKey(40));
  EXPECT_EQ(orv::desktop::rateSortKey(5).size(), 20);
}

TEST_F(UploadsTexts, IconsAndColoursOfSentTransfers) {
  EXPECT_EQ(orv::desktop::uploadedIconNumber(true, true), 1);
  EXPECT_EQ(orv::desktop::uploadedIconNumber(true, false), 2);
  EXPECT_EQ(orv::desktop::uploadedIconNumber(false, true), 3);
  EXPECT_EQ(orv::desktop::uploadedIconNumber(false, false), 4);
  EXPECT_EQ(orv::desktop::inProgressIconNumber(false), 1);
  EXPECT_EQ(orv::desktop::inProgressIconNumber(true), 2);
  EXPECT_EQ(orv::desktop::uploadedRowColour(true), QColor(0, 0, 0));
  EXPECT_EQ(orv::desktop::uploadedRowColour(false), QColor(128, 128, 128));
}

TEST_F(UploadsTexts, FrameCaptionsWithTheOptionOnAndOff) {
  orv::server::tUploadsInProgressTotals inProgress;
  EXPECT_EQ(orv::desktop::inProgressFrameCaption(false, inProgress), u"Uploads in progress"_s);
  EXPECT_EQ(orv::desktop::inProgressFrameCaption(true, inProgress),
            u"Uploads in progress (Transfers: 0, Remaining: 0 byte)"_s);
  inProgress.nbUploads = 2;
  inProgress.remainingBytes = 2048;
  EXPECT_EQ(orv::desktop::inProgressFrameCaption(true, inProgress),
            u"Uploads in progress (Transfers: 2, Remaining: 2 KB)"_s);
  orv::server::tUploadedFilesTotals uploaded;
  uploaded.nbTransfers = 3;
  uploaded.transferredTotal = 150;
  EXPECT_EQ(orv::desktop::uploadedFrameCaption(false, uploaded), u"Files sent"_s);
  EXPECT_EQ(orv::desktop::uploadedFrameCaption(true, uploaded), u"Files sent (Transfers: 3, Sent: 150 bytes)"_s);
}

TEST_F(UploadsTexts, StopQuestionListsEachPathAfterABlankLine) {
  const QString question = orv::desktop::stopUploadsQuestion({u"/a/one.bin"_s, u"/b/two.bin"_s});
  EXPECT_EQ(question, orv::core::gLanguage.text(u"MSGBOX/QUESTIONS/UPLOAD_DELETE_CONFIRMATION") +
                          u" :\r\n\r\n- /a/one.bin\r\n- /b/two.bin"_s);
}

TEST_F(UploadsTexts, InProgressDetailsOfACraftedUpload) {
  tUploadInProgressInfos infos;
  infos.filePath = u"/srv/a.bin"_s;
  infos.startDate = QDateTime(QDate(2026, 3, 7), QTime(4, 5, 9));
  infos.remainingBytes = 3000;
  infos.fileSize = 5000;
  infos.currentRate = 1000;
  infos.averageRate = 500;
  infos.clientAppName = u"curl/8"_s;
  infos.clientInfos = u"127.0.0.1 (ann)"_s;
  const QStringList lines = orv::desktop::uploadInProgressTooltipLines(infos);
  EXPECT_EQ(lines, QStringList({u"Transfer details"_s, u"Path : /srv/a.bin"_s, u"Client : 127.0.0.1 (ann)"_s,
                                u"Client program : curl/8"_s, u"Remaining : 3 KB (00:03)"_s, u"Whole file : Yes"_s,
                                u"Started : 2026/03/07 04:05:09"_s, u"Current rate : 1000 bytes/s"_s,
                                u"Average rate : 500 bytes/s"_s}));
}

TEST_F(UploadsTexts, InProgressDetailsOfAStalledRangeWithoutAverage) {
  tUploadInProgressInfos infos;
  infos.filePath = u"/srv/"_s + QString(4000, u'x');
  infos.remainingBytes = 4000;
  infos.rangeStart = 1000;
  infos.fileSize = 5000;
  infos.currentRate = 0;
  infos.averageRate = -1;
  const QStringList lines = orv::desktop::uploadInProgressTooltipLines(infos);
  ASSERT_EQ(lines.size(), 9);
  // A path of 4,000 characters is one line of 36 that ends with an ellipsis.
  EXPECT_EQ(lines[1], u"Path : "_s + orv::core::fnctWrapText(infos.filePath, 36, 1, QString()));
  EXPECT_LE(lines[1].size(), 7 + 36 + 1);
  EXPECT_TRUE(lines[1].endsWith(u'\u2026'));
  EXPECT_EQ(lines[4], u"Remaining : 4 KB (?)"_s);
  EXPECT_EQ(lines[5], u"Whole file : No (1000 bytes > 5 KB / 5 KB)"_s);
  EXPECT_EQ(lines[8], u"Average rate : -/s"_s);
}

TEST_F(UploadsTexts, SentFileDetailsOfACraftedRow) {
  tUploadedFileInfos infos;
  infos.clientInfos = u"10.0.0.2"_s;
  infos.transferred = 100;
  infos.isCompleteFile = false;
  infos.isFinished = true;
  const QString broken = u"/srv/b"_s + QChar(0xD800) + u".bin"_s;  // a lone surrogate from a broken name
  infos.filePath = broken;
  infos.nbFinishedSession = 1;
  infos.nbFinishedTotal = 4;
  infos.nbAbortSession = 2;
  infos.sizeSentSession = 150;
  infos.sizeSentTotal = 2048;
  EXPECT_EQ(orv::desktop::uploadedFileTooltipLines(infos),
            QStringList({u"Transfer details"_s, u"Client : 10.0.0.2"_s, u"Sent : 100 bytes"_s, u"Whole file : No"_s,
                         u"Finished : Yes"_s, QString(), u"File details"_s, u"Path : "_s + broken,
                         u"Complete sends (this session) : 1"_s, u"Complete sends (all time) : 4"_s,
                         u"Interrupted sends (this session) : 2"_s, u"Data sent (this session) : 150 bytes"_s,
                         u"Data sent (all time) : 2 KB"_s}));
}

TEST_F(UploadsTexts, TooltipPlacementAtTheScreensEdges) {
  const QRect screen(0, 0, 1280, 1024);
  const QSize window(300, 180);
  struct Case {
    QPoint cursor, expected;
    const char* where;
  };
  const Case cases[] = {
      {{100, 100}, {110, 110}, "room on both sides: right of and below the pointer"},
      {{1275, 100}, {965, 110}, "5 pixels from the right edge: left of the pointer"},
      {{100, 1000}, {110, 810}, "near the bottom: above the pointer"},
      {{1275, 1020}, {965, 830}, "the corner: left of and above"},
      {{970, 100}, {660, 110}, "exactly no room: x + W + 10 = the width"},
      {{969, 100}, {979, 110}, "one pixel of room"},
      {{100, 5}, {110, 15}, "near the top"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(orv::desktop::tooltipPosition(c.cursor, window, screen), c.expected) << c.where;
  }
  // On a second screen to the right, its own edges count; a window wider than the room on
  // both sides stays on the screen's left edge.
  EXPECT_EQ(orv::desktop::tooltipPosition({2550, 100}, window, QRect(1280, 0, 1280, 1024)), QPoint(2240, 110));
  EXPECT_EQ(orv::desktop::tooltipPosition({150, 100}, QSize(1200, 180), screen), QPoint(0, 110));
}

TEST_F(UploadsTexts, ProgressBarGeometry) {
  // A cell of 131 x 20: the picture 122 x 18 at (4, 1), the frame (1,1)-(120,16), the
  // background (2,2)-(119,15), the bar's right edge at 119 x percent / 100.
  struct Case {
    int percent;
    int barRight;  // -1: no bar
    QColor text;
  };
  const Case cases[] = {{0, -1, QColor(0, 0, 0)},          {1, -1, QColor(0, 0, 0)},
                        {2, 2, QColor(0, 0, 0)},           {48, 57, QColor(0, 0, 0)},
                        {49, 58, QColor(255, 255, 255)},   {100, 119, QColor(255, 255, 255)},
                        {140, 119, QColor(255, 255, 255)}, {-5, -1, QColor(0, 0, 0)}};
  for (const Case& c : cases) {
    const ProgressBarGeometry geometry = orv::desktop::progressBarGeometry(QSize(131, 20), c.percent);
    ASSERT_TRUE(geometry.drawn);
    EXPECT_EQ(geometry.picture, QRect(4, 1, 122, 18));
    EXPECT_EQ(geometry.frame, QRect(QPoint(1, 1), QPoint(120, 16)));
    EXPECT_EQ(geometry.background, QRect(QPoint(2, 2), QPoint(119, 15)));
    if (c.barRight < 0) {
      EXPECT_TRUE(geometry.bar.isEmpty()) << c.percent;
    } else {
      EXPECT_EQ(geometry.bar, QRect(QPoint(2, 2), QPoint(c.barRight, 15))) << c.percent;
    }
    EXPECT_EQ(geometry.textColour, c.text) << c.percent;
    EXPECT_EQ(geometry.text, QString::number(std::clamp(c.percent, 0, 100)) + u'%');
  }
  EXPECT_FALSE(orv::desktop::progressBarGeometry(QSize(15, 20), 50).drawn);
  EXPECT_TRUE(orv::desktop::progressBarGeometry(QSize(16, 20), 50).drawn);
}

TEST_F(UploadsTexts, FirstColumnTakesWhatTheOthersLeave) {
  EXPECT_EQ(orv::desktop::firstColumnWidth(600, 403, 0), 197);
  EXPECT_EQ(orv::desktop::firstColumnWidth(400, 403, 0), 50);
  EXPECT_EQ(orv::desktop::firstColumnWidth(400, 166, 17), 217);
  EXPECT_EQ(orv::desktop::upperFrameHeight(6090), 2610);
  EXPECT_EQ(orv::desktop::upperFrameHeight(609), 261);
}

}  // namespace
