#include "desktop/desktop_utils.h"

#include "core/configuration.h"
#include "core/file_utils.h"
#include "core/language.h"
#include "desktop/message_box.h"

#include <QAbstractItemView>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QItemSelectionModel>
#include <QSet>
#include <QWidget>

#include <utility>

namespace orv::desktop {
namespace {

ShellOpener& installedOpener() {
  static ShellOpener opener;
  return opener;
}
FolderPicker& installedFolderPicker() {
  static FolderPicker picker;
  return picker;
}
FilePicker& installedFilePicker() {
  static FilePicker picker;
  return picker;
}

}  // namespace

// The patterns blank-separated, as Qt's filters are.
QString fileDialogFilter(const QString& filterName, const QString& filterPattern) {
  const QStringList patterns = filterPattern.split(u';', Qt::SkipEmptyParts);
  if (filterName.isEmpty() || patterns.isEmpty()) {
    return {};
  }
  return filterName + QStringLiteral(" (") + patterns.join(u' ') + u')';
}

void setShellOpener(ShellOpener opener) {
  installedOpener() = std::move(opener);
}

QUrl shellOpenUrl(const QString& pathOrAddress) {
  if (pathOrAddress.startsWith(u'/')) {
    return QUrl::fromLocalFile(pathOrAddress);
  }
  return QUrl(pathOrAddress, QUrl::TolerantMode);
}

void subShellOpen(const QString& pathOrAddress) {
  const QUrl url = shellOpenUrl(pathOrAddress);
  if (const ShellOpener& opener = installedOpener()) {
    opener(url);
    return;
  }
  QDesktopServices::openUrl(url);
}

void setFolderPicker(FolderPicker picker) {
  installedFolderPicker() = std::move(picker);
}

void setFilePicker(FilePicker picker) {
  installedFilePicker() = std::move(picker);
}

QString fnctBrowseForFolder(const QString& title) {
  const FolderPickerRequest request{title};
  if (const FolderPicker& picker = installedFolderPicker()) {
    return picker(request);
  }
  return QFileDialog::getExistingDirectory(nullptr, title, QDir::homePath(), QFileDialog::ShowDirsOnly);
}

QString fnctOpenFileDialog(QWidget* owner, const QString& title, const QString& filterName,
                           const QString& filterPattern, QString& initialFolder) {
  if (initialFolder.isEmpty()) {
    initialFolder = core::gAppFolder;
  }
  const FilePickerRequest request{title, filterName, filterPattern, initialFolder};
  QString chosen;
  if (const FilePicker& picker = installedFilePicker()) {
    chosen = picker(request);
  } else {
    chosen = QFileDialog::getOpenFileName(owner, title, initialFolder, fileDialogFilter(filterName, filterPattern));
  }
  return chosen.trimmed();
}

void subOpenHelpFile() {
  const QString helpFile = core::gLanguagesList.colHelpFile.value(core::gConfiguration.Language.FILENAME);
  const QString path = core::gAppFolder + QStringLiteral("/help/") + helpFile;
  if (helpFile.isEmpty() || core::fnctFileExists(path, false) != core::ExistenceCode::Usable) {
    showMessageBox({core::gLanguage.text(u"MSGBOX/ERRORS/HELP_FILE_NOT_FOUND") + QStringLiteral(" (") + path + u')',
                    {},
                    MessageIcon::Critical,
                    MessageButtons::Ok});
    return;
  }
  subShellOpen(path);
}

int isListViewItemSelected(const QAbstractItemView& view) {
  const QItemSelectionModel* selection = view.selectionModel();
  if (selection == nullptr) {
    return 0;
  }
  // selectedRows() counts only rows whose every cell is selected, which a view selecting
  // cells one by one never has.
  QSet<QPersistentModelIndex> rows;
  for (const QModelIndex& index : selection->selectedIndexes()) {
    rows.insert(QPersistentModelIndex(index.siblingAtColumn(0)));
  }
  return static_cast<int>(rows.size());
}

void subSetForegroundWindow(QWidget* window) {
  if (window == nullptr) {
    return;
  }
  window->raise();
  window->activateWindow();
}

}  // namespace orv::desktop
