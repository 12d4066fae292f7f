#pragma once

#include "platform/atomic_file.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <deque>
#include <functional>

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

// Records one event dated now in gHistoryLists, unless MAX_ENTRY is below 1 and not -1;
// drops the oldest events beyond MAX_ENTRY; sets blnHistoryModified; tells the history
// listener while one is set.
void subAddEntryInHistory(HistoryEventType type, const QString& ipAddress, const QString& text);

// The history of the file: its valid events in file order, the newest MAX_ENTRY of them.
// A missing, empty or broken file gives an empty history; an invalid or incomplete
// event is skipped and the others are kept.
tHistoryLists fnctLoadHistory(const QString& path);

// Writes gHistoryLists to path, or an empty document when blnEmpty, through a temporary
// file renamed over the old one. Writing the events clears blnHistoryModified; a failed
// write leaves the file, the flag and the lists as they were, and its reason goes to the
// debug log and the console before it is returned.
platform::WriteResult subSaveHistory(const QString& path, bool blnEmpty);

// True when type is "1" to "11", ipAddress is not empty and date reads as a date.
bool isValidHistoryEvent(const QString& type, const QString& ipAddress, const QString& date);

// The history window registers here while it is open, to add each new event at the top of
// its list; an empty function unregisters it.
using HistoryListener = std::function<void(const tHistoryEvent& event)>;
void setHistoryListener(HistoryListener listener);

}  // namespace orv::core
