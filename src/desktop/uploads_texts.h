#pragma once

#include "server/upload_details.h"

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

// What the uploads window shows, worked out without a screen: the texts and sort keys of
// the rows of both lists, the icons and colours of the sent files, the frame captions, the
// texts of the two details windows and where they open, and the geometry of the drawn
// progress bars.
namespace orv::desktop {

// ---- Rows ----

// The file name of a local path: the part after its last separator, all of it when it has
// none.
QString fnctUploadFileName(const QString& path);
// The folder of a local path: the path up to and including its last separator; empty when
// it has none.
QString fnctUploadFolder(const QString& path);

// A percentage within 0..100.
int boundedPercent(int percent);

// The sort keys, fixed-width decimal texts that order as their numbers when compared as
// texts: the percentage in three digits ("007"), the rate in twenty (every rate a double
// can count in whole bytes fits, so a fast client never sorts below a slow one), the order
// of adding and the finished count in ten.
QString percentSortKey(int percent);
QString rateSortKey(double rate);
QString orderSortKey(qint64 order);
QString finishedSortKey(qint64 count);

// In-progress column 3 and 4: "<sent>/<to send>" and "<rate>/s".
QString transferredOnTotalText(double bytesSent, double requiredFileSize);
QString rateText(double rate);

// The small picture of a sent transfer: 1 finished whole file, 2 finished range, 3 aborted
// whole file, 4 aborted range. In progress: 1 whole file, 2 range.
int uploadedIconNumber(bool isFinished, bool isCompleteFile);
int inProgressIconNumber(bool isPartialTransfer);
// Black for a transfer of this run, grey for one read from uploaded.xml.
QColor uploadedRowColour(bool isSessionTransfer);

// ---- Frame captions ----

QString inProgressFrameCaption(bool showInfos, const server::tUploadsInProgressTotals& totals);
QString uploadedFrameCaption(bool showInfos, const server::tUploadedFilesTotals& totals);

// ---- Stop question ----

// UPLOAD_DELETE_CONFIRMATION, " :", then per path a line break, "- " and the path.
QString stopUploadsQuestion(const QStringList& paths);

// ---- Details windows ----

// The nine lines of the in-progress details window, top to bottom.
QStringList uploadInProgressTooltipLines(const server::tUploadInProgressInfos& infos);
// The twelve lines of the sent-file details window, top to bottom, the sixth one empty.
QStringList uploadedFileTooltipLines(const server::tUploadedFileInfos& infos);

// Where a details window of that size opens for the pointer at cursor (screen pixels) on
// the screen's area: 10 pixels right of and below the pointer when it fits there, else
// ending 10 pixels left of or above it; never past the screen's left or top edge.
QPoint tooltipPosition(QPoint cursor, QSize window, const QRect& screen);

// ---- Progress bars ----

inline constexpr QColor kBarFrameColour{255, 255, 255};
inline constexpr QColor kBarBackgroundColour{218, 218, 218};
inline constexpr QColor kBarColour{108, 147, 198};

// One bar drawn in the cell of the progress column of a row: the picture is the cell less
// 4 pixels on the left, 5 on the right and one above and below; the rectangles are in the
// picture's coordinates, both corners inside.
struct ProgressBarGeometry {
  bool drawn = false;  // the column is wider than 15 pixels
  QRect picture;       // in the cell's coordinates
  QRect frame;         // outline
  QRect background;    // filled
  QRect bar;           // filled; empty at 0 % and whenever its right edge is 1 or less
  QString text;        // "<percent>%"
  QColor textColour;   // white from 49 % on, black below
};
ProgressBarGeometry progressBarGeometry(QSize cell, int percent);

// ---- Layout ----

// The width of column 1, which takes what the others leave: the list's width less the
// others and the extra, at least 50 pixels.
int firstColumnWidth(int listWidth, int otherColumns, int extra);
// The height of the upper frame for the window's inner height.
int upperFrameHeight(int innerHeight);

}  // namespace orv::desktop
