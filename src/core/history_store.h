#pragma once

#include "platform/atomic_file.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <deque>

// The event history: what the server noticed of its clients (files sent, folders browsed,
// refusals, failed logins, bans), kept in memory for the history window and in
// history.xml beside the executable between runs.
namespace orv::core {

// What happened. Each name is also the language key of the event's label.
enum class HistoryEventType : std::uint8_t {
  FILE_START_UPLOAD = 1,
  FILE_ABORT_UPLOAD = 2,
  FILE_END_UPLOAD = 3,
  PHYSICAL_FOLDER_NAVIGATION = 4,
  VIRTUAL_FOLDER_NAVIGATION = 5,
  AUDIO_FOLDER_NAVIGATION = 6,
  NOT_FOUND = 7,
  FORBIDDEN = 8,
  LOGIN_FAILED = 9,
  BANNED = 10,
  FILTERS_REJECT = 11,
};

struct tHistoryEvent {
  QString date;  // as stored: see parseStoredDate
  HistoryEventType type = HistoryEventType::FILE_START_UPLOAD;
  QString ipAddress;   // the address, or the address and " (" login ")"
  QString text;        // a local path, a URL path, a ban length in seconds, or empty
  bool isNew = false;  // recorded in this run, not read from history.xml
};

// Oldest first, at most MAX_ENTRY events (-1: no limit).
struct tHistoryLists {
  std::deque<tHistoryEvent> events;

  qsizetype count() const { return static_cast<qsizetype>(events.size()); }
};

extern tHistoryLists gHistoryLists;

// The history window, while it is shown: the engine records events without a screen, so
// the window registers itself here and each new event reaches it at once.
class HistoryWindowView {
 public:
  virtual ~HistoryWindowView() = default;

  // Adds one event at the top of the window's list.
  virtual void AddEntryInHistoryList(HistoryEventType type, const QString& ipAddress, const QDateTime& date,
                                     const QString& text, bool isNew) = 0;
};

// The window registers itself while it exists and unregisters (nullptr) before it goes;
// the store never owns it.
void setHistoryWindowView(HistoryWindowView* view);
// The history window while blnHistoryFormLoaded is set and one is registered, else nullptr.
HistoryWindowView* getHistoryWindow();

// Records one event dated now in gHistoryLists, unless MAX_ENTRY is below 1 and not -1;
// shows it in the history window while that is open; drops the oldest events beyond
// MAX_ENTRY; sets blnHistoryModified.
void subAddEntryInHistory(HistoryEventType type, const QString& ipAddress, const QString& text);

// The history of the file: its valid events in file order, the newest MAX_ENTRY of them.
// A missing, empty or broken file gives an empty history; an invalid or incomplete
// event is skipped and the others are kept.
tHistoryLists fnctLoadHistory(const QString& path);

// Writes gHistoryLists to path, or a history without events when blnEmpty, through a
// temporary file renamed over the old one. The history without events is the declaration
// and an empty HISTORY element: a well-formed document that every reader of history.xml
// takes for an empty history. Writing the events clears blnHistoryModified; a failed write
// leaves the file, the flag and the lists as they were, and its reason goes to the debug
// log and the console before it is returned.
platform::WriteResult subSaveHistory(const QString& path, bool blnEmpty);

// Empties history.xml at path first and the lists only once that is done, so that a file
// that cannot be written keeps both as they were and the cleared events cannot come back
// at the next start without the user knowing. Clears blnHistoryModified on success.
platform::WriteResult subClearHistory(const QString& path);

// Drops the oldest events until at most limit remain (-1: no limit); true when any went,
// and then the history is marked modified so that the file follows at shut-down.
bool subTrimHistory(int limit);

// True when type is "1" to "11", ipAddress is not empty and date reads as a date.
bool isValidHistoryEvent(const QString& type, const QString& ipAddress, const QString& date);

}  // namespace orv::core
