#include "desktop/frm_uploads.h"

#include "core/app_info.h"
#include "core/configuration.h"
#include "core/file_utils.h"
#include "core/language.h"
#include "core/uploaded_store.h"
#include "desktop/desktop_utils.h"
#include "desktop/frm_tooltip_uploads.h"
#include "desktop/message_box.h"
#include "desktop/progress_bar_delegate.h"
#include "desktop/uploads_models.h"
#include "desktop/uploads_texts.h"
#include "server/file_reader.h"
#include "server/server_engine.h"
#include "server/upload_details.h"

#include <QCursor>
#include <QEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace orv::desktop {
namespace {

using core::gConfiguration;

constexpr int kBarColumn = 1;
constexpr int kDefaultInProgressWidths[4] = {131, 104, 68, 100};
constexpr int kDefaultUploadedWidths[2] = {115, 51};

// The design widths fit the design font; with a larger font a column at first opening is
// as wide as the longest text it usually shows (its header included), so nothing is cut.
int defaultWidth(const QTreeView& list, int column, int designWidth, const QString& sample) {
  const QFontMetrics metrics = list.fontMetrics();
  const QString header = list.model()->headerData(column, Qt::Horizontal).toString();
  constexpr int kPadding = 16;
  return std::max({designWidth, metrics.horizontalAdvance(sample) + kPadding,
                   list.header()->fontMetrics().horizontalAdvance(header) + 2 * kPadding});
}

QString text(std::u16string_view name) {
  return core::gLanguage.text(name);
}

QTreeView* makeList(const QString& objectName, QAbstractItemModel* model, QWidget* parent) {
  auto* list = new QTreeView(parent);
  list->setObjectName(objectName);
  list->setModel(model);
  list->setRootIsDecorated(false);
  list->setItemsExpandable(false);
  list->setUniformRowHeights(true);
  list->setAllColumnsShowFocus(true);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  list->setContextMenuPolicy(Qt::CustomContextMenu);
  list->viewport()->setMouseTracking(true);
  QHeaderView* header = list->header();
  header->setStretchLastSection(false);
  header->setSectionsClickable(true);
  header->setSectionsMovable(false);
  header->setSortIndicatorShown(false);
  return list;
}

QAction* addItem(QMenu* menu, const QString& objectName) {
  QAction* action = menu->addAction(QString());
  action->setObjectName(objectName);
  return action;
}

QRect screenAround(QPoint cursor) {
  const QScreen* screen = QGuiApplication::screenAt(cursor);
  if (screen == nullptr) {
    screen = QGuiApplication::primaryScreen();
  }
  return screen == nullptr ? QRect(0, 0, 1024, 768) : screen->geometry();
}

// The row of the current item when it is selected, else -1.
int selectedCurrentRow(const QTreeView& list) {
  const QModelIndex current = list.currentIndex();
  if (list.model()->rowCount() == 0 || !current.isValid() || list.selectionModel() == nullptr ||
      !list.selectionModel()->isRowSelected(current.row(), {})) {
    return -1;
  }
  return current.row();
}

void showSortIndicator(QTreeView& list, const UploadsListModel& model) {
  QHeaderView* header = list.header();
  header->setSortIndicatorShown(model.isSorted());
  if (model.isSorted()) {
    header->setSortIndicator(model.sortKey(), model.sortOrder() == 1 ? Qt::DescendingOrder : Qt::AscendingOrder);
  }
}

}  // namespace

