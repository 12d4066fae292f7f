#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The start-up and shut-down sequences of the application, run by the main window's load
// and close. Both are strictly ordered: later steps read what earlier steps loaded, and
// shut-down closes every connection before any store is written.
namespace orv::desktop {

class frmMain;

// The fixed English texts of the three start-up failures.
inline constexpr char kNoFileLanguageFound[] = "No file language found";
inline constexpr char kNoLanguageFileFound[] = "No language file found";
inline constexpr char kLanguageFileOutOfDate[] = "Language file version out of date";

// The exit code of a run that ended on one of them.
inline constexpr int kStartupFailureExitCode = 1;

// The whole command-line argument text: the arguments after the program's name, joined by
// blanks. Start-up opens the debug window when it equals "/debug", case ignored.
QString commandLineText(const QStringList& arguments);

// True for a development build (without NDEBUG): the caption then ends in " [Debug mode]".
bool isDebugMode();

// A language file's MAX_APP_VERSION_COMPATIBLILITY text as start-up compares it: every "."
// removed, the rest read as a signed 16-bit number ("1.02" gives 102); nothing when it is
// not such a number.
std::optional<qint16> fnctLanguageVersionNumber(const QString& text);

// Runs the start-up sequence for the window in the application folder given. False after
// one of the three failures, which is shown in a message box and written to standard error;
// the caller then ends the program with kStartupFailureExitCode without saving anything.
bool subStartUp(frmMain& window, const QString& executableFolder, const QString& commandLine);

// Runs the shut-down sequence: closes every connection, then writes each store whose
// modified flag is set. A store that cannot be written is reported in the debug log and on
// standard error, and the remaining ones are still written.
void subShutDown(frmMain& window);

}  // namespace orv::desktop
