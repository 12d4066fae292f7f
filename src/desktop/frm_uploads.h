#pragma once

#include "desktop/child_panel.h"
#include "server/upload_details.h"

#include <QPoint>

class QAction;
class QGroupBox;
class QMenu;
class QTimer;
class QTreeView;

namespace orv::server {
class ServerEngine;
}

// The uploads window, the child panel "Uploads": above, the uploads in progress with a
// drawn progress bar each; below, the transfers of the store of sent files. While it is
// open the engine feeds it through UploadsWindowView (blnUploadsFormLoaded); a row under
// the pointer for 500 ms opens its details window; popup menus open a file or its folder,
// stop uploads and clear the sent list. Column widths and sort states are kept for the run
// in the display fields of the configuration.
namespace orv::desktop {

class frmToolTipUploads;
class UploadedFilesModel;
class UploadsInProgressModel;

class frmUploads : public ChildPanel, public server::UploadsWindowView {
  Q_OBJECT

 public:
  static constexpr int kTipsDelayMs = 500;

  // server: the engine whose connection slots send the uploads in progress.
  frmUploads(server::ServerEngine& server, QWidget* parent = nullptr);
  ~frmUploads() override;

  frmUploads(const frmUploads&) = delete;
  frmUploads& operator=(const frmUploads&) = delete;

  // ---- What the engine calls ----
  bool IsUploadExistInList(int index) const override;
  void addUploadInProgressInList(int index, const QString& filePath, int percent, double bytesSent, double totalSize,
                                 double rate, const QString& clientInfos, bool isPartialTransfer) override;
  void RefreshUploadInProgressList(int index, int percent, double bytesSent, double totalSize, double rate) override;
  void RemoveUploadInProgressInList(int index) override;
  void addUploadedFileInList(const QString& filePath, const QDateTime& date, bool isFinished, bool isCompleteFile,
                             bool isUpdateSameFile, bool isResort, bool isSessionTransfer) override;
  void RefreshUploadsInProgressFrameText() override;
  void RefreshUploadedFilesFrameText() override;
  void subShowUploadInProgressTooltip(int index, const server::tUploadInProgressInfos& infos, int x, int y,
                                      bool refreshOnly) override;

  // ---- Sorting: column is 1-based; without keepOrder the order is reversed first ----
  void SortUploadsInProgress(int column, bool keepOrder);
  void SortUploadedFiles(int column, bool keepOrder);

  // ---- Commands ----
  void openSelectedInProgressFile();
  void openSelectedInProgressFolder();
  void openSelectedUploadedFile();
  void openSelectedUploadedFolder();
  // Asks, then closes the connections of the selected uploads that still send the upload
  // the question named.
  void StopSelectedUploads();
  void mnuUploadedFiles_ClearList_Click();

  // ---- Details windows ----
  void subShowUploadedFileTooltip(qsizetype transfer, const server::tUploadedFileInfos& infos, QPoint position);
  void subHideUploadInProgressTooltip();
  void subHideUploadedFileTooltip();
  // The pointer left a list: its delay stops and its details window goes.
  void lvwUploadsInProgress_MouseOut();
  void lvwUploadedFiles_MouseOut();
  // The pointer moved over a list at a point of its viewport.
  void lvwUploadsInProgress_OnMouseMove(QPoint position);
  void lvwUploadedFiles_OnMouseMove(QPoint position);
  // The delays' ends: the details of the row last under the pointer open beside it.
  void tmrUploadsInProgressTipsDelay_Timer();
  void tmrUploadedFilesTipsDelay_Timer();

  // The connection slot and the transfer number last under the pointer.
  int intNextUploadsInProgressTips = -1;
  qsizetype intNextUploadedFilesTips = -1;

  // ---- For the tests ----
  QTreeView* inProgressList() const { return lvwUploadsInProgress_; }
  QTreeView* uploadedList() const { return lvwUploadedFiles_; }
  UploadsInProgressModel* inProgressModel() const { return inProgressModel_; }
  UploadedFilesModel* uploadedModel() const { return uploadedModel_; }
  QGroupBox* inProgressFrame() const { return fraUploadsInProgress_; }
  QGroupBox* uploadedFrame() const { return fraUploadsFinished_; }
  QMenu* inProgressMenu() const { return mnuUploadsInProgress_; }
  QMenu* uploadedMenu() const { return mnuUploadedFiles_; }
  frmToolTipUploads* inProgressTooltip() const { return frmToolTip_UploadsInProgress_; }
  frmToolTipUploads* uploadedTooltip() const { return frmToolTip_UploadedFiles_; }
  QTimer* inProgressTipsDelay() const { return tmrUploadsInProgressTipsDelay_; }
  QTimer* uploadedTipsDelay() const { return tmrUploadedFilesTipsDelay_; }
  // The popup menus at a point of a list's viewport, as a right click there opens them.
  void showInProgressMenu(QPoint position);
  void showUploadedMenu(QPoint position);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Form_Load();
  void Form_Unload();
  void Form_Resize();
  void RefreshUploadsFormLang();
  void FillUploadsInProgressList();
  void buildMenus();
  // The selected path of a list when its current row is selected, else empty.
  QString selectedInProgressPath() const;
  QString selectedUploadedPath() const;
  quint64 transferIdOf(int index) const;

  server::ServerEngine& server_;
  bool unloaded_ = false;
  quint64 nextInProgressTipsTransfer_ = 0;
  QGroupBox* fraUploadsInProgress_ = nullptr;
  QTreeView* lvwUploadsInProgress_ = nullptr;
  UploadsInProgressModel* inProgressModel_ = nullptr;
  QGroupBox* fraUploadsFinished_ = nullptr;
  QTreeView* lvwUploadedFiles_ = nullptr;
  UploadedFilesModel* uploadedModel_ = nullptr;
  QTimer* tmrUploadsInProgressTipsDelay_ = nullptr;
  QTimer* tmrUploadedFilesTipsDelay_ = nullptr;
  frmToolTipUploads* frmToolTip_UploadsInProgress_ = nullptr;
  frmToolTipUploads* frmToolTip_UploadedFiles_ = nullptr;
  QMenu* mnuUploadsInProgress_ = nullptr;
  QAction* mnuUploadsInProgress_OpenFile_ = nullptr;
  QAction* mnuUploadsInProgress_OpenFolder_ = nullptr;
  QAction* mnuUploadsInProgress_StopUpload_ = nullptr;
  QMenu* mnuUploadedFiles_ = nullptr;
  QAction* mnuUploadedFiles_OpenFile_ = nullptr;
  QAction* mnuUploadedFiles_OpenFolder_ = nullptr;
  QAction* mnuUploadedFiles_ClearList_ = nullptr;
};

}  // namespace orv::desktop
