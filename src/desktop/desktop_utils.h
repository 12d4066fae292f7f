#pragma once

#include <QString>
#include <QUrl>

#include <functional>

class QAbstractItemView;
class QWidget;

// The small services every window shares: the folder and file pickers, opening a file, a
// folder or an address with its associated program, and the help file of the language.
// Each goes through one seam, so that tests answer the pickers and capture what is opened.
namespace orv::desktop {

// ---- Shell-open ----

// Receives every file, folder or address the program asks the desktop to open; an empty
// function brings the real desktop back.
using ShellOpener = std::function<void(const QUrl& url)>;
void setShellOpener(ShellOpener opener);

// Opens a file or folder (an absolute local path) or a web or mail address ("http://...",
// "mailto:...") with the program the desktop associates with it. The result is not
// examined: the desktop itself tells the user when nothing can open it.
void subShellOpen(const QString& pathOrAddress);
// The address subShellOpen hands to the desktop for the same text.
QUrl shellOpenUrl(const QString& pathOrAddress);

// ---- Pickers ----

struct FolderPickerRequest {
  QString title;
};
struct FilePickerRequest {
  QString title;
  QString filterName;     // empty: no filter at all
  QString filterPattern;  // "*.bmp;*.jpg;": ";"-separated, empty: no filter at all
  QString initialFolder;
};
// A picker answers with the chosen path, or an empty text for a cancel.
using FolderPicker = std::function<QString(const FolderPickerRequest& request)>;
using FilePicker = std::function<QString(const FilePickerRequest& request)>;
void setFolderPicker(FolderPicker picker);
void setFilePicker(FilePicker picker);

// The chosen folder, or "" when the user cancels.
QString fnctBrowseForFolder(const QString& title);

// The filter a file dialog shows for a name and a ";"-separated pattern: "Icon 16x16
// (*.ico)"; empty (no filter at all) when either is empty.
QString fileDialogFilter(const QString& filterName, const QString& filterPattern);

// The chosen existing file with surrounding blanks trimmed, or "" on a cancel. An empty
// initialFolder starts in the application folder, which is then written back into it.
QString fnctOpenFileDialog(QWidget* owner, const QString& title, const QString& filterName,
                           const QString& filterPattern, QString& initialFolder);

// ---- Help, lists, windows, fonts ----

// Opens help/<HELP_FILE of the current language> of the application folder, or says in a
// message box that it is missing: HELP_FILE_NOT_FOUND followed by " (" path ")".
void subOpenHelpFile();

// The number of selected items of a list: a row with any selected cell counts once.
int isListViewItemSelected(const QAbstractItemView& view);

// Raises and activates a window.
void subSetForegroundWindow(QWidget* window);

// Qt fonts are Unicode: there is no character set to apply, so both keep their place in
// the sequences that call them and change nothing.
inline int getSystemCharset() {
  return 0;
}
inline void subApplyFontCharset(QWidget*) {}

}  // namespace orv::desktop
