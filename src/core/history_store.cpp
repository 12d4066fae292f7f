#include "core/history_store.h"

#include "core/configuration.h"
#include "core/debug_log.h"
#include "core/formats.h"
#include "core/stored_date.h"
#include "platform/clock.h"
#include "platform/xml.h"

namespace orv::core {

tHistoryLists gHistoryLists;

namespace {

HistoryWindowView* gHistoryWindow = nullptr;

// How many events MAX_ENTRY keeps: -1 for no limit, 0 when it keeps none.
qsizetype historyLimit() {
  const int maxEntry = gConfiguration.History.MAX_ENTRY;
  if (maxEntry == -1) {
    return -1;
  }
  return maxEntry < 1 ? 0 : maxEntry;
}

// Drops the oldest events beyond the limit; true when any went.
bool keepNewest(tHistoryLists& lists, qsizetype limit) {
  if (limit < 0 || lists.count() <= limit) {
    return false;
  }
  lists.events.erase(lists.events.begin(), lists.events.begin() + (lists.count() - limit));
  return true;
}

// A failed write goes to the debug log and the console, where the user can see it even
// at shut-down, and back to the caller.
platform::WriteResult reportFailure(platform::WriteResult result) {
  if (!result.ok) {
    const QString message = QStringLiteral("Unable to save the history: ") + result.error;
    subAddDebugEvent(message, DebugEventCategory::Always);
    subWriteConsoleLine(message);
  }
  return result;
}

const QString kHistory = QStringLiteral("HISTORY");
const QString kEvent = QStringLiteral("EVENT");
const QString kType = QStringLiteral("type");
const QString kIpAddress = QStringLiteral("ipAddress");
const QString kDate = QStringLiteral("date");
const QString kText = QStringLiteral("text");

}  // namespace

void setHistoryWindowView(HistoryWindowView* view) {
  gHistoryWindow = view;
}

HistoryWindowView* getHistoryWindow() {
  return gConfiguration.AppState.blnHistoryFormLoaded ? gHistoryWindow : nullptr;
}

void subAddEntryInHistory(HistoryEventType type, const QString& ipAddress, const QString& text) {
  const qsizetype limit = historyLimit();
  if (limit == 0) {
    return;
  }
  const QDateTime now = platform::currentDateTime();
  gHistoryLists.events.push_back(tHistoryEvent{fnctFormatDate(now), type, ipAddress, text, true});
  if (HistoryWindowView* window = getHistoryWindow()) {
    window->AddEntryInHistoryList(type, ipAddress, now, text, true);
  }
  keepNewest(gHistoryLists, limit);
  gConfiguration.AppState.blnHistoryModified = true;
}

bool isValidHistoryEvent(const QString& type, const QString& ipAddress, const QString& date) {
  bool numeric = false;
  const int code = type.toInt(&numeric);
  const bool knownType = numeric && code >= 1 && code <= 11 && type == QString::number(code);
  return knownType && !ipAddress.isEmpty() && isStoredDate(date);
}

tHistoryLists fnctLoadHistory(const QString& path) {
  tHistoryLists lists;
  const qsizetype limit = historyLimit();
  const xml::Document document = xml::Document::fromFile(path);
  const xml::Element root = document.firstDescendantElement(kHistory);
  if (limit == 0 || root.isNull()) {
    return lists;
  }
  for (const xml::Element& event : root.childElements(kEvent)) {
    // An event the writer would never produce is skipped on its own, so that one damaged
    // line does not cost the rest of the history at the next save.
    if (!event.hasAttribute(kType) || !event.hasAttribute(kIpAddress) || !event.hasAttribute(kDate) ||
        !event.hasAttribute(kText)) {
      continue;
    }
    const QString type = event.attribute(kType);
    const QString ipAddress = event.attribute(kIpAddress);
    const QString date = event.attribute(kDate);
    if (!isValidHistoryEvent(type, ipAddress, date)) {
      continue;
    }
    lists.events.push_back(
        {date, static_cast<HistoryEventType>(type.toInt()), ipAddress, event.attribute(kText), false});
    keepNewest(lists, limit);
  }
  return lists;
}

platform::WriteResult subSaveHistory(const QString& path, bool blnEmpty) {
  xml::Document document;
  xml::Element root = document.createDocumentElement(kHistory);
  if (blnEmpty) {
    return reportFailure(document.saveFile(path));
  }
  for (const tHistoryEvent& event : gHistoryLists.events) {
    xml::Element element = root.appendElement(kEvent);
    element.setAttribute(kType, QString::number(static_cast<int>(event.type)));
    element.setAttribute(kIpAddress, event.ipAddress);
    element.setAttribute(kDate, event.date);
    element.setAttribute(kText, event.text);
  }
  platform::WriteResult result = reportFailure(document.saveFile(path));
  if (result.ok) {
    gConfiguration.AppState.blnHistoryModified = false;
  }
  return result;
}

platform::WriteResult subClearHistory(const QString& path) {
  platform::WriteResult result = subSaveHistory(path, true);
  if (result.ok) {
    gHistoryLists.events.clear();
    gConfiguration.AppState.blnHistoryModified = false;
  }
  return result;
}

bool subTrimHistory(int limit) {
  if (!keepNewest(gHistoryLists, limit < 0 ? -1 : limit)) {
    return false;
  }
  gConfiguration.AppState.blnHistoryModified = true;
  return true;
}

}  // namespace orv::core
