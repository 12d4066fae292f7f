#include "editors/frm_config_cat_general.h"

#include "content/thumbnail_cache.h"
#include "content/xsl_stylesheets.h"
#include "core/app_info.h"
#include "core/configuration.h"
#include "core/language.h"
#include "desktop/desktop_utils.h"
#include "desktop/frm_about.h"
#include "desktop/frm_main.h"
#include "desktop/frm_menu.h"
#include "desktop/main_menus.h"
#include "desktop/startup.h"
#include "editors/config_category_save.h"
#include "editors/config_form_parts.h"
#include "editors/config_number_box.h"
#include "editors/frm_config_main_list.h"
#include "editors/general_settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <memory>

namespace orv::editors {
namespace {

using core::gConfiguration;

std::function<void(const QString&)>& languageRefreshTracer() {
  static std::function<void(const QString&)> tracer;
  return tracer;
}

void trace(const char* step) {
  if (languageRefreshTracer()) {
    languageRefreshTracer()(QLatin1String(step));
  }
}

void refuse(const QString& text, QWidget* focus) {
  showConfigError(text);
  if (focus != nullptr && focus->isEnabled()) {
    focus->setFocus(Qt::OtherFocusReason);
  }
}

}  // namespace

void frmConfig_CatGeneral::setLanguageRefreshTracer(std::function<void(const QString& step)> tracer) {
  languageRefreshTracer() = std::move(tracer);
}

frmConfig_CatGeneral::frmConfig_CatGeneral(QWidget* parent) : ConfigCategoryForm(ConfigCategory::General, parent) {
  setObjectName(QStringLiteral("frmConfig_CatGeneral"));
  fraGeneral_ = named(new QGroupBox(this), "fraGeneral");
  lblLocalPort_ = named(new QLabel(fraGeneral_), "lblLocalPort");
  txtLocalPort_ = named(new QLineEdit(fraGeneral_), "txtLocalPort");
  lblLang_ = named(new QLabel(fraGeneral_), "lblLang");
  cboLangFiles_ = named(new QComboBox(fraGeneral_), "cboLangFiles");
  labMiniaturesCacheSizeMax_ = named(new QLabel(fraGeneral_), "labMiniaturesCacheSizeMax");
  txtMiniaturesCacheSizeMax_ = named(new QLineEdit(fraGeneral_), "txtMiniaturesCacheSizeMax");
  labMiniaturesCacheSizeMax_Unit_ = named(new QLabel(fraGeneral_), "labMiniaturesCacheSizeMax_Unit");
  fraClientApplications_ = named(new QGroupBox(this), "fraClientApplications");
  labAudioPlayers_ = named(new QLabel(fraClientApplications_), "labAudioPlayers");
  txtAudioPlayers_ = named(new QLineEdit(fraClientApplications_), "txtAudioPlayers");
  labBannedClients_ = named(new QLabel(fraClientApplications_), "labBannedClients");
  txtBannedClients_ = named(new QLineEdit(fraClientApplications_), "txtBannedClients");
  fraDomains_ = named(new QGroupBox(this), "fraDomains");
  chkAllowOnlyDomains_ = named(new QCheckBox(fraDomains_), "chkAllowOnlyDomains");
  lblDomainsList_ = named(new QLabel(fraDomains_), "lblDomainsList");
  txtDomainsList_ = named(new QLineEdit(fraDomains_), "txtDomainsList");
  chkShowTransfersToolTips_ = named(new QCheckBox(this), "chkShowTransfersToolTips");
  chkShowTransfersListsInfos_ = named(new QCheckBox(this), "chkShowTransfersListsInfos");
  chkEnableCompression_ = named(new QCheckBox(this), "chkEnableCompression");
  createSaveButton();

  lblLocalPort_->setBuddy(txtLocalPort_);
  lblLang_->setBuddy(cboLangFiles_);
  labMiniaturesCacheSizeMax_->setBuddy(txtMiniaturesCacheSizeMax_);
  labAudioPlayers_->setBuddy(txtAudioPlayers_);
  labBannedClients_->setBuddy(txtBannedClients_);
  lblDomainsList_->setBuddy(txtDomainsList_);
  const int numberWidth = numberBoxWidth(*this, u"0000000000000");
  txtLocalPort_->setMaximumWidth(numberWidth);
  txtMiniaturesCacheSizeMax_->setMaximumWidth(numberWidth);

  auto* general = new QGridLayout(fraGeneral_);
  general->addWidget(lblLocalPort_, 0, 0);
  general->addWidget(txtLocalPort_, 0, 1);
  general->addWidget(lblLang_, 1, 0);
  general->addWidget(cboLangFiles_, 1, 1, 1, 2);
  general->addWidget(labMiniaturesCacheSizeMax_, 2, 0);
  general->addWidget(txtMiniaturesCacheSizeMax_, 2, 1);
  general->addWidget(labMiniaturesCacheSizeMax_Unit_, 2, 2);
  general->setColumnStretch(3, 1);

  auto* clients = new QGridLayout(fraClientApplications_);
  clients->addWidget(labAudioPlayers_, 0, 0);
  clients->addWidget(txtAudioPlayers_, 0, 1);
  clients->addWidget(labBannedClients_, 1, 0);
  clients->addWidget(txtBannedClients_, 1, 1);
  clients->setColumnStretch(1, 1);

  auto* domains = new QGridLayout(fraDomains_);
  domains->addWidget(chkAllowOnlyDomains_, 0, 0, 1, 2);
  domains->addWidget(lblDomainsList_, 1, 0);
  domains->addWidget(txtDomainsList_, 1, 1);
  domains->setColumnStretch(1, 1);

  layOutForm({fraGeneral_, fraClientApplications_, fraDomains_, chkShowTransfersToolTips_, chkShowTransfersListsInfos_,
              chkEnableCompression_});
  setTabChain({txtLocalPort_, cboLangFiles_, txtMiniaturesCacheSizeMax_, txtAudioPlayers_, txtBannedClients_,
               chkAllowOnlyDomains_, txtDomainsList_, chkShowTransfersToolTips_, chkShowTransfersListsInfos_,
               chkEnableCompression_, cmdSaveConfig_});

  portKeys_ = new NumberBoxKeys(
      txtLocalPort_, cmdSaveConfig_,
      [](const QString& text) { return fnctCheckedLocalPortText(text, gConfiguration.Protocol); },
      [] { return gConfiguration.Protocol.LOCAL_PORT; });
  cacheKeys_ = new NumberBoxKeys(
      txtMiniaturesCacheSizeMax_, cmdSaveConfig_,
      [](const QString& text) { return fnctCheckedCacheSizeText(text, gConfiguration.Other.MINATURE_CACHE_SIZE_MAX); },
      [] { return fnctCacheSizeExactText(gConfiguration.Other.MINATURE_CACHE_SIZE_MAX); });
  for (QLineEdit* list : {txtAudioPlayers_, txtBannedClients_, txtDomainsList_}) {
    list->installEventFilter(this);
    connect(list, &QLineEdit::textChanged, this, &frmConfig_CatGeneral::enableSave);
  }
  // Escape in a number box goes to the first switch, as in the list boxes: this filter,
  // installed after the number box's own, sees the key first.
  for (QLineEdit* box : {txtLocalPort_, txtMiniaturesCacheSizeMax_}) {
    box->installEventFilter(this);
    connect(box, &QLineEdit::textChanged, this, &frmConfig_CatGeneral::enableSave);
  }
  connect(cboLangFiles_, &QComboBox::activated, this, &frmConfig_CatGeneral::enableSave);
  for (QCheckBox* box : {chkShowTransfersToolTips_, chkShowTransfersListsInfos_, chkEnableCompression_}) {
    connect(box, &QCheckBox::toggled, this, &frmConfig_CatGeneral::enableSave);
  }
  connect(chkAllowOnlyDomains_, &QCheckBox::toggled, this, [this](bool checked) {
    lblDomainsList_->setEnabled(checked);
    txtDomainsList_->setEnabled(checked);
    enableSave();
  });
  connect(cmdSaveConfig_, &QPushButton::clicked, this, &frmConfig_CatGeneral::cmdSaveConfig_Click);

  Form_Load();
}

void frmConfig_CatGeneral::RefreshFormLang() {
  fraGeneral_->setTitle(configText(u"FRAMES/GENERAL"));
  fraClientApplications_->setTitle(configText(u"FRAMES/CLIENT_APPLICATIONS"));
  fraDomains_->setTitle(configText(u"FRAMES/DOMAINS"));
  const std::pair<QLabel*, const char16_t*> labels[] = {
      {lblLocalPort_, u"LABELS/LOCAL_PORT"},
      {lblLang_, u"LABELS/LANGUAGE"},
      {labMiniaturesCacheSizeMax_, u"LABELS/MINIATURE_CACHE_SIZE_MAX"},
      {labAudioPlayers_, u"LABELS/AUDIO_PLAYERS"},
      {labBannedClients_, u"LABELS/BANNED_CLIENTS"},
      {lblDomainsList_, u"LABELS/DOMAINS_LIST"},
  };
  for (const auto& [label, name] : labels) {
    setFieldLabel(label, name);
  }
  labMiniaturesCacheSizeMax_Unit_->setText(configText(u"LABELS/MINIATURE_CACHE_SIZE_MAX_UNIT"));
  chkAllowOnlyDomains_->setText(configText(u"CHECKBOX/ALLOW_ONLY_DOMAINS"));
  chkShowTransfersToolTips_->setText(configText(u"CHECKBOX/SHOW_TRANSFERS_TOOL_TIPS"));
  chkShowTransfersListsInfos_->setText(configText(u"CHECKBOX/SHOW_TRANSFERS_LIST_INFOS"));
  chkEnableCompression_->setText(configText(u"CHECKBOX/ENABLE_COMPRESSION"));
  cmdSaveConfig_->setText(configText(u"BUTTONS/SAVE"));
  setAccessibleName(core::gLanguage.text(configCategoryTextName(ConfigCategory::General)));
}

void frmConfig_CatGeneral::Form_Load() {
  RefreshFormLang();
  const core::tLanguagesList& languages = core::gLanguagesList;
  for (qsizetype position = 1; position <= languages.colLanguage.count(); ++position) {
    cboLangFiles_->addItem(languages.colLanguage.at(position));
  }
  const QString& fileName = gConfiguration.Language.FILENAME;
  cboLangFiles_->setCurrentIndex(fileName.isEmpty() ? (cboLangFiles_->count() > 0 ? 0 : -1)
                                                    : fnctLanguageIndex(languages, fileName));
  txtAudioPlayers_->setText(fnctArrayToListText(gConfiguration.AppsNameManagement.AUDIO_PLAYERS_KEYWORDS));
  txtBannedClients_->setText(fnctArrayToListText(gConfiguration.AppsNameManagement.BANNED_CLIENTS_KEYWORDS));
  txtLocalPort_->setText(gConfiguration.Protocol.LOCAL_PORT);
  txtDomainsList_->setText(fnctArrayToListText(gConfiguration.Protocol.DOMAINS_LIST));
  chkShowTransfersToolTips_->setChecked(gConfiguration.AppDisplay.SHOW_TRANSFERS_TOOL_TIPS);
  chkShowTransfersListsInfos_->setChecked(gConfiguration.AppDisplay.SHOW_TRANSFERS_LISTS_INFOS);
  chkAllowOnlyDomains_->setChecked(gConfiguration.Protocol.ALLOW_ONLY_DOMAINS);
  txtMiniaturesCacheSizeMax_->setText(fnctCacheSizeShownText(gConfiguration.Other.MINATURE_CACHE_SIZE_MAX));
  lblDomainsList_->setEnabled(gConfiguration.Protocol.ALLOW_ONLY_DOMAINS);
  txtDomainsList_->setEnabled(gConfiguration.Protocol.ALLOW_ONLY_DOMAINS);
  const bool zlib = gConfiguration.AppState.blnZlibAvailable;
  chkEnableCompression_->setEnabled(zlib);
  chkEnableCompression_->setChecked(zlib && gConfiguration.Protocol.ENABLE_COMPRESSION);
  finishLoad();
}

void frmConfig_CatGeneral::normalizeList(QLineEdit* box) {
  const QString normalized = fnctNormalizeListText(box->text());
  if (normalized != box->text()) {
    box->setText(normalized);
  }
}

bool frmConfig_CatGeneral::eventFilter(QObject* watched, QEvent* event) {
  auto* box = qobject_cast<QLineEdit*>(watched);
  if (box == nullptr) {
    return ConfigCategoryForm::eventFilter(watched, event);
  }
  const bool isList = box == txtAudioPlayers_ || box == txtBannedClients_ || box == txtDomainsList_;
  if (isList && event->type() == QEvent::FocusOut) {
    normalizeList(box);
    return false;
  }
  if (event->type() != QEvent::KeyPress) {
    return false;
  }
  const int key = static_cast<QKeyEvent*>(event)->key();
  if (isList && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
    if (cmdSaveConfig_->isEnabled()) {
      cmdSaveConfig_->setFocus(Qt::TabFocusReason);
    }
    return true;
  }
  if (key == Qt::Key_Escape) {
    if (isList) {
      const QStringList* stored = box == txtAudioPlayers_ ? &gConfiguration.AppsNameManagement.AUDIO_PLAYERS_KEYWORDS
                                  : box == txtBannedClients_
                                      ? &gConfiguration.AppsNameManagement.BANNED_CLIENTS_KEYWORDS
                                      : &gConfiguration.Protocol.DOMAINS_LIST;
      box->setText(fnctArrayToListText(*stored));
    } else {
      // The stored value itself, not a rounded one: a Save after Escape keeps the bytes.
      box->setText(box == txtLocalPort_ ? gConfiguration.Protocol.LOCAL_PORT
                                        : fnctCacheSizeExactText(gConfiguration.Other.MINATURE_CACHE_SIZE_MAX));
    }
    chkShowTransfersToolTips_->setFocus(Qt::OtherFocusReason);
    return true;
  }
  return false;
}

void frmConfig_CatGeneral::refreshOpenWindowsLanguage() {
  RefreshFormLang();
  trace("general");
  desktop::RefreshAboutFormLang();
  trace("about");
  if (desktop::gMenuForm) {
    desktop::gMenuForm->RefreshFormLang();
  }
  trace("menu");
  if (desktop::gMainForm != nullptr) {
    desktop::gMainForm->RefreshFormLang();
  }
  trace("main");
  if (auto* panel = qobject_cast<frmConfig_MainList*>(desktop::gCurrentChildForm.data())) {
    panel->InitConfigCatsListview();
  }
  trace("categories");
  if (desktop::gMainForm != nullptr) {
    desktop::subResetSystemMenu(*desktop::gMainForm);
    desktop::subBuildSystemMenu(*desktop::gMainForm, true);
  }
  trace("window menu");
  // The size group names of the pages come from the language.
  gConfiguration.AppState.objXslGroupDocument = std::make_shared<const xml::Document>(content::getXslGroupStylesheet());
  trace("group stylesheet");
  desktop::subApplyFontCharset(desktop::aboutForm());
}

void frmConfig_CatGeneral::restartServer() {
  if (desktop::gMainForm == nullptr || !gConfiguration.AppState.blnServerStarted) {
    return;
  }
  // The stop closes every connection; the start on the new port says why it failed, so a
  // port that cannot be taken does not leave the server stopped without a word.
  desktop::gMainForm->StartStopServer(false);
  desktop::gMainForm->StartStopServer(true);
  if (desktop::gMenuForm) {
    desktop::gMenuForm->SetStartStopButtonState();
  }
}

void frmConfig_CatGeneral::cmdSaveConfig_Click() {
  // A box that still has the focus has not run its check yet.
  portKeys_->runCheck();
  cacheKeys_->runCheck();
  for (QLineEdit* list : {txtAudioPlayers_, txtBannedClients_, txtDomainsList_}) {
    normalizeList(list);
  }
  if (isDomainsChoiceRefused(chkAllowOnlyDomains_->isChecked(), txtDomainsList_->text())) {
    refuse(QLatin1String(kEmptyDomainsListText), txtDomainsList_);
    return;
  }

  // The language first: a refusal ends Save with nothing stored.
  core::tLanguage loaded;
  switch (fnctChooseLanguage(core::gLanguagesList, cboLangFiles_->currentIndex(), gConfiguration.Language.FILENAME,
                             &loaded)) {
    case LanguageChoice::OutOfDate:
      refuse(QLatin1String(desktop::kLanguageFileOutOfDate), cboLangFiles_);
      return;
    case LanguageChoice::NotLoaded:
      refuse(core::gLanguage.text(u"MSGBOX/ERRORS/INVALID_LANG_FILE"), cboLangFiles_);
      return;
    case LanguageChoice::Changed: {
      const QString fileName = core::gLanguagesList.colFileName.at(cboLangFiles_->currentIndex() + 1);
      gConfiguration.Language.FILENAME = fileName;
      gConfiguration.Language.strLanguageFilePath = core::gAppFolder + QStringLiteral("/lang/") + fileName;
      core::gLanguage = std::move(loaded);
      refreshOpenWindowsLanguage();
      break;
    }
    case LanguageChoice::Unchanged:
      break;
  }

  const bool portChanged = isLocalPortChanged(txtLocalPort_->text(), gConfiguration.Protocol);
  const QString port = fnctLocalPortToStore(txtLocalPort_->text(), gConfiguration.Protocol);
  const int cacheBytes =
      fnctCacheSizeBytesToStore(txtMiniaturesCacheSizeMax_->text(), gConfiguration.Other.MINATURE_CACHE_SIZE_MAX);
  const bool cacheChanged = cacheBytes != gConfiguration.Other.MINATURE_CACHE_SIZE_MAX;
  const bool tooltips = chkShowTransfersToolTips_->isChecked();
  const bool listInfos = chkShowTransfersListsInfos_->isChecked();
  const bool compression = chkEnableCompression_->isChecked() && gConfiguration.AppState.blnZlibAvailable;
  const bool onlyDomains = chkAllowOnlyDomains_->isChecked();
  const QStringList audioPlayers = fnctListTextToArray(txtAudioPlayers_->text());
  const QStringList bannedClients = fnctListTextToArray(txtBannedClients_->text());
  const QStringList domains = fnctListTextToArray(txtDomainsList_->text());
  const bool written = subSaveCategory([&](core::tConfiguration& record) {
    record.Protocol.LOCAL_PORT = port;
    record.AppDisplay.SHOW_TRANSFERS_TOOL_TIPS = tooltips;
    record.AppDisplay.SHOW_TRANSFERS_LISTS_INFOS = listInfos;
    record.Protocol.ENABLE_COMPRESSION = compression;
    record.Protocol.ALLOW_ONLY_DOMAINS = onlyDomains;
    record.Other.MINATURE_CACHE_SIZE_MAX = cacheBytes;
    record.AppsNameManagement.AUDIO_PLAYERS_KEYWORDS = audioPlayers;
    record.AppsNameManagement.BANNED_CLIENTS_KEYWORDS = bannedClients;
    record.Protocol.DOMAINS_LIST = domains;
  });
  if (!written) {
    return;
  }
  txtLocalPort_->setText(port);
  if (portChanged) {
    restartServer();
  }
  if (cacheChanged) {
    content::subTrimMiniaturesCache();
  }
  cmdSaveConfig_->setEnabled(false);
}

}  // namespace orv::editors
