#pragma once

#include "core/history_store.h"

#include <QString>

// What the history window offers for one event: the menu it shows, the path an event names
// and what opening it opens. Free of widgets, so that the rules are tested without a screen.
namespace orv::desktop {

// The items of the history list's menu shown for an event, and the one drawn bold.
enum class HistoryMenuDefault { OpenFile, OpenFolder, Clear };
struct HistoryMenuLayout {
  bool openFile = false;
  bool openFolder = false;  // the separator goes with it
  HistoryMenuDefault defaultItem = HistoryMenuDefault::Clear;
};

// Files sent or refused: both items, Open file first; folders browsed: Open folder alone;
// every other event (a virtual folder, a page not found, a login, a ban, a filter): Clear
// alone.
HistoryMenuLayout fnctHistoryMenuLayout(core::HistoryEventType type);

// The local path an event names: the text of the file and folder events and of a refused
// path; "" for the others, whose text is a URL path, a number of seconds or nothing.
QString getHistoryEventPath(core::HistoryEventType type, const QString& text);

// What Open file and a double click open: the event's path when it is an existing, usable
// file or folder; "" otherwise.
QString fnctHistoryPathToOpen(core::HistoryEventType type, const QString& text);

// What Open folder opens: a folder event's own folder, or the folder that holds a file;
// only when that folder exists and is usable; "" otherwise.
QString fnctHistoryFolderToOpen(core::HistoryEventType type, const QString& text);

}  // namespace orv::desktop
