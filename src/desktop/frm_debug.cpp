#include "desktop/frm_debug.h"

#include "core/configuration.h"
#include "core/debug_log.h"
#include "desktop/debug_log_model.h"
#include "desktop/frm_debug_values.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

namespace orv::desktop {
namespace {

// The client area at first, 9420 x 5910 twips.
constexpr int kDesignWidth = 628;
constexpr int kDesignHeight = 394;
constexpr int kValuesFrameHeight = 140;

QCheckBox* makeSwitch(const QString& objectName, const QString& text, QWidget* parent) {
  auto* box = new QCheckBox(text, parent);
  box->setObjectName(objectName);
  return box;
}

}  // namespace

frmDebug::frmDebug(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("frmDebug"));
  setWindowTitle(QStringLiteral(" /!\\ DEBUG /!\\"));
  resize(kDesignWidth, kDesignHeight);

  fraEvents_ = new QGroupBox(QStringLiteral("Daemon events"), this);
  fraEvents_->setObjectName(QStringLiteral("fraEvents"));
  eventListModel_ = new DebugLogModel(this);
  flexDebugEvList_ = new QListView(fraEvents_);
  flexDebugEvList_->setObjectName(QStringLiteral("flexDebugEvList"));
  flexDebugEvList_->setAccessibleName(QStringLiteral("Daemon events"));
  flexDebugEvList_->setModel(eventListModel_);
  flexDebugEvList_->setUniformItemSizes(true);
  flexDebugEvList_->setSelectionMode(QAbstractItemView::NoSelection);
  flexDebugEvList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  flexDebugEvList_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  flexDebugEvList_->setTextElideMode(Qt::ElideRight);
  QPalette dark = flexDebugEvList_->palette();
  dark.setColor(QPalette::Base, QColor(0x40, 0x40, 0x40));
  flexDebugEvList_->setPalette(dark);
  flexDebugEvList_->setContextMenuPolicy(Qt::CustomContextMenu);

  chkShowAppEv_ = makeSwitch(QStringLiteral("chkShowAppEv"), QStringLiteral("Show &application events"), fraEvents_);
  chkShowHttpEv_ =
      makeSwitch(QStringLiteral("chkShowHttpEv"), QStringLiteral("Show &http protocol events"), fraEvents_);
  chkShowSktEv_ =
      makeSwitch(QStringLiteral("chkShowSktEv"), QStringLiteral("Show internal &socket events"), fraEvents_);
  cmdClearDebug_ = new QPushButton(QStringLiteral("&Clear events"), fraEvents_);
  cmdClearDebug_->setObjectName(QStringLiteral("cmdClearDebug"));
  cmdClearDebug_->setEnabled(false);

  auto* switches = new QHBoxLayout;
  switches->addStretch(1);
  switches->addWidget(chkShowAppEv_);
  switches->addWidget(chkShowHttpEv_);
  switches->addWidget(chkShowSktEv_);
  switches->addSpacing(8);
  switches->addWidget(cmdClearDebug_);
  auto* events = new QVBoxLayout(fraEvents_);
  events->addWidget(flexDebugEvList_, 1);
  events->addLayout(switches);

