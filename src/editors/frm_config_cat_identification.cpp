#include "editors/frm_config_cat_identification.h"

#include "core/configuration.h"
#include "core/language.h"
#include "editors/config_category_save.h"
#include "editors/config_number_box.h"
#include "editors/identification_settings.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
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
  cmdSaveConfig_ = named(new QPushButton(this), "cmdSaveConfig");

  lblMaxIdentificationErrors_->setBuddy(txtMaxIdentificationErrors_);
  lblBanDuration_->setBuddy(txtBanDuration_);
  for (QLineEdit* box : {txtMaxIdentificationErrors_, txtBanDuration_}) {
    box->setMaximumWidth(fontMetrics().horizontalAdvance(QStringLiteral("-0000000000")) + 12);
  }

  auto* limits = new QGridLayout(fraIdentificationConfig_);
  limits->addWidget(lblMaxIdentificationErrors_, 0, 0);
  limits->addWidget(txtMaxIdentificationErrors_, 0, 1);
  limits->addWidget(lblBanDuration_, 1, 0);
  limits->addWidget(txtBanDuration_, 1, 1);
  limits->addWidget(lblBanDuration_Unit_, 1, 2);
  limits->setColumnStretch(0, 1);

  auto* methods = new QVBoxLayout(fraIdentificationMethod_);
  methods->addWidget(optHtml_);
  methods->addWidget(optHttp_);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(cmdSaveConfig_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(fraIdentificationConfig_);
  layout->addWidget(fraIdentificationMethod_);
  layout->addStretch(1);
  layout->addLayout(buttons);

  setTabOrder(txtMaxIdentificationErrors_, txtBanDuration_);
  setTabOrder(txtBanDuration_, optHtml_);
  setTabOrder(optHtml_, optHttp_);
  setTabOrder(optHttp_, cmdSaveConfig_);

  maxErrorsKeys_ = new NumberBoxKeys(
      txtMaxIdentificationErrors_, cmdSaveConfig_,
      [](const QString& text) { return fnctCheckedMaxIdentificationErrorsText(text, gConfiguration.Protocol); },
      [] { return QString::number(gConfiguration.Protocol.MAX_IDENTIFICATION_ERROR); });
  banDurationKeys_ = new NumberBoxKeys(
      txtBanDuration_, cmdSaveConfig_,
      [](const QString& text) { return fnctCheckedBanDurationText(text, gConfiguration.Protocol); },
      [] { return QString::number(gConfiguration.Protocol.BAN_DURATION); });

  connect(txtMaxIdentificationErrors_, &QLineEdit::textChanged, this, &frmConfig_CatIdentification::enableSave);
  connect(txtBanDuration_, &QLineEdit::textChanged, this, &frmConfig_CatIdentification::enableSave);
  connect(optHtml_, &QRadioButton::toggled, this, &frmConfig_CatIdentification::enableSave);
  connect(optHttp_, &QRadioButton::toggled, this, &frmConfig_CatIdentification::enableSave);
  connect(cmdSaveConfig_, &QPushButton::clicked, this, &frmConfig_CatIdentification::cmdSaveConfig_Click);

  Form_Load();
}

void frmConfig_CatIdentification::RefreshFormLang() {
  fraIdentificationConfig_->setTitle(configText(u"FRAMES/IDENTIFICATION_CONFIG"));
  fraIdentificationMethod_->setTitle(configText(u"FRAMES/IDENTIFICATION_METHOD"));
  optHtml_->setText(configText(u"RADIO/IDENTIFICATION_HTML"));
  optHttp_->setText(configText(u"RADIO/IDENTIFICATION_HTTP"));
  lblMaxIdentificationErrors_->setText(configText(u"LABELS/MAX_IDENTIFICATION_ERROR") + QStringLiteral(" :"));
  lblBanDuration_->setText(configText(u"LABELS/BAN_DURATION") + QStringLiteral(" :"));
  cmdSaveConfig_->setText(configText(u"BUTTONS/SAVE"));
  txtMaxIdentificationErrors_->setAccessibleName(configText(u"LABELS/MAX_IDENTIFICATION_ERROR"));
  txtBanDuration_->setAccessibleName(configText(u"LABELS/BAN_DURATION"));
}

void frmConfig_CatIdentification::Form_Load() {
  RefreshFormLang();
  const IdentificationFields fields = fnctIdentificationFields(gConfiguration.Protocol);
  txtMaxIdentificationErrors_->setText(fields.maxIdentificationErrors);
  txtBanDuration_->setText(fields.banDuration);
  (fields.htmlForm ? optHtml_ : optHttp_)->setChecked(true);
  cmdSaveConfig_->setEnabled(false);
  gConfiguration.AppDisplay.gShownConfigCategory = static_cast<int>(ConfigCategory::Identification);
}

void frmConfig_CatIdentification::enableSave() {
  cmdSaveConfig_->setEnabled(true);
}

void frmConfig_CatIdentification::cmdSaveConfig_Click() {
  // A box that still has the focus has not run its check yet.
  maxErrorsKeys_->runCheck();
  banDurationKeys_->runCheck();
  const IdentificationFields fields{txtMaxIdentificationErrors_->text(), txtBanDuration_->text(),
                                    optHtml_->isChecked()};
  if (subSaveCategory([&fields](core::tConfiguration& record) { subStoreIdentification(fields, record.Protocol); })) {
    cmdSaveConfig_->setEnabled(false);
  }
}

}  // namespace orv::editors
