#include "editors/frm_config_main_list.h"

#include "core/configuration.h"
#include "core/language.h"
#include "desktop/desktop_utils.h"
#include "editors/frm_config_cat_users.h"

#include <QFrame>
#include <QIcon>
#include <QListWidget>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace orv::editors {
namespace {

using core::gConfiguration;

// One cell of the category list: the picture above its text, centred in the strip.
constexpr QSize kItemSize(frmConfig_MainList::kStripWidth - 20, 54);

// The desktop theme's picture of each category, with a picture of the widget style where
// the theme has none.
QIcon categoryIcon(const QWidget& panel, ConfigCategory category) {
  if (category == ConfigCategory::Users && !QIcon::hasThemeIcon(QStringLiteral("system-users"))) {
    // The list highlights only the text of the chosen category, so one picture serves.
    return QIcon(fnctAccountIcon(panel.palette(), 24).pixmap(24));
  }
  struct Picture {
    const char* themeName;
    QStyle::StandardPixmap fallback;
  };
  static constexpr Picture kPictures[kConfigCategoryCount] = {
      {"preferences-system", QStyle::SP_FileDialogDetailedView},
      {"text-html", QStyle::SP_FileIcon},
      {"system-run", QStyle::SP_MediaPlay},
      {"folder", QStyle::SP_DirIcon},
      {"network-wired", QStyle::SP_DriveNetIcon},
      {"system-users", QStyle::SP_DirHomeIcon},
      {"dialog-password", QStyle::SP_DialogApplyButton},
  };
  const Picture& picture = kPictures[static_cast<int>(category) - 1];
  return QIcon::fromTheme(QLatin1String(picture.themeName), panel.style()->standardIcon(picture.fallback));
}

}  // namespace

