#include "desktop/frm_history.h"

#include "core/app_info.h"
#include "core/configuration.h"
#include "core/formats.h"
#include "core/language.h"
#include "desktop/desktop_utils.h"
#include "desktop/history_actions.h"
#include "desktop/history_settings.h"
#include "desktop/message_box.h"

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace orv::desktop {
namespace {

using core::gConfiguration;

constexpr int kRowHeight = 18;
constexpr int kPictureColumnWidth = 19;

QString historyText(QStringView name) {
  return core::gLanguage.text(name);
}

QString appFile(const QString& name) {
  return core::gAppFolder + QLatin1Char('/') + name;
}

void showCritical(const QString& text) {
  showMessageBox({text, core::applicationTitle(), MessageIcon::Critical, MessageButtons::Ok});
}

}  // namespace

frmHistory::frmHistory(QWidget* parent) : ChildPanel(parent) {
  setObjectName(QStringLiteral("frmHistory"));
  buildControls();
  Form_Load();
}

frmHistory::~frmHistory() {
  Form_Unload();
}

void frmHistory::buildControls() {
  fraContent_ = new QGroupBox(this);
  fraContent_->setObjectName(QStringLiteral("fraContent"));
  // The outline box of the list: the list itself draws no frame.
  auto* outline = new QFrame(fraContent_);
  outline->setObjectName(QStringLiteral("txtHistoryList_OutLine"));
  outline->setFrameShape(QFrame::StyledPanel);
  outline->setFrameShadow(QFrame::Sunken);

  flexHistoryList_ = new QTableView(outline);
  flexHistoryList_->setObjectName(QStringLiteral("flexHistoryList"));
  flexHistoryList_->setModel(&model_);
  flexHistoryList_->setFrameShape(QFrame::NoFrame);
  flexHistoryList_->horizontalHeader()->hide();
  flexHistoryList_->verticalHeader()->hide();
  flexHistoryList_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  flexHistoryList_->verticalHeader()->setDefaultSectionSize(kRowHeight);
  flexHistoryList_->horizontalHeader()->setMinimumSectionSize(kPictureColumnWidth);
  flexHistoryList_->horizontalHeader()->setStretchLastSection(true);
  flexHistoryList_->setColumnWidth(HistoryListModel::kPictureColumn, kPictureColumnWidth);
  flexHistoryList_->setIconSize(QSize(16, 16));
  flexHistoryList_->setShowGrid(false);
  flexHistoryList_->setWordWrap(false);
  flexHistoryList_->setTextElideMode(Qt::ElideRight);
  flexHistoryList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  flexHistoryList_->setSelectionBehavior(QAbstractItemView::SelectRows);
  flexHistoryList_->setSelectionMode(QAbstractItemView::SingleSelection);
  flexHistoryList_->setContextMenuPolicy(Qt::CustomContextMenu);
  auto* outlineLayout = new QVBoxLayout(outline);
  outlineLayout->setContentsMargins(1, 1, 1, 1);
  outlineLayout->addWidget(flexHistoryList_);
  auto* contentLayout = new QVBoxLayout(fraContent_);
  contentLayout->addWidget(outline);

  fraParam_ = new QGroupBox(this);
  fraParam_->setObjectName(QStringLiteral("fraParam"));
  chkKeepHistory_ = new QCheckBox(fraParam_);
  chkKeepHistory_->setObjectName(QStringLiteral("chkKeepHistory"));
  lblMaxHistoryEntry_ = new QLabel(fraParam_);
  lblMaxHistoryEntry_->setObjectName(QStringLiteral("lblMaxHistoryEntry"));
  txtMaxHistoryEntry_ = new QLineEdit(fraParam_);
  txtMaxHistoryEntry_->setObjectName(QStringLiteral("txtMaxHistoryEntry"));
  txtMaxHistoryEntry_->setMaximumWidth(
      txtMaxHistoryEntry_->fontMetrics().horizontalAdvance(QStringLiteral("0000000000")) + 12);
  lblMaxHistoryEntry_->setBuddy(txtMaxHistoryEntry_);
  cmdSaveHistoryParam_ = new QPushButton(fraParam_);
  cmdSaveHistoryParam_->setObjectName(QStringLiteral("cmdSaveHistoryParam"));
  auto* paramLayout = new QHBoxLayout(fraParam_);
  paramLayout->addWidget(chkKeepHistory_);
  paramLayout->addSpacing(24);
  paramLayout->addWidget(lblMaxHistoryEntry_);
  paramLayout->addWidget(txtMaxHistoryEntry_);
  paramLayout->addSpacing(12);
  paramLayout->addWidget(cmdSaveHistoryParam_);
  paramLayout->addStretch();

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(fraContent_, 1);
  layout->addWidget(fraParam_);
  setTabOrder(flexHistoryList_, chkKeepHistory_);
  setTabOrder(chkKeepHistory_, txtMaxHistoryEntry_);
  setTabOrder(txtMaxHistoryEntry_, cmdSaveHistoryParam_);

  mnuHistoryList_ = new QMenu(this);
  mnuHistoryList_->setObjectName(QStringLiteral("mnuHistoryList"));
  mnuHistoryList_OpenFile_ = mnuHistoryList_->addAction(QString());
  mnuHistoryList_OpenFile_->setObjectName(QStringLiteral("mnuHistoryList_OpenFile"));
  mnuHistoryList_OpenFolder_ = mnuHistoryList_->addAction(QString());
  mnuHistoryList_OpenFolder_->setObjectName(QStringLiteral("mnuHistoryList_OpenFolder"));
  separator1_ = mnuHistoryList_->addSeparator();
  separator1_->setObjectName(QStringLiteral("separator1"));
  mnuHistoryList_Clear_ = mnuHistoryList_->addAction(QString());
  mnuHistoryList_Clear_->setObjectName(QStringLiteral("mnuHistoryList_Clear"));

  connect(flexHistoryList_, &QWidget::customContextMenuRequested, this, &frmHistory::showHistoryMenu);
  // A double click, or Enter on the current row.
  connect(flexHistoryList_, &QAbstractItemView::activated, this, [this](const QModelIndex& index) {
    if (index.isValid()) {
      openEvent(model_.rowAt(index.row()));
    }
  });
  connect(mnuHistoryList_OpenFile_, &QAction::triggered, this, [this] {
    if (menuRow_) {
      openEvent(*menuRow_);
    }
  });
  connect(mnuHistoryList_OpenFolder_, &QAction::triggered, this, &frmHistory::mnuHistoryList_OpenFolder_Click);
  connect(mnuHistoryList_Clear_, &QAction::triggered, this, &frmHistory::mnuHistoryList_Clear_Click);
  connect(txtMaxHistoryEntry_, &QLineEdit::textChanged, cmdSaveHistoryParam_,
          [this] { cmdSaveHistoryParam_->setEnabled(true); });
  connect(chkKeepHistory_, &QCheckBox::clicked, cmdSaveHistoryParam_,
          [this] { cmdSaveHistoryParam_->setEnabled(true); });
  connect(cmdSaveHistoryParam_, &QPushButton::clicked, this, &frmHistory::cmdSaveHistoryParam_Click);
  txtMaxHistoryEntry_->installEventFilter(this);
}

void frmHistory::Form_Load() {
  fraContent_->setTitle(historyText(u"HISTORY_FORM/FRAMES/CONTENT"));
  fraParam_->setTitle(historyText(u"HISTORY_FORM/FRAMES/PARAM"));
  chkKeepHistory_->setText(historyText(u"HISTORY_FORM/CHECKBOX/KEEP_HISTORY"));
  lblMaxHistoryEntry_->setText(historyText(u"HISTORY_FORM/LABELS/MAX_ENTRY") + QStringLiteral(" :"));
  cmdSaveHistoryParam_->setText(historyText(u"HISTORY_FORM/BUTTONS/SAVE"));
  mnuHistoryList_OpenFile_->setText(historyText(u"HISTORY_FORM/MENUS/OPEN_FILE"));
  mnuHistoryList_OpenFolder_->setText(historyText(u"HISTORY_FORM/MENUS/OPEN_FOLDER"));
  mnuHistoryList_Clear_->setText(historyText(u"HISTORY_FORM/MENUS/CLEAR_LIST"));
  fraContent_->setAccessibleName(fraContent_->title());
  flexHistoryList_->setAccessibleName(fraContent_->title());
  fraParam_->setAccessibleName(fraParam_->title());
  chkKeepHistory_->setAccessibleName(chkKeepHistory_->text());
  txtMaxHistoryEntry_->setAccessibleName(historyText(u"HISTORY_FORM/LABELS/MAX_ENTRY"));
  cmdSaveHistoryParam_->setAccessibleName(cmdSaveHistoryParam_->text());

  chkKeepHistory_->setChecked(gConfiguration.History.KEEP_HISTORY);
  txtMaxHistoryEntry_->setText(QString::number(gConfiguration.History.MAX_ENTRY));

  model_.replay(core::gHistoryLists.events, gConfiguration.History.MAX_ENTRY);
  if (model_.rowCount() > 0) {
    flexHistoryList_->setCurrentIndex(model_.index(0, HistoryListModel::kLineColumn));
  }
  flexHistoryList_->setColumnWidth(HistoryListModel::kPictureColumn, kPictureColumnWidth);

  core::setHistoryWindowView(this);
  gConfiguration.AppState.blnHistoryFormLoaded = true;
  cmdSaveHistoryParam_->setEnabled(false);
  gConfiguration.AppDisplay.gShownMainPanel = static_cast<int>(MainPanel::History);
  loaded_ = true;
}

void frmHistory::Form_Unload() {
  if (!loaded_) {
    return;
  }
  loaded_ = false;
  gConfiguration.AppState.blnHistoryFormLoaded = false;
  core::setHistoryWindowView(nullptr);
}

void frmHistory::AddEntryInHistoryList(core::HistoryEventType type, const QString& ipAddress, const QDateTime& date,
                                       const QString& text, bool isNew) {
  if (model_.addEntry({type, ipAddress, core::fnctFormatDate(date), text, isNew}, gConfiguration.History.MAX_ENTRY)) {
    flexHistoryList_->setCurrentIndex(model_.index(0, HistoryListModel::kLineColumn));
  }
}

void frmHistory::showHistoryMenu(const QPoint& position) {
  if (model_.rowCount() == 0) {
    return;
  }
  const QModelIndex under = flexHistoryList_->indexAt(position);
  if (under.isValid()) {
    flexHistoryList_->setCurrentIndex(under);
  }
  const QModelIndex current = flexHistoryList_->currentIndex();
  if (!current.isValid()) {
    return;
  }
  flexHistoryList_->selectRow(current.row());
  menuRow_ = model_.rowAt(current.row());
  const HistoryMenuLayout layout = fnctHistoryMenuLayout(menuRow_->type);
  mnuHistoryList_OpenFile_->setVisible(layout.openFile);
  mnuHistoryList_OpenFolder_->setVisible(layout.openFolder);
  separator1_->setVisible(layout.openFolder);
  switch (layout.defaultItem) {
    case HistoryMenuDefault::OpenFile:
      mnuHistoryList_->setDefaultAction(mnuHistoryList_OpenFile_);
      break;
    case HistoryMenuDefault::OpenFolder:
      mnuHistoryList_->setDefaultAction(mnuHistoryList_OpenFolder_);
      break;
    case HistoryMenuDefault::Clear:
      mnuHistoryList_->setDefaultAction(mnuHistoryList_Clear_);
      break;
  }
  // Without a pointer position (the menu key), the menu opens beside the current row.
  const QPoint at = under.isValid() ? position : flexHistoryList_->visualRect(current).center();
  mnuHistoryList_->popup(flexHistoryList_->viewport()->mapToGlobal(at));
}

void frmHistory::openEvent(const HistoryRow& row) {
  const QString path = fnctHistoryPathToOpen(row.type, row.text);
  if (!path.isEmpty()) {
    subShellOpen(path);
  }
}

void frmHistory::mnuHistoryList_OpenFolder_Click() {
  if (!menuRow_) {
    return;
  }
  const QString folder = fnctHistoryFolderToOpen(menuRow_->type, menuRow_->text);
  if (!folder.isEmpty()) {
    subShellOpen(folder);
  }
}

void frmHistory::mnuHistoryList_Clear_Click() {
  const platform::WriteResult result = core::subClearHistory(appFile(QStringLiteral("history.xml")));
  if (!result.ok) {
    showCritical(fnctHistoryClearFailureText(result));
    return;
  }
  model_.clear();
  menuRow_.reset();
}

void frmHistory::validateMaxHistoryEntry() {
  const std::optional<int> value = fnctParseMaxHistoryEntry(txtMaxHistoryEntry_->text());
  const QString text = QString::number(value.value_or(gConfiguration.History.MAX_ENTRY));
  if (txtMaxHistoryEntry_->text() != text) {
    txtMaxHistoryEntry_->setText(text);
  }
}

bool frmHistory::eventFilter(QObject* watched, QEvent* event) {
  if (watched == txtMaxHistoryEntry_) {
    if (event->type() == QEvent::FocusOut) {
      validateMaxHistoryEntry();
    } else if (event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        validateMaxHistoryEntry();
        if (cmdSaveHistoryParam_->isEnabled()) {
          cmdSaveHistoryParam_->setFocus(Qt::TabFocusReason);
        }
        return true;
      }
      if (key == Qt::Key_Escape) {
        txtMaxHistoryEntry_->setText(QString::number(gConfiguration.History.MAX_ENTRY));
        chkKeepHistory_->setFocus(Qt::TabFocusReason);
        return true;
      }
    }
  }
  return ChildPanel::eventFilter(watched, event);
}

void frmHistory::cmdSaveHistoryParam_Click() {
  // The check of the field runs here too: a Save reached without leaving the field must
  // not store a limit the field would refuse.
  validateMaxHistoryEntry();
  const int maxEntry = fnctParseMaxHistoryEntry(txtMaxHistoryEntry_->text()).value_or(gConfiguration.History.MAX_ENTRY);
  const platform::WriteResult result =
      subSaveHistoryParam(chkKeepHistory_->isChecked(), maxEntry, appFile(QStringLiteral("config.xml")));
  if (maxEntry != -1) {
    model_.trimTo(maxEntry);
  }
  if (!result.ok) {
    showCritical(fnctHistorySettingsFailureText(result));
    return;
  }
  cmdSaveHistoryParam_->setEnabled(false);
}

}  // namespace orv::desktop
