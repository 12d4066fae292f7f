#pragma once

#include "platform/atomic_file.h"

#include <QString>

#include <optional>

// The two settings of the history window, KEEP_HISTORY and MAX_ENTRY: the check of a typed
// limit and their Save.
namespace orv::desktop {

// The limit typed in the history window: -1 (no limit) or 1 to 65536, blanks around it
// allowed; nothing for any other text (0, -2, 65537, "abc", "1.5", "").
std::optional<int> fnctParseMaxHistoryEntry(const QString& text);

// Stores both settings; a limit lower than the events held drops the oldest of them (and
// marks the history modified); then rewrites config.xml at configPath. A failed write keeps
// the settings in effect for this run and the configuration marked modified, so that
// shut-down tries again; its reason is returned.
platform::WriteResult subSaveHistoryParam(bool keepHistory, int maxEntry, const QString& configPath);

// What the user is told of a failed Save or Clear.
QString fnctHistorySettingsFailureText(const platform::WriteResult& result);
QString fnctHistoryClearFailureText(const platform::WriteResult& result);

}  // namespace orv::desktop
