#pragma once

#include <QDateTime>
#include <QString>

// What the engine shows of uploads in the desktop shell: the rows of the uploads window and
// the tray icon's state. The engine runs without a screen, so the shell registers its
// windows here when they exist; the engine calls the uploads window only while
// blnUploadsFormLoaded is set.
namespace orv::server {

// The tooltip of an upload in progress, in the order it is shown.
struct tUploadInProgressInfos {
  QString filePath;
  QDateTime startDate;
  double remainingBytes = 0;  // the required size less the body bytes sent
  double rangeStart = 0;      // 0 for the whole file
  double fileSize = 0;
  double currentRate = 0;  // body bytes sent during the last one-second tick
  double averageRate = 0;  // body bytes sent / whole seconds since the start; -1 when either is 0
  QString clientAppName;   // the User-Agent
  QString clientInfos;
};

// The uploads window (a child panel of the main window). index is the connection slot of
// an upload in progress.
class UploadsWindowView {
 public:
  virtual ~UploadsWindowView() = default;

  virtual bool IsUploadExistInList(int index) const = 0;
  // isPartialTransfer: a byte range, not the whole file (the row's icon tells them apart).
  virtual void addUploadInProgressInList(int index, const QString& filePath, int percent, double bytesSent,
                                         double totalSize, double rate, const QString& clientInfos,
                                         bool isPartialTransfer) = 0;
  virtual void RefreshUploadInProgressList(int index, int percent, double bytesSent, double totalSize, double rate) = 0;
  // Also hides the in-progress tooltip and redraws the progress bars.
  virtual void RemoveUploadInProgressInList(int index) = 0;
  virtual void addUploadedFileInList(const QString& filePath, const QDateTime& date, bool isFinished,
                                     bool isCompleteFile, bool isUpdateSameFile, bool isResort,
                                     bool isSessionTransfer) = 0;
  virtual void RefreshUploadsInProgressFrameText() = 0;
  virtual void RefreshUploadedFilesFrameText() = 0;
  // Fills the in-progress tooltip; unless refreshOnly also places it at (x, y) and shows it.
  virtual void subShowUploadInProgressTooltip(int index, const tUploadInProgressInfos& infos, int x, int y,
                                              bool refreshOnly) = 0;
};

// The tray icon of the main window.
class TrayIconView {
 public:
  virtual ~TrayIconView() = default;

  virtual bool getIsIconIsVisible() const = 0;
  // Shows or updates the icon and tip of the server state (stopped, running, uploading).
  virtual void AddOrRefreshSystrayIcon() = 0;
};

// The shell registers its window while it exists and unregisters it (nullptr) before it
// goes; the engine never owns them.
void setUploadsWindowView(UploadsWindowView* view);
void setTrayIconView(TrayIconView* view);

// The uploads window while blnUploadsFormLoaded is set and one is registered, else nullptr.
UploadsWindowView* getUploadsWindow();

// AddOrRefreshSystrayIcon when a tray icon is registered and shown.
void subRefreshSystrayIconWhenShown();

}  // namespace orv::server
