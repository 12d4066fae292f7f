#include "core/uploaded_store.h"

#include "core/configuration.h"
#include "core/debug_log.h"
#include "core/formats.h"
#include "core/stored_date.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/set_aside.h"
#include "platform/xml.h"
#include "platform/xml_stream.h"

#include <QByteArrayView>
#include <QDate>
#include <QLocale>
#include <QTime>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>

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

// A byte count: a finite number, not negative and within kMaxUploadedBytes, read in the C
// locale whatever the user's, as the writer writes it.
std::optional<double> sizeValue(QByteArrayView text) {
  // The writer's own form, plain digits, read directly: the general conversion is most of
  // the time a large file takes.
  if (!text.isEmpty() && text.size() <= 15) {
    qint64 digits = 0;
    bool plain = true;
    for (const char c : text) {
      if (c < '0' || c > '9') {
        plain = false;
        break;
      }
      digits = digits * 10 + (c - '0');
    }
    if (plain) {
      return static_cast<double>(digits);
    }
  }
  bool ok = false;
  const double value = text.toDouble(&ok);
  if (!ok || !std::isfinite(value) || value < 0 || value > kMaxUploadedBytes) {
    return std::nullopt;
  }
  return value;
}

// A count: a size that, rounded halves to even, fits the 32-bit counter.
std::optional<qint64> countValue(QByteArrayView text) {
  const std::optional<double> value = sizeValue(text);
  if (!value) {
    return std::nullopt;
  }
  const double rounded = std::nearbyint(*value);
  if (rounded > static_cast<double>(kMaxUploadedCount)) {
    return std::nullopt;
  }
  return static_cast<qint64>(rounded);
}

QByteArrayView bytesOf(std::string_view text) {
  return QByteArrayView(text.data(), static_cast<qsizetype>(text.size()));
}

