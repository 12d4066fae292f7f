#include "editors/config_categories.h"

#include "core/configuration.h"
#include "core/language.h"
#include "editors/config_category_save.h"
#include "editors/config_form_parts.h"
#include "editors/frm_config_cat_boot.h"
#include "editors/frm_config_cat_general.h"
#include "editors/frm_config_cat_html.h"
#include "editors/frm_config_cat_identification.h"
#include "editors/frm_config_cat_ipfilters.h"
#include "editors/frm_config_cat_localpaths.h"
#include "editors/frm_config_cat_users.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include <array>
#include <utility>

namespace orv::editors {
namespace {

struct CategoryNames {
  const char* key;
  const char* textName;
  const char* formName;
};

// In the order of the codes.
constexpr std::array<CategoryNames, kConfigCategoryCount> kCategories = {{
    {"general", "CONFIG_FORM/LISTVIEW/CONFIG_CATS_GENERAL", "frmConfig_CatGeneral"},
    {"html", "CONFIG_FORM/LISTVIEW/CONFIG_CATS_HTML", "frmConfig_CatHtml"},
    {"boot", "CONFIG_FORM/LISTVIEW/CONFIG_CATS_BOOT", "frmConfig_CatBoot"},
    {"localpaths", "CONFIG_FORM/LISTVIEW/CONFIG_CATS_LOCAL_PATHS", "frmConfig_CatLocalPaths"},
    {"ipfilters", "CONFIG_FORM/LISTVIEW/CONFIG_CATS_IP_FILTERS", "frmConfig_CatIpFilters"},
    {"users", "CONFIG_FORM/LISTVIEW/CONFIG_CATS_USERS", "frmConfig_CatUsers"},
    {"identification", "CONFIG_FORM/LISTVIEW/CONFIG_CATS_IDENTIFICATION", "frmConfig_CatIdentification"},
}};

std::size_t slotOf(ConfigCategory category) {
  return static_cast<std::size_t>(static_cast<int>(category) - 1);
}

std::array<ConfigCategoryMaker, kConfigCategoryCount>& makers() {
  static std::array<ConfigCategoryMaker, kConfigCategoryCount> registered = [] {
    std::array<ConfigCategoryMaker, kConfigCategoryCount> initial;
    initial[slotOf(ConfigCategory::General)] = [](QWidget* parent) { return new frmConfig_CatGeneral(parent); };
    initial[slotOf(ConfigCategory::Html)] = [](QWidget* parent) { return new frmConfig_CatHtml(parent); };
    initial[slotOf(ConfigCategory::Boot)] = [](QWidget* parent) { return new frmConfig_CatBoot(parent); };
    initial[slotOf(ConfigCategory::LocalPaths)] = [](QWidget* parent) { return new frmConfig_CatLocalPaths(parent); };
    initial[slotOf(ConfigCategory::IpFilters)] = [](QWidget* parent) { return new frmConfig_CatIpFilters(parent); };
    initial[slotOf(ConfigCategory::Users)] = [](QWidget* parent) { return new frmConfig_CatUsers(parent); };
    initial[slotOf(ConfigCategory::Identification)] = [](QWidget* parent) {
      return new frmConfig_CatIdentification(parent);
    };
    return initial;
  }();
  return registered;
}

// The form of a category that is not built yet: it only says which category is shown, so
// that the last category comes back when the window is restored.
class EmptyCategoryForm : public ConfigCategoryForm {
 public:
  EmptyCategoryForm(ConfigCategory category, QWidget* parent) : ConfigCategoryForm(category, parent) {
    setObjectName(QLatin1String(kCategories[slotOf(category)].formName));
    core::gConfiguration.AppDisplay.gShownConfigCategory = static_cast<int>(category);
  }
};

}  // namespace

QString configCategoryKey(ConfigCategory category) {
  return QLatin1String(kCategories[slotOf(category)].key);
}

std::optional<ConfigCategory> configCategoryOfKey(const QString& key) {
  for (int code = 1; code <= kConfigCategoryCount; ++code) {
    if (key.compare(QLatin1String(kCategories[static_cast<std::size_t>(code - 1)].key), Qt::CaseInsensitive) == 0) {
      return static_cast<ConfigCategory>(code);
    }
  }
  return std::nullopt;
}

QString configCategoryTextName(ConfigCategory category) {
  return QLatin1String(kCategories[slotOf(category)].textName);
}

ConfigCategoryForm::ConfigCategoryForm(ConfigCategory category, QWidget* parent)
    : QWidget(parent), category_(category) {
  setAccessibleName(core::gLanguage.text(configCategoryTextName(category)));
}

void ConfigCategoryForm::createSaveButton() {
  cmdSaveConfig_ = named(new QPushButton(this), "cmdSaveConfig");
}

void ConfigCategoryForm::layOutForm(std::initializer_list<QWidget*> frames, QWidget* stretched) {
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(cmdSaveConfig_);

  auto* layout = new QVBoxLayout(this);
  for (QWidget* frame : frames) {
    layout->addWidget(frame, frame == stretched ? 1 : 0);
  }
  if (stretched == nullptr) {
    layout->addStretch(1);
  }
  layout->addLayout(buttons);
}

void ConfigCategoryForm::enableSave() {
  cmdSaveConfig_->setEnabled(true);
}

void ConfigCategoryForm::finishLoad() {
  cmdSaveConfig_->setEnabled(false);
  core::gConfiguration.AppDisplay.gShownConfigCategory = static_cast<int>(category_);
}

bool ConfigCategoryForm::saveCategory(const std::function<void(core::tConfiguration& record)>& storeValues) {
  if (!subSaveCategory(storeValues)) {
    return false;
  }
  cmdSaveConfig_->setEnabled(false);
  return true;
}

void setConfigCategoryMaker(ConfigCategory category, ConfigCategoryMaker maker) {
  makers()[slotOf(category)] = std::move(maker);
}

ConfigCategoryForm* createConfigCategoryForm(ConfigCategory category, QWidget* parent) {
  if (const ConfigCategoryMaker& maker = makers()[slotOf(category)]) {
    return maker(parent);
  }
  return new EmptyCategoryForm(category, parent);
}

}  // namespace orv::editors
