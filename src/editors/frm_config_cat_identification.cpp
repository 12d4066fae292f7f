#include "editors/frm_config_cat_identification.h"

#include "core/configuration.h"
#include "editors/config_form_parts.h"
#include "editors/config_number_box.h"
#include "editors/identification_settings.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace orv::editors {

using core::gConfiguration;

frmConfig_CatIdentification::frmConfig_CatIdentification(QWidget* parent)
    : ConfigCategoryForm(ConfigCategory::Identification, parent) {
  setObjectName(QStringLiteral("frmConfig_CatIdentification"));
  fraIdentificationConfig_ = named(new QGroupBox(this), "fraIdentificationConfig");
  lblMaxIdentificationErrors_ = named(new QLabel(fraIdentificationConfig_), "lblMaxIdentificationErrors");
  txtMaxIdentificationErrors_ = named(new QLineEdit(fraIdentificationConfig_), "txtMaxIdentificationErrors");
  lblBanDuration_ = named(new QLabel(fraIdentificationConfig_), "lblBanDuration");
  txtBanDuration_ = named(new QLineEdit(fraIdentificationConfig_), "txtBanDuration");
  lblBanDuration_Unit_ = named(new QLabel(QStringLiteral("s"), fraIdentificationConfig_), "lblBanDuration_Unit");
  fraIdentificationMethod_ = named(new QGroupBox(this), "fraIdentificationMethod");
  optHtml_ = named(new QRadioButton(fraIdentificationMethod_), "optHtml");
  optHttp_ = named(new QRadioButton(fraIdentificationMethod_), "optHttp");
  createSaveButton();

  lblMaxIdentificationErrors_->setBuddy(txtMaxIdentificationErrors_);
  lblBanDuration_->setBuddy(txtBanDuration_);
  for (QLineEdit* box : {txtMaxIdentificationErrors_, txtBanDuration_}) {
    box->setMaximumWidth(numberBoxWidth(*this, u"-0000000000"));
  }

  auto* limits = new QGridLayout(fraIdentificationConfig_);
  limits->addWidget(lblMaxIdentificationErrors_, 0, 0);
  limits->addWidget(txtMaxIdentificationErrors_, 0, 1);
  limits->addWidget(lblBanDuration_, 1, 0);
  limits->addWidget(txtBanDuration_, 1, 1);
  limits->addWidget(lblBanDuration_Unit_, 1, 2);
  limits->setColumnStretch(0, 1);

  stackInFrame(fraIdentificationMethod_, {optHtml_, optHttp_});
  layOutForm({fraIdentificationConfig_, fraIdentificationMethod_});
  setTabChain({txtMaxIdentificationErrors_, txtBanDuration_, optHtml_, optHttp_, cmdSaveConfig_});

  maxErrorsKeys_ = new NumberBoxKeys(
      txtMaxIdentificationErrors_, cmdSaveConfig_,
      [](const QString& text) { return fnctCheckedMaxIdentificationErrorsText(text, gConfiguration.Protocol); },
      [] { return QString::number(gConfiguration.Protocol.MAX_IDENTIFICATION_ERROR); });
  banDurationKeys_ = new NumberBoxKeys(
      txtBanDuration_, cmdSaveConfig_,
      [](const QString& text) { return fnctCheckedBanDurationText(text, gConfiguration.Protocol); },
      [] { return QString::number(gConfiguration.Protocol.BAN_DURATION); });

  for (QLineEdit* box : {txtMaxIdentificationErrors_, txtBanDuration_}) {
    connect(box, &QLineEdit::textChanged, this, &frmConfig_CatIdentification::enableSave);
  }
  for (QRadioButton* option : {optHtml_, optHttp_}) {
    connect(option, &QRadioButton::toggled, this, &frmConfig_CatIdentification::enableSave);
  }
  connect(cmdSaveConfig_, &QPushButton::clicked, this, &frmConfig_CatIdentification::cmdSaveConfig_Click);

  Form_Load();
}

void frmConfig_CatIdentification::RefreshFormLang() {
  fraIdentificationConfig_->setTitle(configText(u"FRAMES/IDENTIFICATION_CONFIG"));
  fraIdentificationMethod_->setTitle(configText(u"FRAMES/IDENTIFICATION_METHOD"));
  optHtml_->setText(configText(u"RADIO/IDENTIFICATION_HTML"));
  optHttp_->setText(configText(u"RADIO/IDENTIFICATION_HTTP"));
  setFieldLabel(lblMaxIdentificationErrors_, u"LABELS/MAX_IDENTIFICATION_ERROR");
  setFieldLabel(lblBanDuration_, u"LABELS/BAN_DURATION");
  cmdSaveConfig_->setText(configText(u"BUTTONS/SAVE"));
}

void frmConfig_CatIdentification::Form_Load() {
  RefreshFormLang();
  const IdentificationFields fields = fnctIdentificationFields(gConfiguration.Protocol);
  txtMaxIdentificationErrors_->setText(fields.maxIdentificationErrors);
  txtBanDuration_->setText(fields.banDuration);
  (fields.htmlForm ? optHtml_ : optHttp_)->setChecked(true);
  finishLoad();
}

void frmConfig_CatIdentification::cmdSaveConfig_Click() {
  // A box that still has the focus has not run its check yet.
  maxErrorsKeys_->runCheck();
  banDurationKeys_->runCheck();
  const IdentificationFields fields{txtMaxIdentificationErrors_->text(), txtBanDuration_->text(),
                                    optHtml_->isChecked()};
  saveCategory([&fields](core::tConfiguration& record) { subStoreIdentification(fields, record.Protocol); });
}

}  // namespace orv::editors