frmUploads::frmUploads(server::ServerEngine& server, QWidget* parent) : ChildPanel(parent), server_(server) {
  setObjectName(QStringLiteral("frmUploads"));

  fraUploadsInProgress_ = new QGroupBox(this);
  fraUploadsInProgress_->setObjectName(QStringLiteral("fraUploadsInProgress"));
  inProgressModel_ = new UploadsInProgressModel(this);
  lvwUploadsInProgress_ = makeList(QStringLiteral("lvwUploadsInProgress"), inProgressModel_, fraUploadsInProgress_);
  lvwUploadsInProgress_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lvwUploadsInProgress_->setSelectionBehavior(QAbstractItemView::SelectRows);
  lvwUploadsInProgress_->setItemDelegate(new ProgressBarDelegate(kBarColumn, lvwUploadsInProgress_));
  auto* upper = new QVBoxLayout(fraUploadsInProgress_);
  upper->addWidget(lvwUploadsInProgress_);

  fraUploadsFinished_ = new QGroupBox(this);
  fraUploadsFinished_->setObjectName(QStringLiteral("fraUploadsFinished"));
  uploadedModel_ = new UploadedFilesModel(this);
  lvwUploadedFiles_ = makeList(QStringLiteral("lvwUploadedFiles"), uploadedModel_, fraUploadsFinished_);
  lvwUploadedFiles_->setSelectionMode(QAbstractItemView::SingleSelection);
  lvwUploadedFiles_->setSelectionBehavior(QAbstractItemView::SelectRows);
  auto* lower = new QVBoxLayout(fraUploadsFinished_);
  lower->addWidget(lvwUploadedFiles_);

  // The upper frame takes 2610 of each 6090 twips of height, the lower one the rest.
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(fraUploadsInProgress_, upperFrameHeight(6090));
  layout->addWidget(fraUploadsFinished_, 6090 - upperFrameHeight(6090));
  setTabOrder(lvwUploadsInProgress_, lvwUploadedFiles_);

  tmrUploadsInProgressTipsDelay_ = new QTimer(this);
  tmrUploadsInProgressTipsDelay_->setObjectName(QStringLiteral("tmrUploadsInProgressTipsDelay"));
  tmrUploadedFilesTipsDelay_ = new QTimer(this);
  tmrUploadedFilesTipsDelay_->setObjectName(QStringLiteral("tmrUploadedFilesTipsDelay"));
  for (QTimer* timer : {tmrUploadsInProgressTipsDelay_, tmrUploadedFilesTipsDelay_}) {
    timer->setInterval(kTipsDelayMs);
    timer->setSingleShot(true);
  }
  frmToolTip_UploadsInProgress_ = makeUploadsInProgressTooltip(this);
  frmToolTip_UploadedFiles_ = makeUploadedFilesTooltip(this);
  buildMenus();

  for (QTreeView* list : {lvwUploadsInProgress_, lvwUploadedFiles_}) {
    list->installEventFilter(this);
    list->viewport()->installEventFilter(this);
  }
  connect(lvwUploadsInProgress_->header(), &QHeaderView::sectionClicked, this,
          [this](int section) { SortUploadsInProgress(section + 1, false); });
  connect(lvwUploadedFiles_->header(), &QHeaderView::sectionClicked, this,
          [this](int section) { SortUploadedFiles(section + 1, false); });
  connect(lvwUploadsInProgress_, &QAbstractItemView::doubleClicked, this, &frmUploads::openSelectedInProgressFile);
  connect(lvwUploadedFiles_, &QAbstractItemView::doubleClicked, this, &frmUploads::openSelectedUploadedFile);
  connect(lvwUploadsInProgress_, &QWidget::customContextMenuRequested, this, &frmUploads::showInProgressMenu);
  connect(lvwUploadedFiles_, &QWidget::customContextMenuRequested, this, &frmUploads::showUploadedMenu);
  connect(tmrUploadsInProgressTipsDelay_, &QTimer::timeout, this, &frmUploads::tmrUploadsInProgressTipsDelay_Timer);
  connect(tmrUploadedFilesTipsDelay_, &QTimer::timeout, this, &frmUploads::tmrUploadedFilesTipsDelay_Timer);

  Form_Load();
}

frmUploads::~frmUploads() {
  Form_Unload();
}

