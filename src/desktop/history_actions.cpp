#include "desktop/history_actions.h"

#include "core/file_utils.h"

namespace orv::desktop {
namespace {

using core::HistoryEventType;

bool isFolderEvent(HistoryEventType type) {
  return type == HistoryEventType::PHYSICAL_FOLDER_NAVIGATION || type == HistoryEventType::AUDIO_FOLDER_NAVIGATION;
}

bool isFileEvent(HistoryEventType type) {
  return type == HistoryEventType::FILE_START_UPLOAD || type == HistoryEventType::FILE_ABORT_UPLOAD ||
         type == HistoryEventType::FILE_END_UPLOAD || type == HistoryEventType::FORBIDDEN;
}

bool isUsableFolder(const QString& path) {
  return core::fnctFolderExists(path, false) == core::ExistenceCode::Usable;
}

bool isUsableFile(const QString& path) {
  return core::fnctFileExists(path, false) == core::ExistenceCode::Usable;
}

}  // namespace

HistoryMenuLayout fnctHistoryMenuLayout(HistoryEventType type) {
  if (isFileEvent(type)) {
    return {true, true, HistoryMenuDefault::OpenFile};
  }
  if (isFolderEvent(type)) {
    return {false, true, HistoryMenuDefault::OpenFolder};
  }
  return {};
}

QString getHistoryEventPath(HistoryEventType type, const QString& text) {
  return isFileEvent(type) || isFolderEvent(type) ? text : QString();
}

QString fnctHistoryPathToOpen(HistoryEventType type, const QString& text) {
  const QString path = getHistoryEventPath(type, text);
  if (path.isEmpty() || !(isUsableFolder(path) || isUsableFile(path))) {
    return {};
  }
  return path;
}

QString fnctHistoryFolderToOpen(HistoryEventType type, const QString& text) {
  const QString path = getHistoryEventPath(type, text);
  if (path.isEmpty()) {
    return {};
  }
  // A browsed folder is the folder to open; so is a refused path that is itself a folder.
  // Anything else is a file, shown in the folder that holds it.
  QString folder = path;
  if (!isFolderEvent(type) && !isUsableFolder(path)) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0) {
      return {};
    }
    folder = slash == 0 ? QStringLiteral("/") : path.left(slash);
  }
  return isUsableFolder(folder) ? folder : QString();
}

}  // namespace orv::desktop
