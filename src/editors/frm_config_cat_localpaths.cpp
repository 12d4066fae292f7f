#include "editors/frm_config_cat_localpaths.h"

#include "core/configuration.h"
#include "editors/config_form_parts.h"
#include "editors/config_list_editor.h"
#include "editors/exclusion_patterns.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>

namespace orv::editors {
namespace {

using core::gConfiguration;

// A round sign with a bar across: never served.
QIcon exclusionIcon(const QPalette& palette) {
  QPixmap picture(16, 16);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(palette.color(QPalette::Highlight), 2));
  painter.setBrush(Qt::NoBrush);
  painter.drawEllipse(QRectF(2, 2, 12, 12));
  painter.drawLine(QPointF(4.5, 11.5), QPointF(11.5, 4.5));
  return QIcon(picture);
}

}  // namespace

frmConfig_CatLocalPaths::frmConfig_CatLocalPaths(QWidget* parent)
    : ConfigCategoryForm(ConfigCategory::LocalPaths, parent) {
  setObjectName(QStringLiteral("frmConfig_CatLocalPaths"));
  fraConfigExclusionsList_ = named(new QGroupBox(this), "fraConfigExclusionsList");
  lvwExclusions_ = named(new QListWidget(fraConfigExclusionsList_), "lvwExclusions");
  txtExclusion_ = named(new QLineEdit(fraConfigExclusionsList_), "txtExclusion");
  cmdAddExclusion_ = named(new QPushButton(fraConfigExclusionsList_), "cmdAddExclusion");
  cmdRemoveExclusion_ = named(new QPushButton(fraConfigExclusionsList_), "cmdRemoveExclusion");
  fraExclusionMethod_ = named(new QGroupBox(this), "fraExclusionMethod");
  optLocalPathContains_ = named(new QRadioButton(fraExclusionMethod_), "optLocalPathContains");
  optLocalPathIs_ = named(new QRadioButton(fraExclusionMethod_), "optLocalPathIs");
  createSaveButton();

  layOutListFrame(fraConfigExclusionsList_, lvwExclusions_, txtExclusion_, cmdAddExclusion_, cmdRemoveExclusion_);
  stackInFrame(fraExclusionMethod_, {optLocalPathContains_, optLocalPathIs_});
  layOutForm({fraConfigExclusionsList_, fraExclusionMethod_}, fraConfigExclusionsList_);
  setTabChain({lvwExclusions_, txtExclusion_, cmdAddExclusion_, cmdRemoveExclusion_, optLocalPathContains_,
               optLocalPathIs_, cmdSaveConfig_});

  list_ = new ConfigListEditor(
      lvwExclusions_, txtExclusion_, cmdAddExclusion_, cmdRemoveExclusion_, cmdSaveConfig_, exclusionIcon(palette()),
      [this](const QString& text) { return fnctTypedExclusion(text, optLocalPathIs_->isChecked()); },
      [](const QString& text) { return fnctEditedExclusion(text); });

  lvwExclusions_->setAcceptDrops(true);
  lvwExclusions_->setDragDropMode(QAbstractItemView::DropOnly);
  lvwExclusions_->viewport()->installEventFilter(this);
  txtExclusion_->setAcceptDrops(true);
  txtExclusion_->installEventFilter(this);
  connect(cmdSaveConfig_, &QPushButton::clicked, this, &frmConfig_CatLocalPaths::cmdSaveConfig_Click);

  Form_Load();
}

void frmConfig_CatLocalPaths::RefreshFormLang() {
  fraConfigExclusionsList_->setTitle(configText(u"FRAMES/EXCLUSIONS_LIST"));
  fraExclusionMethod_->setTitle(configText(u"FRAMES/EXCLUSIONS_METHOD"));
  optLocalPathContains_->setText(configText(u"RADIO/LOCAL_PATH_CONTAINS"));
  optLocalPathIs_->setText(configText(u"RADIO/LOCAL_PATH_IS"));
  cmdAddExclusion_->setText(configText(u"BUTTONS/ADD"));
  cmdRemoveExclusion_->setText(configText(u"BUTTONS/REMOVE"));
  cmdSaveConfig_->setText(configText(u"BUTTONS/SAVE"));
  lvwExclusions_->setAccessibleName(configText(u"FRAMES/EXCLUSIONS_LIST"));
  txtExclusion_->setAccessibleName(configText(u"FRAMES/EXCLUSIONS_LIST"));
}

void frmConfig_CatLocalPaths::Form_Load() {
  RefreshFormLang();
  optLocalPathContains_->setChecked(true);
  QStringList patterns;
  for (const auto& exclusion : gConfiguration.LocalPaths.colExclusions) {
    patterns.append(exclusion.value);
  }
  list_->fill(patterns);
  finishLoad();
}

void frmConfig_CatLocalPaths::lvwExclusions_Drop(const QList<QUrl>& urls) {
  for (const QString& exclusion : fnctDroppedExclusions(urls)) {
    list_->append(exclusion);
  }
}

void frmConfig_CatLocalPaths::txtExclusion_Drop(const QList<QUrl>& urls) {
  if (const std::optional<QString> text = fnctDroppedExclusionText(urls)) {
    txtExclusion_->setText(*text);
  }
}

void frmConfig_CatLocalPaths::cmdSaveConfig_Click() {
  const QStringList patterns = list_->texts();
  saveCategory([&patterns](core::tConfiguration& record) {
    record.LocalPaths.colExclusions.clear();
    for (const QString& pattern : patterns) {
      record.LocalPaths.colExclusions.add(pattern);
    }
  });
}

bool frmConfig_CatLocalPaths::eventFilter(QObject* watched, QEvent* event) {
  const bool onList = watched == lvwExclusions_->viewport();
  if (!onList && watched != txtExclusion_) {
    return false;
  }
  return filterUrlDrop(
      event, [this, onList](const QList<QUrl>& urls) { onList ? lvwExclusions_Drop(urls) : txtExclusion_Drop(urls); });
}

}  // namespace orv::editors
