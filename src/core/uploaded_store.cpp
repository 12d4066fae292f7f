#include "core/uploaded_store.h"

#include "core/configuration.h"
#include "core/debug_log.h"
#include "core/formats.h"
#include "core/stored_date.h"
#include "platform/clock.h"
#include "platform/xml.h"

#include <QLocale>

#include <cmath>
#include <initializer_list>
#include <limits>
#include <optional>

namespace orv::core {

tUploadedLists gUploadedLists;

namespace {

const QString kUploaded = QStringLiteral("UPLOADED");
const QString kTransfers = QStringLiteral("TRANSFERS");
const QString kTransfer = QStringLiteral("TRANSFER");
const QString kFiles = QStringLiteral("FILES");
const QString kFile = QStringLiteral("FILE");
const QString kPath = QStringLiteral("path");
const QString kDate = QStringLiteral("date");
const QString kClientInfos = QStringLiteral("clientInfos");
const QString kTransferred = QStringLiteral("transferred");
const QString kCompleteFile = QStringLiteral("completeFile");
const QString kFinished = QStringLiteral("finished");
const QString kNbFinished = QStringLiteral("nbFinished");
const QString kSizeSent = QStringLiteral("sizeSent");

// A finite number that is not negative, read as the writer writes it.
std::optional<double> sizeValue(const QString& text) {
  bool ok = false;
  const double value = text.toDouble(&ok);
  if (!ok || !std::isfinite(value) || value < 0) {
    return std::nullopt;
  }
  return value;
}

// A count: a size that, rounded halves to even, fits the 32-bit counter.
std::optional<qint64> countValue(const QString& text) {
  const std::optional<double> value = sizeValue(text);
  if (!value) {
    return std::nullopt;
  }
  const double rounded = std::nearbyint(*value);
  if (rounded > std::numeric_limits<qint32>::max()) {
    return std::nullopt;
  }
  return static_cast<qint64>(rounded);
}

bool hasAttributes(const xml::Element& element, std::initializer_list<const QString*> names) {
  for (const QString* name : names) {
    if (!element.hasAttribute(*name)) {
      return false;
    }
  }
  return true;
}

QString sizeText(double value) {
  return QString::number(value, 'f', QLocale::FloatingPointShortest);
}

// The writer's booleans, read ignoring case; anything else reads as false.
bool isTrueText(const QString& text) {
  return text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

void readTransfers(const xml::Element& section, tUploadedLists& lists) {
  for (const xml::Element& element : section.childElements(kTransfer)) {
    if (!hasAttributes(element, {&kPath, &kDate, &kClientInfos, &kTransferred, &kCompleteFile, &kFinished})) {
      continue;
    }
    const QString path = element.attribute(kPath);
    const QString date = element.attribute(kDate);
    const QString clientInfos = element.attribute(kClientInfos);
    const QString transferred = element.attribute(kTransferred);
    if (!isValidUploadedTransfer(path, date, clientInfos, transferred)) {
      continue;
    }
    lists.transfers.push_back({path, false, date, clientInfos, *sizeValue(transferred),
                               isTrueText(element.attribute(kCompleteFile)), isTrueText(element.attribute(kFinished))});
  }
}

void readFiles(const xml::Element& section, tUploadedLists& lists) {
  for (const xml::Element& element : section.childElements(kFile)) {
    if (!hasAttributes(element, {&kPath, &kNbFinished, &kSizeSent})) {
      continue;
    }
    const QString path = element.attribute(kPath);
    const QString nbFinished = element.attribute(kNbFinished);
    const QString sizeSent = element.attribute(kSizeSent);
    // A second entry of a path (ignoring case) is skipped: the first one keeps its totals.
    if (!isValidUploadedFile(path, nbFinished, sizeSent) || lists.filePaths.contains(path)) {
      continue;
    }
    tUploadedFile file;
    file.path = path;
    file.nbFinishedTotal = *countValue(nbFinished);
    file.sizeSentTotal = *sizeValue(sizeSent);
    lists.filePaths.add(file, path);
  }
}

}  // namespace

void subAddUploadInUploadedLists(const QString& path, const QString& clientInfos, double transferred, bool isFinished,
                                 bool isCompleteFile) {
  tUploadedFile* file = gUploadedLists.filePaths.find(path);
  if (file == nullptr) {
    tUploadedFile added;
    added.path = path;
    gUploadedLists.filePaths.add(added, path);
    file = gUploadedLists.filePaths.find(path);
  }
  if (isFinished) {
    ++file->nbFinishedSession;
    ++file->nbFinishedTotal;
  } else {
    ++file->nbAbortSession;
  }
  file->sizeSentSession += transferred;
  file->sizeSentTotal += transferred;
  gUploadedLists.transfers.push_back(
      {path, true, fnctFormatDate(platform::currentDateTime()), clientInfos, transferred, isCompleteFile, isFinished});
  gConfiguration.AppState.blnUploadedModified = true;
}

bool isValidUploadedTransfer(const QString& path, const QString& date, const QString& clientInfos,
                             const QString& transferred) {
  return !path.isEmpty() && isStoredDate(date) && !clientInfos.isEmpty() &&
         sizeValue(transferred).has_value();
}

bool isValidUploadedFile(const QString& path, const QString& nbFinished, const QString& sizeSent) {
  return !path.isEmpty() && countValue(nbFinished).has_value() && sizeValue(sizeSent).has_value();
}

tUploadedLists fnctLoadUploadedLists(const QString& path) {
  tUploadedLists lists;
  const xml::Document document = xml::Document::fromFile(path);
  const xml::Element root = document.firstDescendantElement(kUploaded);
  if (root.isNull()) {
    return lists;
  }
  // Each section reads on its own: a file that lost one still gives the other.
  readTransfers(root.firstDescendantElement(kTransfers), lists);
  readFiles(root.firstDescendantElement(kFiles), lists);
  return lists;
}

platform::WriteResult subSaveUploadedLists(const QString& path) {
  xml::Document document;
  xml::Element root = document.createDocumentElement(kUploaded);
  xml::Element transfers = root.appendElement(kTransfers);
  xml::Element files = root.appendElement(kFiles);
  for (const tUploadedTransfer& row : gUploadedLists.transfers) {
    xml::Element element = transfers.appendElement(kTransfer);
    element.setAttribute(kPath, row.path);
    element.setAttribute(kDate, row.date);
    element.setAttribute(kClientInfos, row.clientInfos);
    element.setAttribute(kTransferred, sizeText(row.transferred));
    element.setAttribute(kCompleteFile, fnctBoolToString(row.completeFile));
    element.setAttribute(kFinished, fnctBoolToString(row.finished));
  }
  for (const auto& entry : gUploadedLists.filePaths) {
    xml::Element element = files.appendElement(kFile);
    element.setAttribute(kPath, entry.value.path);
    element.setAttribute(kNbFinished, QString::number(entry.value.nbFinishedTotal));
    element.setAttribute(kSizeSent, sizeText(entry.value.sizeSentTotal));
  }
  platform::WriteResult result = document.saveFile(path);
  if (result.ok) {
    gConfiguration.AppState.blnUploadedModified = false;
  } else {
    // To the debug log and the console, where the user can see it even at shut-down.
    const QString message = QStringLiteral("Unable to save the sent files: ") + result.error;
    subAddDebugEvent(message, DebugEventCategory::Always);
    subWriteConsoleLine(message);
  }
  return result;
}

}  // namespace orv::core
