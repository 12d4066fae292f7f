#include "editors/frm_config_cat_ipfilters.h"

#include "core/app_info.h"
#include "core/configuration.h"
#include "core/language.h"
#include "desktop/message_box.h"
#include "editors/config_form_parts.h"
#include "editors/config_list_editor.h"
#include "editors/ip_filter_settings.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>

namespace orv::editors {
namespace {

using core::gConfiguration;

// A screen on its foot: one client machine.
QIcon addressIcon(const QPalette& palette) {
  QPixmap picture(16, 16);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setPen(QPen(palette.color(QPalette::Highlight), 1.5));
  painter.setBrush(palette.color(QPalette::Base));
  painter.drawRoundedRect(QRectF(1.5, 2.5, 13, 9), 1, 1);
  painter.drawLine(QPointF(8, 11.5), QPointF(8, 14));
  painter.drawLine(QPointF(4.5, 14.25), QPointF(11.5, 14.25));
  return QIcon(picture);
}

}  // namespace

frmConfig_CatIpFilters::frmConfig_CatIpFilters(QWidget* parent)
    : ConfigCategoryForm(ConfigCategory::IpFilters, parent) {
  setObjectName(QStringLiteral("frmConfig_CatIpFilters"));
  fraIpAddress_ = named(new QGroupBox(this), "fraIpAddress");
  lvwIpAddressList_ = named(new QListWidget(fraIpAddress_), "lvwIpAddressList");
  txtIpAddress_ = named(new QLineEdit(fraIpAddress_), "txtIpAddress");
  cmdAddIpAddress_ = named(new QPushButton(fraIpAddress_), "cmdAddIpAddress");
  cmdRemoveIpAddress_ = named(new QPushButton(fraIpAddress_), "cmdRemoveIpAddress");
  fraMethod_ = named(new QGroupBox(this), "fraMethod");
  optAllowExcept_ = named(new QRadioButton(fraMethod_), "optAllowExcept");
  optDenyExcept_ = named(new QRadioButton(fraMethod_), "optDenyExcept");
  createSaveButton();

  layOutListFrame(fraIpAddress_, lvwIpAddressList_, txtIpAddress_, cmdAddIpAddress_, cmdRemoveIpAddress_);
  stackInFrame(fraMethod_, {optAllowExcept_, optDenyExcept_});
  layOutForm({fraIpAddress_, fraMethod_}, fraIpAddress_);
  setTabChain({lvwIpAddressList_, txtIpAddress_, cmdAddIpAddress_, cmdRemoveIpAddress_, optAllowExcept_, optDenyExcept_,
               cmdSaveConfig_});

  const auto accept = [this](const QString& text) { return acceptedAddress(text); };
  list_ = new ConfigListEditor(lvwIpAddressList_, txtIpAddress_, cmdAddIpAddress_, cmdRemoveIpAddress_, cmdSaveConfig_,
                               addressIcon(palette()), accept, accept);
  // A click counts even on the option already chosen; a toggle counts from any source.
  for (QRadioButton* option : {optAllowExcept_, optDenyExcept_}) {
    connect(option, &QRadioButton::toggled, this, &frmConfig_CatIpFilters::enableSave);
    connect(option, &QRadioButton::clicked, this, &frmConfig_CatIpFilters::enableSave);
  }
  connect(cmdSaveConfig_, &QPushButton::clicked, this, &frmConfig_CatIpFilters::cmdSaveConfig_Click);

  Form_Load();
}

void frmConfig_CatIpFilters::RefreshFormLang() {
  fraIpAddress_->setTitle(configText(u"FRAMES/IP_FILTERS_LIST"));
  fraMethod_->setTitle(configText(u"FRAMES/IP_FILTERS_METHOD"));
  optAllowExcept_->setText(configText(u"RADIO/IP_FILTERS_ALLOW_EXCEPT"));
  optDenyExcept_->setText(configText(u"RADIO/IP_FILTERS_DENY_EXCEPT"));
  cmdAddIpAddress_->setText(configText(u"BUTTONS/ADD"));
  cmdRemoveIpAddress_->setText(configText(u"BUTTONS/REMOVE"));
  cmdSaveConfig_->setText(configText(u"BUTTONS/SAVE"));
  lvwIpAddressList_->setAccessibleName(configText(u"FRAMES/IP_FILTERS_LIST"));
  txtIpAddress_->setAccessibleName(configText(u"FRAMES/IP_FILTERS_LIST"));
}

void frmConfig_CatIpFilters::Form_Load() {
  RefreshFormLang();
  const IpFilterFields fields = fnctIpFilterFields(gConfiguration.IpFilters);
  (fields.allowExcept ? optAllowExcept_ : optDenyExcept_)->setChecked(true);
  list_->fill(fields.addresses);
  finishLoad();
}

std::optional<QString> frmConfig_CatIpFilters::acceptedAddress(const QString& text) {
  std::optional<QString> address = fnctCanonicalIpAddress(text);
  if (!address) {
    showConfigError(core::gLanguage.text(u"MSGBOX/ERRORS/INVALID_IP"));
  }
  return address;
}

void frmConfig_CatIpFilters::cmdSaveConfig_Click() {
  const IpFilterFields fields{list_->texts(), optAllowExcept_->isChecked()};
  if (isRefusingEveryone(fields) &&
      desktop::showMessageBox({fnctRefuseEveryoneQuestion(), core::applicationTitle(), desktop::MessageIcon::Question,
                               desktop::MessageButtons::YesNo}) != desktop::MessageAnswer::Yes) {
    return;
  }
  saveCategory([&fields](core::tConfiguration& record) { subStoreIpFilters(fields, record.IpFilters); });
}

}  // namespace orv::editors
