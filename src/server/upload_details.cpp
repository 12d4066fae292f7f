#include "server/upload_details.h"

#include "core/formats.h"
#include "core/language.h"
#include "core/uploaded_store.h"
#include "platform/clock.h"
#include "server/connection_slots.h"
#include "server/file_reader.h"

#include <algorithm>
#include <cmath>

namespace orv::server {
namespace {

// The second boundaries passed from start to now (what a clock showing whole seconds
// counts), not the whole seconds of the difference.
qint64 secondBoundaries(const QDateTime& start, const QDateTime& now) {
  const auto second = [](const QDateTime& moment) {
    const qint64 ms = moment.toMSecsSinceEpoch();
    return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
  };
  return second(now) - second(start);
}

// A reader that counted more than it had to send has nothing left, not a negative amount.
double remainingOf(const UploadReading& upload) {
  return std::max(0.0, upload.requiredFileSize - upload.bodyBytesSent);
}

}  // namespace

UploadReading readUpload(const usrFileReader& reader) {
  // The path and client the transfer started with: the lets of a next request may already
  // have replaced the reader's own.
  const tUploadInProgressInfos started = reader.getUploadInProgressInfos();
  UploadReading upload;
  upload.isActiveUpload = reader.getIsActiveUpload();
  upload.isInvisibleTransfer = reader.getIsInvibleTransfer();
  upload.filePath = started.filePath.isEmpty() ? reader.getFilePath() : started.filePath;
  upload.startDate = reader.getTransferStartDate();
  upload.requiredFileSize = reader.getRequiredFileSize();
  upload.bodyBytesSent = reader.getBodyBytesSent();
  upload.bitRange = reader.getBitRange();
  upload.fileSize = reader.GetFileSize();
  upload.uploadRate = reader.getUploadRate();
  upload.clientAppName = reader.getClientAppName();
  upload.clientInfos = started.clientInfos.isEmpty() ? reader.getClientInfos() : started.clientInfos;
  return upload;
}

tUploadInProgressInfos fnctUploadInProgressInfos(const UploadReading& upload, const QDateTime& now) {
  tUploadInProgressInfos infos;
  infos.filePath = upload.filePath;
  infos.startDate = upload.startDate;
  infos.remainingBytes = remainingOf(upload);
  infos.rangeStart = upload.bitRange;
  infos.fileSize = upload.fileSize;
  infos.currentRate = std::isfinite(upload.uploadRate) ? std::nearbyint(upload.uploadRate) : 0;
  const qint64 elapsed = upload.startDate.isValid() ? secondBoundaries(upload.startDate, now) : 0;
  infos.averageRate = upload.bodyBytesSent <= 0 || elapsed <= 0
                          ? -1
                          : std::nearbyint(upload.bodyBytesSent / static_cast<double>(elapsed));
  infos.clientAppName = upload.clientAppName;
  infos.clientInfos = upload.clientInfos;
  return infos;
}

tUploadInProgressInfos getUploadInProgressInfos(const ConnectionSlots& slots, int index) {
  const usrFileReader* reader = slots.usrFileReader(index);
  if (reader == nullptr) {
    return {};
  }
  return fnctUploadInProgressInfos(readUpload(*reader), platform::currentDateTime());
}

tUploadedFileInfos getUploadedFileInfos(qsizetype n) {
  const core::tUploadedTransfer* row = core::gUploadedLists.transfer(n);
  if (row == nullptr) {
    return {};
  }
  const core::tUploadedFile file = core::gUploadedLists.file(row->path);
  tUploadedFileInfos infos;
  infos.clientInfos = row->clientInfos;
  infos.transferred = row->transferred;
  infos.isCompleteFile = row->completeFile;
  infos.isFinished = row->finished;
  infos.filePath = row->path;
  infos.nbFinishedSession = file.nbFinishedSession;
  infos.nbFinishedTotal = file.nbFinishedTotal;
  infos.nbAbortSession = file.nbAbortSession;
  infos.sizeSentSession = file.sizeSentSession;
  infos.sizeSentTotal = file.sizeSentTotal;
  return infos;
}

tUploadsInProgressTotals getUploadsInProgressTotals(const ConnectionSlots& slots) {
  tUploadsInProgressTotals totals;
  for (const int index : slots.indexes()) {
    const usrFileReader* reader = slots.usrFileReader(index);
    if (reader == nullptr || !reader->getIsActiveUpload() || reader->getIsInvibleTransfer()) {
      continue;
    }
    const UploadReading upload = readUpload(*reader);
    ++totals.nbUploads;
    totals.remainingBytes += remainingOf(upload);
    totals.rate = std::nearbyint(totals.rate + (std::isfinite(upload.uploadRate) ? upload.uploadRate : 0));
  }
  return totals;
}

tUploadedFilesTotals getUploadedFilesTotals() {
  tUploadedFilesTotals totals;
  for (const core::tUploadedTransfer& row : core::gUploadedLists.transfers) {
    totals.transferredTotal += row.transferred;
    if (row.finished) {
      ++totals.nbFinished;
    }
  }
  totals.nbTransfers = static_cast<double>(core::gUploadedLists.transfers.size());
  return totals;
}

QString fnctSystrayTooltipText(const tUploadsInProgressTotals& totals) {
  const core::tLanguage& language = core::gLanguage;
  return language.text(u"SYSTEM_MENU/NB_UPLOADS_IN_PROGRESS") + QStringLiteral(" :") +
         QString::number(totals.nbUploads) + QStringLiteral(", ") + language.text(u"SYSTEM_MENU/RATE") +
         QStringLiteral(" : ") + core::fnctFormatSize(totals.rate) + QStringLiteral("/s, ") +
         language.text(u"SYSTEM_MENU/REMAINING") + QStringLiteral(" :") + core::fnctFormatSize(totals.remainingBytes);
}

QString getSystrayTooltipText(const ConnectionSlots& slots) {
  return fnctSystrayTooltipText(getUploadsInProgressTotals(slots));
}

}  // namespace orv::server
