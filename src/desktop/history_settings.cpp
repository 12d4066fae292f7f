#include "desktop/history_settings.h"

#include "core/config_file.h"
#include "core/configuration.h"
#include "core/history_store.h"

namespace orv::desktop {

using core::gConfiguration;

std::optional<int> fnctParseMaxHistoryEntry(const QString& text) {
  bool numeric = false;
  const int value = text.trimmed().toInt(&numeric, 10);
  if (!numeric || value == 0 || value < -1 || value > 65536) {
    return std::nullopt;
  }
  return value;
}

platform::WriteResult subSaveHistoryParam(bool keepHistory, int maxEntry, const QString& configPath) {
  gConfiguration.History.KEEP_HISTORY = keepHistory;
  if (maxEntry != gConfiguration.History.MAX_ENTRY) {
    gConfiguration.History.MAX_ENTRY = maxEntry;
    core::subTrimHistory(maxEntry);
  }
  platform::WriteResult result = core::subSaveConfiguration(configPath);
  if (!result.ok) {
    gConfiguration.AppState.blnConfigModified = true;
  }
  return result;
}

QString fnctHistorySettingsFailureText(const platform::WriteResult& result) {
  return QStringLiteral("The settings could not be saved: ") + result.error +
         QStringLiteral(".\nThey apply until the program closes, which tries to save them again.");
}

QString fnctHistoryClearFailureText(const platform::WriteResult& result) {
  return QStringLiteral("The history could not be cleared: ") + result.error +
         QStringLiteral(".\nNo event was removed.");
}

}  // namespace orv::desktop
