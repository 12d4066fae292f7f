#include "editors/frm_config_cat_html.h"

#include "content/server_transform.h"
#include "core/app_info.h"
#include "core/configuration.h"
#include "editors/config_category_save.h"
#include "editors/config_form_parts.h"
#include "editors/config_number_box.h"
#include "editors/html_settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

namespace orv::editors {
namespace {

using core::gConfiguration;

QString resourcesFolder() {
  return core::gAppFolder + QStringLiteral("/resources");
}

// Icon 1 (plain) and icon 2 (marked) of the list.
QIcon xslIcon(bool marked) {
  return QApplication::style()->standardIcon(marked ? QStyle::SP_DialogApplyButton : QStyle::SP_FileIcon);
}

constexpr int kMarkedRole = Qt::UserRole + 1;

}  // namespace

frmConfig_CatHtml::frmConfig_CatHtml(QWidget* parent) : ConfigCategoryForm(ConfigCategory::Html, parent) {
  setObjectName(QStringLiteral("frmConfig_CatHtml"));
  fraHtmlDisplay_ = named(new QGroupBox(this), "fraHtmlDisplay");
  chkViewHiddenDiskItems_ = named(new QCheckBox(fraHtmlDisplay_), "chkViewHiddenDiskItems");
  chkAllowHtmlMiniatures_ = named(new QCheckBox(fraHtmlDisplay_), "chkAllowHtmlMiniatures");
  chkAllowHtmlMp3Tags_ = named(new QCheckBox(fraHtmlDisplay_), "chkAllowHtmlMp3Tags");
  chkHideExtensions_ = named(new QCheckBox(fraHtmlDisplay_), "chkHideExtensions");
  labMiniatureDimension_ = named(new QLabel(fraHtmlDisplay_), "labMiniatureDimension");
  txtMiniatureDimension_ = named(new QLineEdit(fraHtmlDisplay_), "txtMiniatureDimension");
  labMiniatureDimension_Unit_ = named(new QLabel(fraHtmlDisplay_), "labMiniatureDimension_Unit");
  fraXslFiles_ = named(new QGroupBox(this), "fraXslFiles");
  lvwXslFiles_ = named(new QListWidget(fraXslFiles_), "lvwXslFiles");
  fraBuildMethod_ = named(new QGroupBox(this), "fraBuildMethod");
  optByServer_ = named(new QRadioButton(fraBuildMethod_), "optByServer");
  optByClient_ = named(new QRadioButton(fraBuildMethod_), "optByClient");
  createSaveButton();

  labMiniatureDimension_->setBuddy(txtMiniatureDimension_);
  txtMiniatureDimension_->setMaximumWidth(numberBoxWidth(*this, u"0000000"));
  lvwXslFiles_->setViewMode(QListView::ListMode);

  auto* display = new QGridLayout(fraHtmlDisplay_);
  display->addWidget(chkViewHiddenDiskItems_, 0, 0, 1, 4);
  display->addWidget(chkAllowHtmlMiniatures_, 1, 0, 1, 4);
  display->addWidget(chkAllowHtmlMp3Tags_, 2, 0, 1, 4);
  display->addWidget(chkHideExtensions_, 3, 0, 1, 4);
  display->addWidget(labMiniatureDimension_, 4, 0);
  display->addWidget(txtMiniatureDimension_, 4, 1);
  display->addWidget(labMiniatureDimension_Unit_, 4, 2);
  display->setColumnStretch(3, 1);

  stackInFrame(fraXslFiles_, {lvwXslFiles_});
  stackInFrame(fraBuildMethod_, {optByServer_, optByClient_});
  layOutForm({fraHtmlDisplay_, fraXslFiles_, fraBuildMethod_}, fraXslFiles_);
  setTabChain({chkViewHiddenDiskItems_, chkAllowHtmlMiniatures_, chkAllowHtmlMp3Tags_, chkHideExtensions_,
               txtMiniatureDimension_, lvwXslFiles_, optByServer_, optByClient_, cmdSaveConfig_});

  dimensionKeys_ = new NumberBoxKeys(
      txtMiniatureDimension_, cmdSaveConfig_,
      [](const QString& text) { return fnctCheckedMiniatureDimensionText(text, gConfiguration.HtmlDisplay); },
      [] { return QString::number(gConfiguration.HtmlDisplay.MINATURE_DIMENSION); });
  // Seen before the number box's own filter: Escape goes to the first switch.
  txtMiniatureDimension_->installEventFilter(this);
  lvwXslFiles_->viewport()->installEventFilter(this);

  connect(txtMiniatureDimension_, &QLineEdit::textChanged, this, &frmConfig_CatHtml::enableSave);
  for (QCheckBox* box : {chkViewHiddenDiskItems_, chkAllowHtmlMiniatures_, chkAllowHtmlMp3Tags_, chkHideExtensions_}) {
    connect(box, &QCheckBox::toggled, this, &frmConfig_CatHtml::enableSave);
  }
  for (QRadioButton* option : {optByServer_, optByClient_}) {
    connect(option, &QRadioButton::toggled, this, &frmConfig_CatHtml::enableSave);
  }
  // Activation covers the keyboard (Enter, Space) as well as a click.
  connect(lvwXslFiles_, &QListWidget::itemClicked, this, &frmConfig_CatHtml::lvwXslFiles_ItemClick);
  connect(lvwXslFiles_, &QListWidget::itemActivated, this, &frmConfig_CatHtml::lvwXslFiles_ItemClick);
  connect(cmdSaveConfig_, &QPushButton::clicked, this, &frmConfig_CatHtml::cmdSaveConfig_Click);

  Form_Load();
}

void frmConfig_CatHtml::RefreshFormLang() {
  fraHtmlDisplay_->setTitle(configText(u"FRAMES/HTML_DISPLAY"));
  fraXslFiles_->setTitle(configText(u"FRAMES/XSL_FILES"));
  fraBuildMethod_->setTitle(configText(u"FRAMES/PAGE_BUILD_METHOD"));
  chkViewHiddenDiskItems_->setText(configText(u"CHECKBOX/VIEW_HIDDEN_DISK_ITEMS"));
  chkAllowHtmlMiniatures_->setText(configText(u"CHECKBOX/ALLOW_HTML_MINIATURES"));
  chkAllowHtmlMp3Tags_->setText(configText(u"CHECKBOX/ALLOW_HTML_MP3_TAGS"));
  chkHideExtensions_->setText(configText(u"CHECKBOX/HIDE_HTML_EXTENSIONS"));
  setFieldLabel(labMiniatureDimension_, u"LABELS/MINIATURE_DIMENSION");
  labMiniatureDimension_Unit_->setText(configText(u"LABELS/MINIATURE_DIMENSION_UNIT"));
  lvwXslFiles_->setAccessibleName(configText(u"FRAMES/XSL_FILES"));
  optByServer_->setText(configText(u"RADIO/PAGE_BUILD_METHOD_SERVER"));
  optByClient_->setText(configText(u"RADIO/PAGE_BUILD_METHOD_CLIENT"));
  cmdSaveConfig_->setText(configText(u"BUTTONS/SAVE"));
}

void frmConfig_CatHtml::InitXslFilesListview() {
  lvwXslFiles_->clear();
  lngMarkedXslIndex_ = 0;
  const QList<XslFileItem> items = fnctXslFiles(resourcesFolder());
  lngMarkedXslIndex_ = fnctMarkedXslIndex(items, gConfiguration.HtmlDisplay.XSL_FILE);
  for (qsizetype index = 0; index < items.size(); ++index) {
    const bool marked = index + 1 == lngMarkedXslIndex_;
    auto* item = new QListWidgetItem(xslIcon(marked), items[index].text, lvwXslFiles_);
    item->setData(Qt::UserRole, items[index].key);
    item->setData(kMarkedRole, marked);
  }
}

void frmConfig_CatHtml::Form_Load() {
  RefreshFormLang();
  InitXslFilesListview();
  const core::tConfHtmlDisplay& html = gConfiguration.HtmlDisplay;
  chkViewHiddenDiskItems_->setChecked(html.VIEW_HIDDEN_DISK_ITEMS);
  chkAllowHtmlMp3Tags_->setChecked(html.ALLOW_MP3_TAGS);
  chkAllowHtmlMiniatures_->setChecked(html.ALLOW_MINIATURES);
  chkHideExtensions_->setChecked(html.HIDE_EXTENSIONS);
  txtMiniatureDimension_->setText(QString::number(html.MINATURE_DIMENSION));
  (html.PAGE_BUILD_METHOD == 2 ? optByServer_ : optByClient_)->setChecked(true);
  finishLoad();
}

void frmConfig_CatHtml::lvwXslFiles_ItemClick(QListWidgetItem* item) {
  if (item == nullptr || !isXslClickMarking(item->data(Qt::UserRole).toString(), gConfiguration.HtmlDisplay.XSL_FILE,
                                            lngMarkedXslIndex_, cmdSaveConfig_->isEnabled())) {
    return;
  }
  if (QListWidgetItem* marked = lvwXslFiles_->item(lngMarkedXslIndex_ - 1)) {
    marked->setIcon(xslIcon(false));
    marked->setData(kMarkedRole, false);
  }
  item->setIcon(xslIcon(true));
  item->setData(kMarkedRole, true);
  lngMarkedXslIndex_ = lvwXslFiles_->row(item) + 1;
  cmdSaveConfig_->setEnabled(true);
  cmdSaveConfig_->setFocus(Qt::OtherFocusReason);
}

bool frmConfig_CatHtml::eventFilter(QObject* watched, QEvent* event) {
  if (watched == lvwXslFiles_->viewport() &&
      (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease)) {
    // The click is handled first; the focus then stays on Save.
    if (event->type() == QEvent::MouseButtonRelease && cmdSaveConfig_->isEnabled()) {
      QMetaObject::invokeMethod(
          this, [this] { cmdSaveConfig_->setFocus(Qt::OtherFocusReason); }, Qt::QueuedConnection);
    }
    return false;
  }
  if (watched == txtMiniatureDimension_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      dimensionKeys_->runCheck();
      if (cmdSaveConfig_->isEnabled()) {
        cmdSaveConfig_->setFocus(Qt::TabFocusReason);
      }
      return true;
    }
    if (key == Qt::Key_Escape) {
      txtMiniatureDimension_->setText(QString::number(gConfiguration.HtmlDisplay.MINATURE_DIMENSION));
      chkViewHiddenDiskItems_->setFocus(Qt::OtherFocusReason);
      return true;
    }
  }
  return ConfigCategoryForm::eventFilter(watched, event);
}