void frmUploads::buildMenus() {
  mnuUploadsInProgress_ = new QMenu(this);
  mnuUploadsInProgress_->setObjectName(QStringLiteral("mnuUploadsInProgress"));
  mnuUploadsInProgress_OpenFile_ = addItem(mnuUploadsInProgress_, QStringLiteral("mnuUploadsInProgress_OpenFile"));
  mnuUploadsInProgress_OpenFolder_ = addItem(mnuUploadsInProgress_, QStringLiteral("mnuUploadsInProgress_OpenFolder"));
  mnuUploadsInProgress_->addSeparator()->setObjectName(QStringLiteral("separator2"));
  mnuUploadsInProgress_StopUpload_ = addItem(mnuUploadsInProgress_, QStringLiteral("mnuUploadsInProgress_StopUpload"));
  mnuUploadsInProgress_->setDefaultAction(mnuUploadsInProgress_OpenFile_);

  mnuUploadedFiles_ = new QMenu(this);
  mnuUploadedFiles_->setObjectName(QStringLiteral("mnuUploadedFiles"));
  mnuUploadedFiles_OpenFile_ = addItem(mnuUploadedFiles_, QStringLiteral("mnuUploadedFiles_OpenFile"));
  mnuUploadedFiles_OpenFolder_ = addItem(mnuUploadedFiles_, QStringLiteral("mnuUploadedFiles_OpenFolder"));
  mnuUploadedFiles_->addSeparator()->setObjectName(QStringLiteral("separator1"));
  mnuUploadedFiles_ClearList_ = addItem(mnuUploadedFiles_, QStringLiteral("mnuUploadedFiles_ClearList"));
  mnuUploadedFiles_->setDefaultAction(mnuUploadedFiles_OpenFile_);

  connect(mnuUploadsInProgress_OpenFile_, &QAction::triggered, this, &frmUploads::openSelectedInProgressFile);
  connect(mnuUploadsInProgress_OpenFolder_, &QAction::triggered, this, &frmUploads::openSelectedInProgressFolder);
  connect(mnuUploadsInProgress_StopUpload_, &QAction::triggered, this, &frmUploads::StopSelectedUploads);
  connect(mnuUploadedFiles_OpenFile_, &QAction::triggered, this, &frmUploads::openSelectedUploadedFile);
  connect(mnuUploadedFiles_OpenFolder_, &QAction::triggered, this, &frmUploads::openSelectedUploadedFolder);
  connect(mnuUploadedFiles_ClearList_, &QAction::triggered, this, &frmUploads::mnuUploadedFiles_ClearList_Click);
}

// ---- Opening and closing ----

void frmUploads::Form_Load() {
  RefreshUploadsFormLang();
  core::tConfAppDisplay& display = gConfiguration.AppDisplay;
  const QString inProgressSamples[4] = {QString(), transferredOnTotalText(999.99 * 1048576, 999.99 * 1048576),
                                        rateText(999.99 * 1048576), QStringLiteral("255.255.255.255")};
  for (int column = 0; column < 4; ++column) {
    int& width = display.intInProgressColumnWidths[column];
    if (width == 0) {
      width =
          defaultWidth(*lvwUploadsInProgress_, column + 1, kDefaultInProgressWidths[column], inProgressSamples[column]);
    }
    lvwUploadsInProgress_->setColumnWidth(column + 1, width);
  }
  const QString uploadedSamples[2] = {QStringLiteral("8888/88/88 88:88:88"), QStringLiteral("88888")};
  for (int column = 0; column < 2; ++column) {
    int& width = display.intUploadedColumnWidths[column];
    if (width == 0) {
      width = defaultWidth(*lvwUploadedFiles_, column + 1, kDefaultUploadedWidths[column], uploadedSamples[column]);
    }
    lvwUploadedFiles_->setColumnWidth(column + 1, width);
  }
  FillUploadsInProgressList();
  uploadedModel_->fill();
  gConfiguration.AppState.blnUploadsFormLoaded = true;
  server::setUploadsWindowView(this);

  inProgressModel_->setSortState(display.bytInProgressSortKey, display.bytInProgressSortOrder, false);
  uploadedModel_->setSortState(display.bytUploadedSortKey, display.bytUploadedSortOrder, false);
  if (display.blnInProgressSorted) {
    SortUploadsInProgress(inProgressModel_->sortKey() + 1, true);
  }
  if (display.blnUploadedSorted) {
    SortUploadedFiles(uploadedModel_->sortKey() + 1, true);
  } else {
    // The first opening of a run: newest transfer first.
    uploadedModel_->setSortState(uploadedModel_->sortKey(), 1, false);
    SortUploadedFiles(2, true);
  }
  RefreshUploadsInProgressFrameText();
  RefreshUploadedFilesFrameText();
  display.gShownMainPanel = static_cast<int>(MainPanel::Uploads);
}

