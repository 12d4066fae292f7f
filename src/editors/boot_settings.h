#pragma once

#include "core/configuration.h"
#include "platform/atomic_file.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// The settings of the boot category: start with the session (the session's autostart
// entry, stored nowhere else), start hidden in the tray and start the server at load (both
// in the configuration record, acting at the next start).
namespace orv::editors {

// ---- The autostart entry ----

// The Exec value that starts the program: its path as one quoted argument. Inside the
// quotes '"', '`', '$' and '\' get a '\' before them, '%' is doubled, and the value's own
// escapes (a '\' doubled, a line break as "\n") are applied on top.
QString fnctAutostartExecValue(const QString& programPath);

// A whole entry that starts the program when the session opens.
QByteArray fnctAutostartEntryText(const QString& programPath);

// The arguments of an Exec value, read back: the value's escapes undone, then split at
// blanks outside quotes, the quoting and the doubled '%' undone. Nothing for a value whose
// quotes are not closed.
std::optional<QStringList> fnctExecArguments(const QString& execValue);

// True when the entry starts exactly this program, without arguments, and is not switched
// off (Hidden=true, or X-GNOME-Autostart-enabled=false). The path is compared letter for
// letter: on this file system "/opt/Orv" and "/opt/orv" are two programs.
bool isAutostartEntryStarting(const QByteArray& entry, const QString& programPath);

// What a Save does to the entry: only a box that changed since it was loaded (or last
// saved) writes or removes it, so that an entry the user made or switched off elsewhere is
// left alone.
enum class AutostartChange { None, Write, Remove };
AutostartChange fnctAutostartChange(bool tickedAtLoad, bool tickedNow);

// Performs the change on the session's entry (platform/autostart_entry.h).
platform::WriteResult fnctApplyAutostartChange(AutostartChange change, const QString& programPath);

// The text that tells the user the entry could not be written or removed.
QString fnctAutostartFailureText(AutostartChange change, const platform::WriteResult& result);

// ---- The two settings of the configuration record ----

struct BootFields {
  bool startInTray = false;
  bool startServerOnLoad = false;
};

BootFields fnctBootFields(const core::tConfOther& other);
void subStoreBoot(const BootFields& fields, core::tConfOther& other);

}  // namespace orv::editors