  fraDataInfo_ = new QGroupBox(QStringLiteral("Advanced configuration parameters"), this);
  fraDataInfo_->setObjectName(QStringLiteral("fraDataInfo"));
  fraDataInfo_->setFixedHeight(kValuesFrameHeight);
  flexDebugValues_ = new DebugValuesGrid(fraDataInfo_);
  auto* values = new QVBoxLayout(fraDataInfo_);
  values->addWidget(flexDebugValues_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(fraEvents_, 1);
  layout->addWidget(fraDataInfo_);

  setTabOrder(flexDebugEvList_, chkShowAppEv_);
  setTabOrder(chkShowAppEv_, chkShowHttpEv_);
  setTabOrder(chkShowHttpEv_, chkShowSktEv_);
  setTabOrder(chkShowSktEv_, cmdClearDebug_);
  setTabOrder(cmdClearDebug_, flexDebugValues_);

  mnuDebugEvList_ = new QMenu(this);
  mnuDebugEvList_->setObjectName(QStringLiteral("mnuDebugEvList"));
  mnuDebugEvList_Clear_ = mnuDebugEvList_->addAction(QStringLiteral("Clear events"));
  mnuDebugEvList_Clear_->setObjectName(QStringLiteral("mnuDebugEvList_Clear"));
  mnuDebugEvList_->setDefaultAction(mnuDebugEvList_Clear_);

  Timer1_ = new QTimer(this);
  Timer1_->setObjectName(QStringLiteral("Timer1"));
  Timer1_->setInterval(kCounterIntervalMs);

  // The switches are the tuning parameters themselves, kept for the rest of the run.
  connect(chkShowAppEv_, &QCheckBox::toggled, this,
          [](bool on) { core::gConfiguration.AdvancedParameters.APP_DEBUG = on; });
  connect(chkShowHttpEv_, &QCheckBox::toggled, this,
          [](bool on) { core::gConfiguration.AdvancedParameters.HTTP_DEBUG = on; });
  connect(chkShowSktEv_, &QCheckBox::toggled, this,
          [](bool on) { core::gConfiguration.AdvancedParameters.SKT_DEBUG = on; });
  connect(cmdClearDebug_, &QPushButton::clicked, this, &frmDebug::cmdClearDebug_Click);
  connect(mnuDebugEvList_Clear_, &QAction::triggered, this, &frmDebug::cmdClearDebug_Click);
  connect(flexDebugEvList_, &QWidget::customContextMenuRequested, this, &frmDebug::showEventListMenu);
  connect(Timer1_, &QTimer::timeout, this, &frmDebug::Timer1_Timer);
  connect(&core::debugEventLog(), &core::DebugEventLog::changed, this, &frmDebug::followLog);
}

frmDebug::~frmDebug() {
  Form_Unload();
}

void frmDebug::showEvent(QShowEvent* event) {
  Form_Load();
  QWidget::showEvent(event);
}

void frmDebug::closeEvent(QCloseEvent* event) {
  Form_Unload();
  QWidget::closeEvent(event);
}

void frmDebug::Form_Load() {
  if (loaded_) {
    return;
  }
  loaded_ = true;
  if (const QScreen* shownOn = screen()) {
    move(shownOn->availableGeometry().center() - rect().center());
  }
  const core::tAdvancedParameters& parameters = core::gConfiguration.AdvancedParameters;
  chkShowAppEv_->setChecked(parameters.APP_DEBUG);
  chkShowHttpEv_->setChecked(parameters.HTTP_DEBUG);
  chkShowSktEv_->setChecked(parameters.SKT_DEBUG);
  Timer1_Timer();
  flexDebugValues_->RefreshDebugValuesGrid();
  Timer1_->start();
  core::gConfiguration.AppState.blnDebugFormLoaded = true;
}

void frmDebug::Form_Unload() {
  if (!loaded_) {
    return;
  }
  loaded_ = false;
  Timer1_->stop();
  core::gConfiguration.AppState.blnDebugFormLoaded = false;
  core::debugEventLog().clear();
}

void frmDebug::Timer1_Timer() {
  flexDebugValues_->refreshCounters();
}

void frmDebug::cmdClearDebug_Click() {
  core::debugEventLog().clear();
}

void frmDebug::followLog() {
  cmdClearDebug_->setEnabled(core::debugEventLog().count() > 0);
}

void frmDebug::showEventListMenu(const QPoint& position) {
  mnuDebugEvList_Clear_->setEnabled(core::debugEventLog().count() > 0);
  mnuDebugEvList_->popup(flexDebugEvList_->viewport()->mapToGlobal(position));
}

QStringList frmDebug::shownLines() const {
  QStringList lines;
  for (int row = 0; row < eventListModel_->rowCount(); ++row) {
    lines << eventListModel_->index(row).data().toString();
  }
  return lines;
}

}  // namespace orv::desktop