void frmUploads::Form_Unload() {
  if (unloaded_) {
    return;
  }
  unloaded_ = true;
  tmrUploadsInProgressTipsDelay_->stop();
  tmrUploadedFilesTipsDelay_->stop();
  subHideUploadInProgressTooltip();
  subHideUploadedFileTooltip();
  core::tConfAppDisplay& display = gConfiguration.AppDisplay;
  for (int column = 0; column < 4; ++column) {
    display.intInProgressColumnWidths[column] = lvwUploadsInProgress_->columnWidth(column + 1);
  }
  for (int column = 0; column < 2; ++column) {
    display.intUploadedColumnWidths[column] = lvwUploadedFiles_->columnWidth(column + 1);
  }
  display.bytInProgressSortKey = inProgressModel_->sortKey();
  display.bytInProgressSortOrder = inProgressModel_->sortOrder();
  display.blnInProgressSorted = inProgressModel_->isSorted();
  display.bytUploadedSortKey = uploadedModel_->sortKey();
  display.bytUploadedSortOrder = uploadedModel_->sortOrder();
  display.blnUploadedSorted = uploadedModel_->isSorted();
  gConfiguration.AppState.blnUploadsFormLoaded = false;
  server::setUploadsWindowView(nullptr);
}

void frmUploads::RefreshUploadsFormLang() {
  // Each list is named by its frame's caption word, as a screen reader reads it.
  lvwUploadsInProgress_->setAccessibleName(text(u"UPLOADS_FORM/FRAMES/IN_PROGRESS"));
  lvwUploadedFiles_->setAccessibleName(text(u"UPLOADS_FORM/FRAMES/FINISHED"));
  inProgressModel_->refreshHeaders();
  uploadedModel_->refreshHeaders();
  mnuUploadsInProgress_OpenFile_->setText(text(u"UPLOADS_FORM/MENUS/IN_PROGRESS_OPEN_FILE"));
  mnuUploadsInProgress_OpenFolder_->setText(text(u"UPLOADS_FORM/MENUS/IN_PROGRESS_OPEN_FOLDER"));
  mnuUploadsInProgress_StopUpload_->setText(text(u"UPLOADS_FORM/MENUS/IN_PROGRESS_STOP_TRANSFER"));
  mnuUploadedFiles_OpenFile_->setText(text(u"UPLOADS_FORM/MENUS/UPLOADED_FILES_OPEN_FILE"));
  mnuUploadedFiles_OpenFolder_->setText(text(u"UPLOADS_FORM/MENUS/UPLOADED_FILES_OPEN_FOLDER"));
  mnuUploadedFiles_ClearList_->setText(text(u"UPLOADS_FORM/MENUS/UPLOADED_FILES_CLEAR_LIST"));
}

void frmUploads::FillUploadsInProgressList() {
  const server::ConnectionSlots& slots = server_.slots();
  for (const int index : slots.indexes()) {
    const server::usrFileReader* reader = slots.usrFileReader(index);
    if (reader == nullptr || !reader->getIsActiveUpload() || reader->getIsInvibleTransfer()) {
      continue;
    }
    const server::UploadReading upload = server::readUpload(*reader);
    inProgressModel_->add({index, reader->getTransferId(), upload.filePath, reader->getUploadPercent(),
                           upload.bodyBytesSent, upload.requiredFileSize, upload.uploadRate, upload.clientInfos,
                           upload.bitRange != 0});
  }
}