frmConfig_MainList::frmConfig_MainList(QWidget* parent) : ChildPanel(parent) {
  setObjectName(QStringLiteral("frmConfig_MainList"));
  txtConfig_Outline_ = new QFrame(this);
  txtConfig_Outline_->setObjectName(QStringLiteral("txtConfig_Outline"));
  txtConfig_Outline_->setFrameShape(QFrame::StyledPanel);
  txtConfig_Outline_->setFrameShadow(QFrame::Sunken);
  lvwConfig_ = new QListWidget(txtConfig_Outline_);
  lvwConfig_->setObjectName(QStringLiteral("lvwConfig"));
  lvwConfig_->setViewMode(QListView::IconMode);
  lvwConfig_->setFlow(QListView::TopToBottom);
  lvwConfig_->setWrapping(false);
  lvwConfig_->setMovement(QListView::Static);
  lvwConfig_->setResizeMode(QListView::Adjust);
  lvwConfig_->setIconSize(QSize(24, 24));
  lvwConfig_->setWordWrap(true);
  lvwConfig_->setFrameShape(QFrame::NoFrame);
  lvwConfig_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  lvwConfig_->setGridSize(kItemSize);

  auto* outline = new QVBoxLayout(txtConfig_Outline_);
  outline->setContentsMargins(2, 2, 2, 2);
  outline->addWidget(lvwConfig_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(txtConfig_Outline_);

  resize(kStripWidth, height());
  setMinimumWidth(kStripWidth);

  lvwConfig_->setSelectionMode(QAbstractItemView::SingleSelection);
  // A click, the arrow keys and an assistive tool's selection all choose a category.
  connect(lvwConfig_, &QListWidget::currentRowChanged, this, &frmConfig_MainList::lvwConfig_ItemClick);
  connect(lvwConfig_, &QListWidget::itemSelectionChanged, this, [this] {
    const QList<QListWidgetItem*> selected = lvwConfig_->selectedItems();
    if (!selected.isEmpty()) {
      lvwConfig_ItemClick(lvwConfig_->row(selected.first()));
    }
  });
  Form_Load();
}

frmConfig_MainList::~frmConfig_MainList() {
  Form_Unload();
}

void frmConfig_MainList::Form_Load() {
  InitConfigCatsListview();
  gConfiguration.AppDisplay.gShownMainPanel = static_cast<int>(desktop::MainPanel::Config);
}

void frmConfig_MainList::Form_Unload() {
  delete frmConfigCatForm_.data();
  frmConfigCatForm_.clear();
}

void frmConfig_MainList::InitConfigCatsListview() {
  const QSignalBlocker blocker(lvwConfig_);
  lvwConfig_->setAccessibleName(core::gLanguage.text(u"TOP_MENU_FORM/TOOLBAR/CONFIG_LABEL"));
  lvwConfig_->clear();
  for (int code = 1; code <= kConfigCategoryCount; ++code) {
    const auto category = static_cast<ConfigCategory>(code);
    auto* item = new QListWidgetItem(categoryIcon(*this, category),
                                     core::gLanguage.text(configCategoryTextName(category)), lvwConfig_);
    item->setData(Qt::UserRole, configCategoryKey(category));
    item->setTextAlignment(Qt::AlignHCenter | Qt::AlignTop);
    item->setSizeHint(kItemSize);
  }
  selectShownCategory();
}

void frmConfig_MainList::selectShownCategory() {
  if (frmConfigCatForm_.isNull()) {
    return;
  }
  const QSignalBlocker blocker(lvwConfig_);
  lvwConfig_->setCurrentRow(static_cast<int>(frmConfigCatForm_->category()) - 1);
}

void frmConfig_MainList::LoadConfigCatForm(const QString& categoryKey) {
  const std::optional<ConfigCategory> category = configCategoryOfKey(categoryKey);
  if (!category) {
    return;
  }
  Form_Unload();
  QWidget* area = parentWidget() != nullptr ? parentWidget() : this;
  frmConfigCatForm_ = createConfigCategoryForm(*category, area);
  desktop::subApplyFontCharset(frmConfigCatForm_);
  placeCategoryForm();
  frmConfigCatForm_->show();
  selectShownCategory();
}

QWidget* frmConfig_MainList::frmConfigCatForm() const {
  return frmConfigCatForm_.data();
}

void frmConfig_MainList::lvwConfig_ItemClick(int row) {
  // The category already shown keeps its form and its unsaved edits.
  if (row < 0 || (!frmConfigCatForm_.isNull() && static_cast<int>(frmConfigCatForm_->category()) == row + 1)) {
    return;
  }
  LoadConfigCatForm(configCategoryKey(static_cast<ConfigCategory>(row + 1)));
}

void frmConfig_MainList::placeCategoryForm() {
  if (frmConfigCatForm_.isNull()) {
    return;
  }
  if (frmConfigCatForm_->parentWidget() == this) {
    frmConfigCatForm_->setGeometry(kStripWidth, 0, std::max(0, width() - kStripWidth), height());
    return;
  }
  const QRect strip = geometry();
  const int left = strip.right() + 1;
  frmConfigCatForm_->setGeometry(left, strip.top(), std::max(0, parentWidget()->width() - left), strip.height());
}

void frmConfig_MainList::resizeEvent(QResizeEvent* event) {
  ChildPanel::resizeEvent(event);
  placeCategoryForm();
}

void frmConfig_MainList::moveEvent(QMoveEvent* event) {
  ChildPanel::moveEvent(event);
  placeCategoryForm();
}

void frmConfig_MainList::showEvent(QShowEvent* event) {
  ChildPanel::showEvent(event);
  if (!frmConfigCatForm_.isNull()) {
    frmConfigCatForm_->show();
  }
}

void frmConfig_MainList::hideEvent(QHideEvent* event) {
  ChildPanel::hideEvent(event);
  if (!frmConfigCatForm_.isNull() && frmConfigCatForm_->parentWidget() != this) {
    frmConfigCatForm_->hide();
  }
}

}  // namespace orv::editors