void frmConfig_CatHtml::cmdSaveConfig_Click() {
  dimensionKeys_->runCheck();
  HtmlFields fields;
  fields.viewHiddenDiskItems = chkViewHiddenDiskItems_->isChecked();
  fields.allowMiniatures = chkAllowHtmlMiniatures_->isChecked();
  fields.allowMp3Tags = chkAllowHtmlMp3Tags_->isChecked();
  fields.hideExtensions = chkHideExtensions_->isChecked();
  fields.miniatureDimension = txtMiniatureDimension_->text();
  if (const QListWidgetItem* marked = lvwXslFiles_->item(lngMarkedXslIndex_ - 1)) {
    fields.markedXslKey = marked->data(Qt::UserRole).toString();
  }
  fields.pageBuildMethod = optByServer_->isChecked() ? 2 : 1;

  // A stylesheet that does not load would leave every page empty: refuse it before
  // anything is stored, so the pages go on with the one they have.
  const core::tConfHtmlDisplay& stored = gConfiguration.HtmlDisplay;
  const QString xslFile = fields.markedXslKey.isEmpty() ? stored.XSL_FILE : fields.markedXslKey;
  const bool stylesheetChanges = xslFile.compare(stored.XSL_FILE, Qt::CaseInsensitive) != 0;
  const bool methodChanges = fields.pageBuildMethod != stored.PAGE_BUILD_METHOD;
  if (stylesheetChanges || methodChanges) {
    const QString problem = fnctXslFileProblem(resourcesFolder(), xslFile);
    if (!problem.isEmpty()) {
      showConfigError(fnctXslRefusedText(xslFile, problem));
      lvwXslFiles_->setFocus(Qt::OtherFocusReason);
      return;
    }
  }

  HtmlSaveEffects effects;
  const bool written =
      subSaveCategory([&](core::tConfiguration& record) { effects = subStoreHtml(fields, record.HtmlDisplay); });
  if (!written) {
    return;
  }
  if (effects.stylesheetChanged || effects.methodChanged) {
    content::subReloadXslStylesheetDocument();
  }
  cmdSaveConfig_->setEnabled(false);
}

}  // namespace orv::editors