quint64 frmUploads::transferIdOf(int index) const {
  const server::usrFileReader* reader = server_.slots().usrFileReader(index);
  return reader == nullptr ? 0 : reader->getTransferId();
}

// ---- Layout ----

void frmUploads::resizeEvent(QResizeEvent* event) {
  ChildPanel::resizeEvent(event);
  Form_Resize();
}

void frmUploads::Form_Resize() {
  if (!blnRedimActivate) {
    return;
  }
  int others = 0;
  for (int column = 1; column < 5; ++column) {
    others += lvwUploadsInProgress_->columnWidth(column);
  }
  lvwUploadsInProgress_->setColumnWidth(0, firstColumnWidth(lvwUploadsInProgress_->viewport()->width(), others, 0));
  others = lvwUploadedFiles_->columnWidth(1) + lvwUploadedFiles_->columnWidth(2);
  lvwUploadedFiles_->setColumnWidth(0, firstColumnWidth(lvwUploadedFiles_->viewport()->width(), others, 0));
}

// ---- What the engine calls ----

bool frmUploads::IsUploadExistInList(int index) const {
  return inProgressModel_->rowOf(index) >= 0;
}

void frmUploads::addUploadInProgressInList(int index, const QString& filePath, int percent, double bytesSent,
                                           double totalSize, double rate, const QString& clientInfos,
                                           bool isPartialTransfer) {
  if (!inProgressModel_->refresh(index, percent, bytesSent, totalSize, rate)) {
    inProgressModel_->add(
        {index, transferIdOf(index), filePath, percent, bytesSent, totalSize, rate, clientInfos, isPartialTransfer});
  }
  subHideUploadInProgressTooltip();
}

void frmUploads::RefreshUploadInProgressList(int index, int percent, double bytesSent, double totalSize, double rate) {
  inProgressModel_->refresh(index, percent, bytesSent, totalSize, rate);
}

void frmUploads::RemoveUploadInProgressInList(int index) {
  inProgressModel_->remove(index);
  if (intNextUploadsInProgressTips == index) {
    tmrUploadsInProgressTipsDelay_->stop();
  }
  subHideUploadInProgressTooltip();
}

void frmUploads::addUploadedFileInList(const QString& filePath, const QDateTime& date, bool isFinished,
                                       bool isCompleteFile, bool isUpdateSameFile, bool isResort,
                                       bool isSessionTransfer) {
  // The row shows the store's newest transfer, which holds all of these already.
  static_cast<void>(filePath);
  static_cast<void>(date);
  static_cast<void>(isCompleteFile);
  static_cast<void>(isSessionTransfer);
  uploadedModel_->addNewest();
  if (isFinished && isUpdateSameFile) {
    uploadedModel_->refreshCounts();
  }
  if (isResort) {
    SortUploadedFiles(uploadedModel_->sortKey() + 1, true);
  }
  // The numbers of the rows may have moved with the store: a pending delay names none.
  tmrUploadedFilesTipsDelay_->stop();
  subHideUploadedFileTooltip();
}

void frmUploads::RefreshUploadsInProgressFrameText() {
  fraUploadsInProgress_->setTitle(inProgressFrameCaption(gConfiguration.AppDisplay.SHOW_TRANSFERS_LISTS_INFOS,
                                                         server::getUploadsInProgressTotals(server_.slots())));
}

void frmUploads::RefreshUploadedFilesFrameText() {
  fraUploadsFinished_->setTitle(
      uploadedFrameCaption(gConfiguration.AppDisplay.SHOW_TRANSFERS_LISTS_INFOS, server::getUploadedFilesTotals()));
}

