#include "editors/frm_config_cat_boot.h"

#include "core/configuration.h"
#include "editors/boot_settings.h"
#include "editors/config_category_save.h"
#include "editors/config_form_parts.h"
#include "platform/autostart_entry.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QPushButton>

namespace orv::editors {
using core::gConfiguration;

frmConfig_CatBoot::frmConfig_CatBoot(QWidget* parent)
    : ConfigCategoryForm(ConfigCategory::Boot, parent), programPath_(QCoreApplication::applicationFilePath()) {
  setObjectName(QStringLiteral("frmConfig_CatBoot"));
  fraBoot_ = named(new QGroupBox(this), "fraBoot");
  chkStartWin_ = named(new QCheckBox(fraBoot_), "chkStartWin");
  chkStartTray_ = named(new QCheckBox(fraBoot_), "chkStartTray");
  chkStartServOnLoad_ = named(new QCheckBox(fraBoot_), "chkStartServOnLoad");
  createSaveButton();

  stackInFrame(fraBoot_, {chkStartWin_, chkStartTray_, chkStartServOnLoad_});
  layOutForm({fraBoot_});
  setTabChain({chkStartWin_, chkStartTray_, chkStartServOnLoad_, cmdSaveConfig_});

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
  finishLoad();
}

void frmConfig_CatBoot::cmdSaveConfig_Click() {
  const bool startWin = chkStartWin_->isChecked();
  const AutostartChange change = fnctAutostartChange(startWinAtLoad_, startWin);
  const platform::WriteResult autostart = fnctApplyAutostartChange(change, programPath_);
  if (autostart.ok) {
    startWinAtLoad_ = startWin;
  } else {
    showConfigError(fnctAutostartFailureText(change, autostart));
  }
  const BootFields fields{chkStartTray_->isChecked(), chkStartServOnLoad_->isChecked()};
  const bool written = subSaveCategory([&fields](core::tConfiguration& record) { subStoreBoot(fields, record.Other); });
  // Save stays offered while the entry or config.xml does not hold what the boxes show.
  if (written && autostart.ok) {
    cmdSaveConfig_->setEnabled(false);
  }
}

}  // namespace orv::editors
