#include "desktop/uploads_texts.h"

#include "core/formats.h"
#include "core/language.h"

#include <algorithm>
#include <cmath>

namespace orv::desktop {
namespace {

QString text(std::u16string_view name) {
  return core::gLanguage.text(name);
}

// A detail line: the label, " : " and the value.
QString detail(std::u16string_view label, const QString& value) {
  return text(label) + QStringLiteral(" : ") + value;
}

QString yesNo(bool value) {
  return text(value ? u"UPLOADS_FORM/TOOLTIPS/YES" : u"UPLOADS_FORM/TOOLTIPS/NO");
}

qsizetype lastSeparator(const QString& path) {
  return std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
}

QString padded(double value, int width) {
  const double whole = std::isfinite(value) ? std::max(0.0, std::nearbyint(value)) : 0.0;
  return QString::number(whole, 'f', 0).rightJustified(width, QLatin1Char('0'));
}

// The one line of a path in a details window.
QString pathLine(const QString& path) {
  return core::fnctWrapText(path, 36, 1, QString());
}

}  // namespace

QString fnctUploadFileName(const QString& path) {
  return path.mid(lastSeparator(path) + 1);
}

QString fnctUploadFolder(const QString& path) {
  const qsizetype separator = lastSeparator(path);
  return separator < 0 ? QString() : path.left(separator + 1);
}

int boundedPercent(int percent) {
  return std::clamp(percent, 0, 100);
}

QString percentSortKey(int percent) {
  return padded(boundedPercent(percent), 3);
}

QString rateSortKey(double rate) {
  return padded(rate, 20);
}

QString orderSortKey(qint64 order) {
  return padded(static_cast<double>(order), 10);
}

QString finishedSortKey(qint64 count) {
  return padded(static_cast<double>(count), 10);
}

QString transferredOnTotalText(double bytesSent, double requiredFileSize) {
  return core::fnctFormatSize(bytesSent) + QLatin1Char('/') + core::fnctFormatSize(requiredFileSize);
}

QString rateText(double rate) {
  return core::fnctFormatSize(rate) + QStringLiteral("/s");
}

int uploadedIconNumber(bool isFinished, bool isCompleteFile) {
  if (isFinished) {
    return isCompleteFile ? 1 : 2;
  }
  return isCompleteFile ? 3 : 4;
}

int inProgressIconNumber(bool isPartialTransfer) {
  return isPartialTransfer ? 2 : 1;
}

QColor uploadedRowColour(bool isSessionTransfer) {
  return isSessionTransfer ? QColor(0, 0, 0) : QColor(128, 128, 128);
}

QString inProgressFrameCaption(bool showInfos, const server::tUploadsInProgressTotals& totals) {
  const QString caption = text(u"UPLOADS_FORM/FRAMES/IN_PROGRESS");
  if (!showInfos) {
    return caption;
  }
  return caption + QStringLiteral(" (") + text(u"UPLOADS_FORM/FRAMES/TRANSFERS") + QStringLiteral(": ") +
         QString::number(totals.nbUploads) + QStringLiteral(", ") + text(u"UPLOADS_FORM/FRAMES/REMAINING") +
         QStringLiteral(": ") + core::fnctFormatSize(totals.remainingBytes) + QLatin1Char(')');
}

QString uploadedFrameCaption(bool showInfos, const server::tUploadedFilesTotals& totals) {
  const QString caption = text(u"UPLOADS_FORM/FRAMES/FINISHED");
  if (!showInfos) {
    return caption;
  }
  return caption + QStringLiteral(" (") + text(u"UPLOADS_FORM/FRAMES/TRANSFERS") + QStringLiteral(": ") +
         QString::number(totals.nbTransfers, 'f', 0) + QStringLiteral(", ") + text(u"UPLOADS_FORM/FRAMES/TRANSFERRED") +
         QStringLiteral(": ") + core::fnctFormatSize(totals.transferredTotal) + QLatin1Char(')');
}

QString stopUploadsQuestion(const QStringList& paths) {
  QString question = text(u"MSGBOX/QUESTIONS/UPLOAD_DELETE_CONFIRMATION") + QStringLiteral(" :\r\n");
  for (const QString& path : paths) {
    question += QStringLiteral("\r\n- ") + path;
  }
  return question;
}

QStringList uploadInProgressTooltipLines(const server::tUploadInProgressInfos& infos) {
  const QString remainingTime = infos.currentRate != 0
                                    ? core::fnctFormatDuration(std::nearbyint(infos.remainingBytes / infos.currentRate))
                                    : QStringLiteral("?");
  const QString completeFile =
      infos.rangeStart == 0 ? yesNo(true)
                            : yesNo(false) + QStringLiteral(" (") + core::fnctFormatSize(infos.rangeStart) +
                                  QStringLiteral(" > ") + core::fnctFormatSize(infos.fileSize) + QStringLiteral(" / ") +
                                  core::fnctFormatSize(infos.fileSize) + QLatin1Char(')');
  const QString averageRate = infos.averageRate != -1 ? core::fnctFormatSize(infos.averageRate) : QStringLiteral("-");
  const QString startDate = infos.startDate.isValid() ? core::fnctFormatDate(infos.startDate) : QString();
  return {
      text(u"UPLOADS_FORM/TOOLTIPS/TITLE_TRANSFER_DETAILS"),
      detail(u"UPLOADS_FORM/TOOLTIPS/FILE_DETAILS_PATH", pathLine(infos.filePath)),
      detail(u"UPLOADS_FORM/TOOLTIPS/TRANSFER_DETAILS_CLIENT_INFOS", infos.clientInfos),
      detail(u"UPLOADS_FORM/TOOLTIPS/TRANSFER_DETAILS_CLIENT_APP_NAME", infos.clientAppName),
      detail(u"UPLOADS_FORM/TOOLTIPS/TRANSFER_DETAILS_REMAINING",
             core::fnctFormatSize(infos.remainingBytes) + QStringLiteral(" (") + remainingTime + QLatin1Char(')')),
      detail(u"UPLOADS_FORM/TOOLTIPS/TRANSFER_DETAILS_COMPLETE_FILE", completeFile),
      detail(u"UPLOADS_FORM/TOOLTIPS/TRANSFER_DETAILS_START_DATE", startDate),
      detail(u"UPLOADS_FORM/TOOLTIPS/TRANSFER_DETAILS_CURRENT_RATE", rateText(infos.currentRate)),
      detail(u"UPLOADS_FORM/TOOLTIPS/TRANSFER_DETAILS_AVERAGE_RATE", averageRate + QStringLiteral("/s")),
  };
}

QStringList uploadedFileTooltipLines(const server::tUploadedFileInfos& infos) {
  return {
      text(u"UPLOADS_FORM/TOOLTIPS/TITLE_TRANSFER_DETAILS"),
      detail(u"UPLOADS_FORM/TOOLTIPS/TRANSFER_DETAILS_CLIENT_INFOS", infos.clientInfos),
      detail(u"UPLOADS_FORM/TOOLTIPS/TRANSFER_DETAILS_TRANSFERRED", core::fnctFormatSize(infos.transferred)),
      detail(u"UPLOADS_FORM/TOOLTIPS/TRANSFER_DETAILS_COMPLETE_FILE", yesNo(infos.isCompleteFile)),
      detail(u"UPLOADS_FORM/TOOLTIPS/TRANSFER_DETAILS_FINISHED", yesNo(infos.isFinished)),
      QString(),
      text(u"UPLOADS_FORM/TOOLTIPS/TITLE_FILE_DETAILS"),
      detail(u"UPLOADS_FORM/TOOLTIPS/FILE_DETAILS_PATH", pathLine(infos.filePath)),
      detail(u"UPLOADS_FORM/TOOLTIPS/FILE_DETAILS_NB_FINISHED_SESSION", QString::number(infos.nbFinishedSession)),
      detail(u"UPLOADS_FORM/TOOLTIPS/FILE_DETAILS_NB_FINISHED_TOTAL", QString::number(infos.nbFinishedTotal)),
      detail(u"UPLOADS_FORM/TOOLTIPS/FILE_DETAILS_NB_ABORT_SESSION", QString::number(infos.nbAbortSession)),
      detail(u"UPLOADS_FORM/TOOLTIPS/FILE_DETAILS_SIZE_SENT_SESSION", core::fnctFormatSize(infos.sizeSentSession)),
      detail(u"UPLOADS_FORM/TOOLTIPS/FILE_DETAILS_SIZE_SENT_TOTAL", core::fnctFormatSize(infos.sizeSentTotal)),
  };
}

QPoint tooltipPosition(QPoint cursor, QSize window, const QRect& screen) {
  constexpr int kGap = 10;
  const auto place = [](int pointer, int size, int screenStart, int screenEnd) {
    const int after = pointer + kGap;
    if (pointer + size + kGap < screenEnd) {
      return after;
    }
    return std::max(screenStart, pointer - size - kGap);
  };
  return {place(cursor.x(), window.width(), screen.left(), screen.left() + screen.width()),
          place(cursor.y(), window.height(), screen.top(), screen.top() + screen.height())};
}

ProgressBarGeometry progressBarGeometry(QSize cell, int percent) {
  ProgressBarGeometry geometry;
  const int shown = boundedPercent(percent);
  geometry.text = QString::number(shown) + QLatin1Char('%');
  geometry.textColour = shown >= 49 ? QColor(255, 255, 255) : QColor(0, 0, 0);
  if (cell.width() <= 15) {
    return geometry;
  }
  const int width = cell.width() - 9;
  const int height = std::max(0, cell.height() - 2);
  geometry.drawn = true;
  geometry.picture = QRect(4, 1, width, height);
  geometry.frame = QRect(QPoint(1, 1), QPoint(width - 2, height - 2));
  geometry.background = QRect(QPoint(2, 2), QPoint(width - 3, height - 3));
  const int right = static_cast<int>(std::nearbyint((width - 3) * shown / 100.0));
  if (right > 1) {
    geometry.bar = QRect(QPoint(2, 2), QPoint(right, height - 3));
  }
  return geometry;
}

int firstColumnWidth(int listWidth, int otherColumns, int extra) {
  return std::max(50, listWidth - otherColumns - extra);
}

int upperFrameHeight(int innerHeight) {
  return innerHeight * 2610 / 6090;
}

}  // namespace orv::desktop