QString textOf(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The digits of text at [from, from + count), or -1 when one is no digit.
int digitsAt(std::string_view text, std::size_t from, std::size_t count) {
  int value = 0;
  for (std::size_t i = from; i < from + count; ++i) {
    if (text[i] < '0' || text[i] > '9') {
      return -1;
    }
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

// The date form the store writes ("yyyy/MM/dd HH:mm:ss"), checked in bytes; any other form
// goes through the general reading of dates.
bool isStoredDateBytes(std::string_view date) {
  if (date.size() == 19 && date[4] == '/' && date[7] == '/' && date[10] == ' ' && date[13] == ':' && date[16] == ':') {
    const int year = digitsAt(date, 0, 4);
    const int month = digitsAt(date, 5, 2);
    const int day = digitsAt(date, 8, 2);
    const int hour = digitsAt(date, 11, 2);
    const int minute = digitsAt(date, 14, 2);
    const int second = digitsAt(date, 17, 2);
    if (year >= 0 && month >= 0 && day >= 0 && hour >= 0 && minute >= 0 && second >= 0) {
      return QDate::isValid(year, month, day) && QTime::isValid(hour, minute, second);
    }
  }
  return isStoredDate(textOf(date));
}

bool isValidTransferBytes(std::string_view path, std::string_view date, std::string_view clientInfos,
                          std::string_view transferred) {
  return !path.empty() && !clientInfos.empty() && sizeValue(bytesOf(transferred)).has_value() &&
         isStoredDateBytes(date);
}

bool isValidFileBytes(std::string_view path, std::string_view nbFinished, std::string_view sizeSent) {
  return !path.empty() && countValue(bytesOf(nbFinished)).has_value() && sizeValue(bytesOf(sizeSent)).has_value();
}

QString sizeText(double value) {
  return QString::number(value, 'f', QLocale::FloatingPointShortest);
}

// The writer's booleans, read ignoring case; anything else reads as false.
bool isTrueText(std::string_view text) {
  if (text == "true" || text == "false") {
    return text == "true";
  }
  return bytesOf(text).compare(QByteArrayView("true"), Qt::CaseInsensitive) == 0;
}

double boundedBytes(double value) {
  return std::isfinite(value) ? std::clamp(value, 0.0, kMaxUploadedBytes) : (value > 0 ? kMaxUploadedBytes : 0.0);
}

// A transfer row as the file gives it, kept in bytes until it is known to be among the
// newest: a file of half a million rows makes texts of only the rows the store keeps.
struct FileRow {
  std::string path;
  std::string date;
  std::string clientInfos;
  double transferred = 0;
  bool completeFile = false;
  bool finished = false;
};

// The newest kMaxUploadedTransfers rows: once full, each new row takes the place of the
// oldest, reusing its buffers.
class NewestRows {
 public:
  FileRow& push() {
    if (static_cast<qsizetype>(rows_.size()) < kMaxUploadedTransfers) {
      return rows_.emplace_back();
    }
    FileRow& row = rows_[oldest_];
    oldest_ = (oldest_ + 1) % rows_.size();
    return row;
  }

  void moveInto(std::deque<tUploadedTransfer>& transfers) const {
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      const FileRow& row = rows_[(oldest_ + i) % rows_.size()];
      transfers.push_back({textOf(row.path), false, textOf(row.date), textOf(row.clientInfos), row.transferred,
                           row.completeFile, row.finished});
    }
  }

 private:
  std::vector<FileRow> rows_;
  std::size_t oldest_ = 0;
};

// uploaded.xml read element by element: the first UPLOADED element, within it the first
// TRANSFERS and the first FILES, and their TRANSFER and FILE children.
class UploadedReader : public xml::StreamHandler {
 public:
  explicit UploadedReader(tUploadedLists& lists) : lists_(lists) {}

  void startElement(int depth, std::string_view name, const xml::StreamAttributes& attributes) override {
    if (rootDepth_ < 0) {
      if (!rootSeen_ && name == "UPLOADED") {
        rootSeen_ = true;
        rootDepth_ = depth;
      }
      return;
    }
    if (transfersDepth_ >= 0 && depth == transfersDepth_ + 1 && name == "TRANSFER") {
      readTransfer(attributes);
    } else if (filesDepth_ >= 0 && depth == filesDepth_ + 1 && name == "FILE") {
      readFile(attributes);
    } else if (!transfersSeen_ && name == "TRANSFERS") {
      transfersSeen_ = true;
      transfersDepth_ = depth;
    } else if (!filesSeen_ && name == "FILES") {
      filesSeen_ = true;
      filesDepth_ = depth;
    }
  }

  void endElement(int depth, std::string_view) override {
    if (depth == transfersDepth_) {
      transfersDepth_ = -1;
    }
    if (depth == filesDepth_) {
      filesDepth_ = -1;
    }
    if (depth == rootDepth_) {
      rootDepth_ = -1;
    }
  }

  void restart() override {
    lists_ = {};
    rows_ = {};
    rootSeen_ = transfersSeen_ = filesSeen_ = false;
    rootDepth_ = transfersDepth_ = filesDepth_ = -1;
  }

  bool rootSeen() const { return rootSeen_; }
  const NewestRows& rows() const { return rows_; }

 private:
  void readTransfer(const xml::StreamAttributes& attributes) {
    const auto path = attributes.value("path");
    const auto date = attributes.value("date");
    const auto clientInfos = attributes.value("clientInfos");
    const auto transferred = attributes.value("transferred");
    const auto completeFile = attributes.value("completeFile");
    const auto finished = attributes.value("finished");
    if (!path || !date || !clientInfos || !transferred || !completeFile || !finished ||
        !isValidTransferBytes(*path, *date, *clientInfos, *transferred)) {
      return;
    }
    FileRow& row = rows_.push();
    row.path.assign(*path);
    row.date.assign(*date);
    row.clientInfos.assign(*clientInfos);
    row.transferred = *sizeValue(bytesOf(*transferred));
    row.completeFile = isTrueText(*completeFile);
    row.finished = isTrueText(*finished);
  }

  void readFile(const xml::StreamAttributes& attributes) {
    const auto path = attributes.value("path");
    const auto nbFinished = attributes.value("nbFinished");
    const auto sizeSent = attributes.value("sizeSent");
    if (!path || !nbFinished || !sizeSent || !isValidFileBytes(*path, *nbFinished, *sizeSent)) {
      return;
    }
    tUploadedFile file;
    file.path = textOf(*path);
    file.nbFinishedTotal = *countValue(bytesOf(*nbFinished));
    file.sizeSentTotal = *sizeValue(bytesOf(*sizeSent));
    // A second entry of a path is skipped: the first one keeps its totals.
    lists_.filePaths.add(file);
  }

  tUploadedLists& lists_;
  NewestRows rows_;
  bool rootSeen_ = false;
  int rootDepth_ = -1;
  bool transfersSeen_ = false;
  int transfersDepth_ = -1;
  bool filesSeen_ = false;
  int filesDepth_ = -1;
};

void report(const QString& message) {
  // The console too: at start-up the debug window is not open yet.
  subAddDebugEvent(message, DebugEventCategory::Always);
  subWriteConsoleLine(message);
}

// A file the reader could not take whole is moved out of the way of the next save, which
// would otherwise replace it with the little that was sound.
void setAside(const QString& path, const QString& why) {
  const QString suffix = QStringLiteral(".bad-") + platform::currentDateTime().toString(u"yyyyMMdd-HHmmss");
  QString error;
  const QString aside = platform::setFileAside(path, suffix, &error);
  if (aside.isEmpty()) {
    report(QStringLiteral("The sent files could not be read whole (") + why +
           QStringLiteral(") and could not be kept aside: ") + error);
    return;
  }
  report(QStringLiteral("The sent files could not be read whole (") + why + QStringLiteral("); the file is kept as ") +
         aside);
  gConfiguration.AppState.blnUploadedModified = true;
}

}  // namespace

const tUploadedFile* tUploadedFileList::find(const QString& path) const {
  const auto it = index_.constFind(path);
  return it == index_.cend() ? nullptr : &files_[static_cast<std::size_t>(*it)];
}

tUploadedFile* tUploadedFileList::find(const QString& path) {
  const auto it = index_.constFind(path);
  return it == index_.cend() ? nullptr : &files_[static_cast<std::size_t>(*it)];
}

tUploadedFile& tUploadedFileList::entry(const QString& path) {
  if (tUploadedFile* found = find(path)) {
    return *found;
  }
  tUploadedFile added;
  added.path = path;
  add(added);
  return files_.back();
}

bool tUploadedFileList::add(const tUploadedFile& file) {
  if (index_.contains(file.path)) {
    return false;
  }
  index_.insert(file.path, static_cast<qsizetype>(files_.size()));
  files_.push_back(file);
  return true;
}

void tUploadedFileList::clear() {
  files_.clear();
  index_.clear();
}

tUploadedFile tUploadedLists::file(const QString& path) const {
  const tUploadedFile* found = filePaths.find(path);
  return found == nullptr ? tUploadedFile{} : *found;
}

const tUploadedTransfer* tUploadedLists::transfer(qsizetype n) const {
  if (n < 1 || n > static_cast<qsizetype>(transfers.size())) {
    return nullptr;
  }
  return &transfers[static_cast<std::size_t>(n - 1)];
}

void subAddUploadInUploadedLists(const QString& path, const QString& clientInfos, double transferred, bool isFinished,
                                 bool isCompleteFile) {
  const double bytes = boundedBytes(transferred);
  tUploadedFile& file = gUploadedLists.filePaths.entry(path);
  if (isFinished) {
    file.nbFinishedSession = std::min(file.nbFinishedSession + 1, kMaxUploadedCount);
    file.nbFinishedTotal = std::min(file.nbFinishedTotal + 1, kMaxUploadedCount);
  } else {
    file.nbAbortSession = std::min(file.nbAbortSession + 1, kMaxUploadedCount);
  }
  file.sizeSentSession = boundedBytes(file.sizeSentSession + bytes);
  file.sizeSentTotal = boundedBytes(file.sizeSentTotal + bytes);
  gUploadedLists.transfers.push_back(tUploadedTransfer{path, true, fnctFormatDate(platform::currentDateTime()),
                                                       clientInfos, bytes, isCompleteFile, isFinished});
  while (static_cast<qsizetype>(gUploadedLists.transfers.size()) > kMaxUploadedTransfers) {
    gUploadedLists.transfers.pop_front();
  }
  gConfiguration.AppState.blnUploadedModified = true;
}

void subClearUploadedTransfers() {
  gUploadedLists.transfers.clear();
  gConfiguration.AppState.blnUploadedModified = true;
}

bool isValidUploadedTransfer(const QString& path, const QString& date, const QString& clientInfos,
                             const QString& transferred) {
  const QByteArray transferredBytes = transferred.toUtf8();
  return !path.isEmpty() && !clientInfos.isEmpty() && sizeValue(transferredBytes).has_value() && isStoredDate(date);
}

bool isValidUploadedFile(const QString& path, const QString& nbFinished, const QString& sizeSent) {
  return !path.isEmpty() && countValue(nbFinished.toUtf8()).has_value() && sizeValue(sizeSent.toUtf8()).has_value();
}

tUploadedLists fnctLoadUploadedLists(const QString& path) {
  tUploadedLists lists;
  UploadedReader reader(lists);
  const xml::StreamResult read = xml::streamElements(path, reader);
  reader.rows().moveInto(lists.transfers);
  if (!read.opened) {
    const std::optional<platform::PathStatus> status = platform::statPath(path);
    if (status && status->isRegularFile) {
      setAside(path, read.error);
    }
  } else if (read.size > 0 && !read.wellFormed) {
    setAside(path, read.error);
  } else if (read.size > 0 && !reader.rootSeen()) {
    setAside(path, QStringLiteral("no UPLOADED element"));
  }
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
  for (const tUploadedFile& file : gUploadedLists.filePaths) {
    xml::Element element = files.appendElement(kFile);
    element.setAttribute(kPath, file.path);
    element.setAttribute(kNbFinished, QString::number(file.nbFinishedTotal));
    element.setAttribute(kSizeSent, sizeText(file.sizeSentTotal));
  }
  platform::WriteResult result = document.saveFile(path);
  if (result.ok) {
    gConfiguration.AppState.blnUploadedModified = false;
  } else {
    // To the debug log and the console, where the user can see it even at shut-down.
    report(QStringLiteral("Unable to save the sent files: ") + result.error);
  }
  return result;
}

}  // namespace orv::core
