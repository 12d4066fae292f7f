#pragma once

#include "server/upload_views.h"

#include <QDateTime>
#include <QString>

// What the desktop shows about uploads: the details of one upload in progress and of one
// sent transfer with its file, the totals of both lists, and the tray tip's line. They only
// read: the uploads in progress from the file readers and sockets of the connection slots,
// the sent transfers from the store of sent files.
namespace orv::server {

class ConnectionSlots;
class usrFileReader;

// One transfer row of the store of sent files with the per-file values of its path.
struct tUploadedFileInfos {
  QString clientInfos;
  double transferred = 0;
  bool isCompleteFile = false;
  bool isFinished = false;
  QString filePath;
  qint64 nbFinishedSession = 0;
  qint64 nbFinishedTotal = 0;
  qint64 nbAbortSession = 0;
  double sizeSentSession = 0;
  double sizeSentTotal = 0;
};

struct tUploadsInProgressTotals {
  int nbUploads = 0;
  double remainingBytes = 0;  // still to send, all uploads together
  double rate = 0;            // the sum of their current rates, a whole number of bytes per second
};

struct tUploadedFilesTotals {
  double transferredTotal = 0;  // bytes of all transfer rows
  double nbTransfers = 0;
  double nbFinished = 0;  // rows sent to their end
};

// What one file reader tells of its upload, read at one moment.
struct UploadReading {
  bool isActiveUpload = false;
  bool isInvisibleTransfer = false;  // a resource or thumbnail: never counted
  QString filePath;
  QDateTime startDate;
  double requiredFileSize = 0;  // the file size less the range start
  double bodyBytesSent = 0;
  double bitRange = 0;
  double fileSize = 0;
  double uploadRate = 0;  // bytes sent during the last one-second tick
  QString clientAppName;
  QString clientInfos;
};

UploadReading readUpload(const usrFileReader& reader);

// The details of an upload as read, at the moment now: the rates rounded to whole bytes per
// second (halves to even); the average over the second boundaries passed since the start,
// -1 when nothing was sent yet or no boundary has passed.
tUploadInProgressInfos fnctUploadInProgressInfos(const UploadReading& upload, const QDateTime& now);

// The details of the upload of connection slot index, now; the empty record (empty texts,
// zeros, no date) when the slot has no file reader.
tUploadInProgressInfos getUploadInProgressInfos(const ConnectionSlots& slots, int index);

// Transfer n of the store of sent files (1 = the oldest row) with the per-file values of its
// path, 0 where the path has none; the empty record when n is not a row.
tUploadedFileInfos getUploadedFileInfos(qsizetype n);

// The uploads in progress of the slots: each visible active upload counts once.
tUploadsInProgressTotals getUploadsInProgressTotals(const ConnectionSlots& slots);

// The rows of the store of sent files.
tUploadedFilesTotals getUploadedFilesTotals();

// The tray tip's line for the totals: "<count label> :<n>, <rate label> : <size>/s,
// <remaining label> :<size>", the labels from the language record.
QString fnctSystrayTooltipText(const tUploadsInProgressTotals& totals);
QString getSystrayTooltipText(const ConnectionSlots& slots);

}  // namespace orv::server