// ---- Sorting ----

void frmUploads::SortUploadsInProgress(int column, bool keepOrder) {
  // The bar column sorts as the sent column.
  const int key = column == 2 ? 2 : column - 1;
  const int order = keepOrder ? inProgressModel_->sortOrder() : 1 - inProgressModel_->sortOrder();
  inProgressModel_->setSortState(std::clamp(key, 0, 4), order, true);
  inProgressModel_->sortRows();
  showSortIndicator(*lvwUploadsInProgress_, *inProgressModel_);
}

void frmUploads::SortUploadedFiles(int column, bool keepOrder) {
  const int order = keepOrder ? uploadedModel_->sortOrder() : 1 - uploadedModel_->sortOrder();
  uploadedModel_->setSortState(std::clamp(column - 1, 0, 2), order, true);
  uploadedModel_->sortRows();
  showSortIndicator(*lvwUploadedFiles_, *uploadedModel_);
}

// ---- Commands ----

QString frmUploads::selectedInProgressPath() const {
  const int row = selectedCurrentRow(*lvwUploadsInProgress_);
  return row < 0 ? QString() : inProgressModel_->at(row).filePath;
}

QString frmUploads::selectedUploadedPath() const {
  const int row = selectedCurrentRow(*lvwUploadedFiles_);
  if (row < 0) {
    return {};
  }
  const core::tUploadedTransfer* transfer = core::gUploadedLists.transfer(uploadedModel_->transferAt(row));
  return transfer == nullptr ? QString() : transfer->path;
}

namespace {

void openFile(const QString& path) {
  if (!path.isEmpty()) {
    subShellOpen(path);
  }
}

void openFolder(const QString& path) {
  const QString folder = fnctUploadFolder(path);
  if (!folder.isEmpty() && core::fnctFolderExists(folder, false) == core::ExistenceCode::Usable) {
    subShellOpen(folder);
  }
}

}  // namespace

void frmUploads::openSelectedInProgressFile() {
  openFile(selectedInProgressPath());
}

void frmUploads::openSelectedInProgressFolder() {
  openFolder(selectedInProgressPath());
}

void frmUploads::openSelectedUploadedFile() {
  openFile(selectedUploadedPath());
}

void frmUploads::openSelectedUploadedFolder() {
  openFolder(selectedUploadedPath());
}

