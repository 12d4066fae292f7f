#include "editors/frm_config_cat_boot.h"

#include "core/app_info.h"
#include "core/configuration.h"
#include "core/language.h"
#include "desktop/message_box.h"
#include "editors/boot_settings.h"
#include "editors/config_category_save.h"
#include "platform/autostart_entry.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace orv::editors {
namespace {

using core::gConfiguration;

QString configText(QStringView name) {
  return core::gLanguage.text(QStringLiteral("CONFIG_FORM/") + name.toString());
}

template <typename Widget>
Widget* named(Widget* widget, const char* name) {
  widget->setObjectName(QLatin1String(name));
  return widget;
}

}  // namespace

frmConfig_CatBoot::frmConfig_CatBoot(QWidget* parent)
    : ConfigCategoryForm(ConfigCategory::Boot, parent), programPath_(QCoreApplication::applicationFilePath()) {
  setObjectName(QStringLiteral("frmConfig_CatBoot"));
  fraBoot_ = named(new QGroupBox(this), "fraBoot");
  chkStartWin_ = named(new QCheckBox(fraBoot_), "chkStartWin");
  chkStartTray_ = named(new QCheckBox(fraBoot_), "chkStartTray");
  chkStartServOnLoad_ = named(new QCheckBox(fraBoot_), "chkStartServOnLoad");
  cmdSaveConfig_ = named(new QPushButton(this), "cmdSaveConfig");

  auto* boxes = new QVBoxLayout(fraBoot_);
  boxes->addWidget(chkStartWin_);
  boxes->addWidget(chkStartTray_);
  boxes->addWidget(chkStartServOnLoad_);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(cmdSaveConfig_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(fraBoot_);
  layout->addStretch(1);
  layout->addLayout(buttons);

  setTabOrder(chkStartWin_, chkStartTray_);
  setTabOrder(chkStartTray_, chkStartServOnLoad_);
  setTabOrder(chkStartServOnLoad_, cmdSaveConfig_);

  // A toggle counts as an edit whether it comes from a click, a key or an assistive tool.
  for (QCheckBox* box : {chkStartWin_, chkStartTray_, chkStartServOnLoad_}) {
    connect(box, &QCheckBox::toggled, this, &frmConfig_CatBoot::enableSave);
  }
  connect(cmdSaveConfig_, &QPushButton::clicked, this, &frmConfig_CatBoot::cmdSaveConfig_Click);

  Form_Load();
}

void frmConfig_CatBoot::RefreshFormLang() {
  fraBoot_->setTitle(configText(u"FRAMES/BOOT"));
  chkStartWin_->setText(configText(u"CHECKBOX/WIN_START"));
  chkStartTray_->setText(configText(u"CHECKBOX/TRAY_START"));
  chkStartServOnLoad_->setText(configText(u"CHECKBOX/START_SERVER_ON_LOAD"));
  cmdSaveConfig_->setText(configText(u"BUTTONS/SAVE"));
}

void frmConfig_CatBoot::Form_Load() {
  RefreshFormLang();
  const BootFields fields = fnctBootFields(gConfiguration.Other);
  chkStartTray_->setChecked(fields.startInTray);
  chkStartServOnLoad_->setChecked(fields.startServerOnLoad);
  const std::optional<QByteArray> entry = platform::readAutostartEntry();
  startWinAtLoad_ = entry && isAutostartEntryStarting(*entry, programPath_);
  chkStartWin_->setChecked(startWinAtLoad_);
  cmdSaveConfig_->setEnabled(false);
  gConfiguration.AppDisplay.gShownConfigCategory = static_cast<int>(ConfigCategory::Boot);
}

void frmConfig_CatBoot::enableSave() {
  cmdSaveConfig_->setEnabled(true);
}

void frmConfig_CatBoot::cmdSaveConfig_Click() {
  const bool startWin = chkStartWin_->isChecked();
  const AutostartChange change = fnctAutostartChange(startWinAtLoad_, startWin);
  const platform::WriteResult autostart = fnctApplyAutostartChange(change, programPath_);
  if (autostart.ok) {
    startWinAtLoad_ = startWin;
  } else {
    desktop::showMessageBox({fnctAutostartFailureText(change, autostart), core::applicationTitle(),
                             desktop::MessageIcon::Critical, desktop::MessageButtons::Ok});
  }
  const BootFields fields{chkStartTray_->isChecked(), chkStartServOnLoad_->isChecked()};
  const bool written = subSaveCategory([&fields](core::tConfiguration& record) { subStoreBoot(fields, record.Other); });
  // Save stays offered while the entry or config.xml does not hold what the boxes show.
  if (written && autostart.ok) {
    cmdSaveConfig_->setEnabled(false);
  }
}

}  // namespace orv::editors
