#include "core/debug_log.h"

#include "core/configuration.h"
#include "platform/clock.h"

#include <QDebug>
#include <QLocale>

#include <utility>

namespace orv::core {
namespace {

std::function<LoadedObjectsCount()>& loadedObjectsCounter() {
  static std::function<LoadedObjectsCount()> counter;
  return counter;
}

bool isSwitchedOn(DebugEventCategory category) {
  const tAdvancedParameters& parameters = gConfiguration.AdvancedParameters;
  switch (category) {
    case DebugEventCategory::Always:
      return true;
    case DebugEventCategory::Socket:
      return parameters.SKT_DEBUG;
    case DebugEventCategory::Http:
      return parameters.HTTP_DEBUG;
    case DebugEventCategory::Application:
      return parameters.APP_DEBUG;
  }
  return false;
}

// The platform's general date: the short date of the regional settings and the time with
// its seconds.
QString generalDateText(const QDateTime& moment) {
  return QLocale::system().toString(moment.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
         moment.time().toString(QStringLiteral("HH:mm:ss"));
}

}  // namespace

void DebugEventLog::addLine(DebugEventLine line) {
  lines_.push_front(std::move(line));
  while (count() > kMaxLines) {
    lines_.pop_back();
  }
  Q_EMIT changed();
}

void DebugEventLog::clear() {
  lines_.clear();
  Q_EMIT changed();
}

DebugEventLog& debugEventLog() {
  static DebugEventLog log;
  return log;
}

RgbColour debugEventColour(DebugEventCategory category) {
  switch (category) {
    case DebugEventCategory::Always:
      return {255, 255, 255};
    case DebugEventCategory::Socket:
      return {255, 128, 128};
    case DebugEventCategory::Http:
      return {192, 192, 192};
    case DebugEventCategory::Application:
      return {0, 255, 0};
  }
  return {};
}

bool isDebugEventShown(DebugEventCategory category) {
  return gConfiguration.AppState.blnDebugFormLoaded && isSwitchedOn(category);
}

void subAddDebugEvent(const QString& message, DebugEventCategory category) {
  if (!isDebugEventShown(category)) {
    return;
  }
  const QString text = QLatin1Char('[') + generalDateText(platform::currentDateTime()) + QStringLiteral("] ") + message;
  debugEventLog().addLine({text, debugEventColour(category)});
}

void subWriteConsoleLine(const QString& message) {
  // Through Qt's message handler, which writes to standard error unless one is installed.
  qWarning().noquote() << message;
}

void setLoadedObjectsCounter(std::function<LoadedObjectsCount()> counter) {
  loadedObjectsCounter() = std::move(counter);
}

LoadedObjectsCount getLoadedObjectsCount() {
  const auto& counter = loadedObjectsCounter();
  return counter ? counter() : LoadedObjectsCount{};
}

}  // namespace orv::core