void frmUploads::StopSelectedUploads() {
  struct Named {
    int index;
    quint64 transferId;
  };
  std::vector<Named> named;
  QStringList paths;
  QModelIndexList selected = lvwUploadsInProgress_->selectionModel()->selectedRows();
  std::sort(selected.begin(), selected.end(),
            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  for (const QModelIndex& index : selected) {
    const UploadsInProgressModel::Row& row = inProgressModel_->at(index.row());
    named.push_back({row.index, row.transferId});
    paths.append(row.filePath);
  }
  if (named.empty()) {
    return;
  }
  const QPointer<frmUploads> alive(this);
  const MessageAnswer answer = showMessageBox(
      {stopUploadsQuestion(paths), core::applicationTitle(), MessageIcon::Question, MessageButtons::YesNo});
  if (answer != MessageAnswer::Yes || alive.isNull()) {
    return;
  }
  // Only the uploads the question named: a connection that ended meanwhile, or that now
  // sends another file, is left alone.
  for (const Named& upload : named) {
    const server::usrFileReader* reader = server_.slots().usrFileReader(upload.index);
    if (server_.slots().usrSocket(upload.index) != nullptr && reader != nullptr && reader->getIsActiveUpload() &&
        reader->getTransferId() == upload.transferId) {
      server_.usrSocket_CloseSck(upload.index);
    }
  }
  if (!alive.isNull()) {
    RefreshUploadsInProgressFrameText();
  }
}

void frmUploads::mnuUploadedFiles_ClearList_Click() {
  if (!core::gUploadedLists.transfers.empty()) {
    core::subClearUploadedTransfers();
  }
  tmrUploadedFilesTipsDelay_->stop();
  subHideUploadedFileTooltip();
  RefreshUploadedFilesFrameText();
  uploadedModel_->clear();
}

void frmUploads::showInProgressMenu(QPoint position) {
  if (selectedCurrentRow(*lvwUploadsInProgress_) < 0) {
    return;
  }
  tmrUploadsInProgressTipsDelay_->stop();
  subHideUploadInProgressTooltip();
  mnuUploadsInProgress_->popup(lvwUploadsInProgress_->viewport()->mapToGlobal(position));
}

void frmUploads::showUploadedMenu(QPoint position) {
  if (selectedCurrentRow(*lvwUploadedFiles_) < 0) {
    return;
  }
  tmrUploadedFilesTipsDelay_->stop();
  subHideUploadedFileTooltip();
  mnuUploadedFiles_->popup(lvwUploadedFiles_->viewport()->mapToGlobal(position));
}

// ---- Details windows ----

void frmUploads::subShowUploadInProgressTooltip(int index, const server::tUploadInProgressInfos& infos, int x, int y,
                                                bool refreshOnly) {
  frmToolTip_UploadsInProgress_->setLines(uploadInProgressTooltipLines(infos));
  if (!refreshOnly) {
    frmToolTip_UploadsInProgress_->showAt({x, y});
  }
  core::tConfAppDisplay& display = gConfiguration.AppDisplay;
  display.blnUploadInProgressTooltipShown = true;
  display.intUploadInProgressTooltipIndex = index;
}

void frmUploads::subShowUploadedFileTooltip(qsizetype transfer, const server::tUploadedFileInfos& infos,
                                            QPoint position) {
  frmToolTip_UploadedFiles_->setLines(uploadedFileTooltipLines(infos));
  frmToolTip_UploadedFiles_->showAt(position);
  core::tConfAppDisplay& display = gConfiguration.AppDisplay;
  display.blnUploadedFileTooltipShown = true;
  display.intUploadedFileTooltipIndex = static_cast<int>(transfer);
}

void frmUploads::subHideUploadInProgressTooltip() {
  core::tConfAppDisplay& display = gConfiguration.AppDisplay;
  if (display.blnUploadInProgressTooltipShown) {
    frmToolTip_UploadsInProgress_->hide();
    display.blnUploadInProgressTooltipShown = false;
    display.intUploadInProgressTooltipIndex = -1;
  }
}

void frmUploads::subHideUploadedFileTooltip() {
  core::tConfAppDisplay& display = gConfiguration.AppDisplay;
  if (display.blnUploadedFileTooltipShown) {
    frmToolTip_UploadedFiles_->hide();
    display.blnUploadedFileTooltipShown = false;
    display.intUploadedFileTooltipIndex = -1;
  }
}

void frmUploads::lvwUploadsInProgress_MouseOut() {
  tmrUploadsInProgressTipsDelay_->stop();
  subHideUploadInProgressTooltip();
}

void frmUploads::lvwUploadedFiles_MouseOut() {
  tmrUploadedFilesTipsDelay_->stop();
  subHideUploadedFileTooltip();
}

void frmUploads::lvwUploadsInProgress_OnMouseMove(QPoint position) {
  if (!gConfiguration.AppDisplay.SHOW_TRANSFERS_TOOL_TIPS) {
    return;
  }
  tmrUploadsInProgressTipsDelay_->stop();
  subHideUploadInProgressTooltip();
  const QModelIndex index = lvwUploadsInProgress_->indexAt(position);
  if (!index.isValid()) {
    return;
  }
  const UploadsInProgressModel::Row& row = inProgressModel_->at(index.row());
  intNextUploadsInProgressTips = row.index;
  nextInProgressTipsTransfer_ = row.transferId;
  tmrUploadsInProgressTipsDelay_->start();
}

void frmUploads::lvwUploadedFiles_OnMouseMove(QPoint position) {
  if (!gConfiguration.AppDisplay.SHOW_TRANSFERS_TOOL_TIPS) {
    return;
  }
  tmrUploadedFilesTipsDelay_->stop();
  subHideUploadedFileTooltip();
  const QModelIndex index = lvwUploadedFiles_->indexAt(position);
  if (!index.isValid()) {
    return;
  }
  intNextUploadedFilesTips = uploadedModel_->transferAt(index.row());
  tmrUploadedFilesTipsDelay_->start();
}

void frmUploads::tmrUploadsInProgressTipsDelay_Timer() {
  tmrUploadsInProgressTipsDelay_->stop();
  // The row may have gone, or its connection moved on to another upload, since the pointer
  // rested on it: then there is nothing to show.
  const int row = inProgressModel_->rowOf(intNextUploadsInProgressTips);
  if (row < 0 || inProgressModel_->at(row).transferId != nextInProgressTipsTransfer_) {
    return;
  }
  const server::tUploadInProgressInfos infos =
      server::getUploadInProgressInfos(server_.slots(), intNextUploadsInProgressTips);
  frmToolTip_UploadsInProgress_->setLines(uploadInProgressTooltipLines(infos));
  const QPoint cursor = QCursor::pos();
  const QPoint position = tooltipPosition(cursor, frmToolTip_UploadsInProgress_->size(), screenAround(cursor));
  subShowUploadInProgressTooltip(intNextUploadsInProgressTips, infos, position.x(), position.y(), false);
}

void frmUploads::tmrUploadedFilesTipsDelay_Timer() {
  tmrUploadedFilesTipsDelay_->stop();
  if (uploadedModel_->rowOfTransfer(intNextUploadedFilesTips) < 0 ||
      core::gUploadedLists.transfer(intNextUploadedFilesTips) == nullptr) {
    return;
  }
  const server::tUploadedFileInfos infos = server::getUploadedFileInfos(intNextUploadedFilesTips);
  frmToolTip_UploadedFiles_->setLines(uploadedFileTooltipLines(infos));
  const QPoint cursor = QCursor::pos();
  const QPoint position = tooltipPosition(cursor, frmToolTip_UploadedFiles_->size(), screenAround(cursor));
  subShowUploadedFileTooltip(intNextUploadedFilesTips, infos, position);
}

// ---- Events of the lists ----

bool frmUploads::eventFilter(QObject* watched, QEvent* event) {
  const bool inProgress = watched == lvwUploadsInProgress_ || watched == lvwUploadsInProgress_->viewport();
  const bool uploaded = watched == lvwUploadedFiles_ || watched == lvwUploadedFiles_->viewport();
  const bool viewport = watched == lvwUploadsInProgress_->viewport() || watched == lvwUploadedFiles_->viewport();
  if (!inProgress && !uploaded) {
    return ChildPanel::eventFilter(watched, event);
  }
  switch (event->type()) {
    case QEvent::MouseMove:
      if (viewport) {
        const QPoint position = static_cast<QMouseEvent*>(event)->position().toPoint();
        inProgress ? lvwUploadsInProgress_OnMouseMove(position) : lvwUploadedFiles_OnMouseMove(position);
      }
      break;
    case QEvent::Leave:
      if (viewport) {
        inProgress ? lvwUploadsInProgress_MouseOut() : lvwUploadedFiles_MouseOut();
      }
      break;
    case QEvent::MouseButtonPress:
      if (viewport) {
        inProgress ? lvwUploadsInProgress_MouseOut() : lvwUploadedFiles_MouseOut();
      }
      break;
    case QEvent::KeyPress:
      if (inProgress && !viewport && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        StopSelectedUploads();
        return true;
      }
      break;
    case QEvent::Resize:
      if (viewport) {
        Form_Resize();
      }
      break;
    default:
      break;
  }
  return ChildPanel::eventFilter(watched, event);
}

}  // namespace orv::desktop
