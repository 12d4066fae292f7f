#include "desktop/frm_debug.h"

#include "core/configuration.h"
#include "core/debug_log.h"

#include <QCloseEvent>
#include <QListWidget>
#include <QShowEvent>
#include <QVBoxLayout>

namespace orv::desktop {

frmDebug::frmDebug(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle(QStringLiteral(" /!\\ DEBUG /!\\"));
  resize(628, 394);

  flexDebugEvList_ = new QListWidget(this);
  flexDebugEvList_->setUniformItemSizes(true);
  flexDebugEvList_->setSelectionMode(QAbstractItemView::NoSelection);
  QPalette palette = flexDebugEvList_->palette();
  palette.setColor(QPalette::Base, QColor(0x40, 0x40, 0x40));
  flexDebugEvList_->setPalette(palette);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(flexDebugEvList_);

  connect(&core::debugEventLog(), &core::DebugEventLog::changed, this, &frmDebug::refreshEventList);
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
  refreshEventList();
  core::gConfiguration.AppState.blnDebugFormLoaded = true;
}

void frmDebug::Form_Unload() {
  if (!loaded_) {
    return;
  }
  loaded_ = false;
  core::gConfiguration.AppState.blnDebugFormLoaded = false;
  core::debugEventLog().clear();
}

QStringList frmDebug::shownLines() const {
  QStringList lines;
  for (int row = 0; row < flexDebugEvList_->count(); ++row) {
    lines << flexDebugEvList_->item(row)->text();
  }
  return lines;
}

void frmDebug::refreshEventList() {
  const core::DebugEventLog& log = core::debugEventLog();
  flexDebugEvList_->clear();
  for (qsizetype row = 0; row < log.count(); ++row) {
    const core::DebugEventLine& line = log.line(row);
    auto* item = new QListWidgetItem(line.text, flexDebugEvList_);
    item->setForeground(QColor(line.colour.red, line.colour.green, line.colour.blue));
  }
}

}  // namespace orv::desktop
