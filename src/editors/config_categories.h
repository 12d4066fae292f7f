#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <initializer_list>
#include <optional>

class QPushButton;

namespace orv::core {
struct tConfiguration;
}

// The seven categories of the configuration panel: their codes, keys and list texts, and
// the makers of their forms. A category whose form is not registered shows an empty form.
namespace orv::editors {

// The codes of gShownConfigCategory; each is also the item's position in the category list.
enum class ConfigCategory {
  General = 1,
  Html = 2,
  Boot = 3,
  LocalPaths = 4,
  IpFilters = 5,
  Users = 6,
  Identification = 7,
};

inline constexpr int kConfigCategoryCount = 7;

// "general", "html", "boot", "localpaths", "ipfilters", "users", "identification".
QString configCategoryKey(ConfigCategory category);
// The category of a key, compared ignoring case; nothing for any other text.
std::optional<ConfigCategory> configCategoryOfKey(const QString& key);
// The name of the category's list text in the language record ("CONFIG_FORM/LISTVIEW/...").
QString configCategoryTextName(ConfigCategory category);

// What every category form is: a widget whose Save button writes config.xml. The host
// only creates, places and destroys it.
class ConfigCategoryForm : public QWidget {
  Q_OBJECT

 public:
  explicit ConfigCategoryForm(ConfigCategory category, QWidget* parent = nullptr);

  ConfigCategory category() const { return category_; }

 protected:
  // Makes cmdSaveConfig_; called after the category's own controls are made.
  void createSaveButton();
  // The frames one under the other and Save under them at the right. The stretched frame
  // takes the height left; with none, the room left stays under the frames.
  void layOutForm(std::initializer_list<QWidget*> frames, QWidget* stretched = nullptr);
  // Any edit offers Save.
  void enableSave();
  // The end of a load: nothing is edited yet, and the panel comes back to this category.
  void finishLoad();
  // subSaveCategory; once written, Save waits for the next edit.
  bool saveCategory(const std::function<void(core::tConfiguration& record)>& storeValues);

  QPushButton* cmdSaveConfig_ = nullptr;

 private:
  ConfigCategory category_;
};

// Makes a new form of one category. Every category's form is registered from the start;
// a category without a maker gets an empty form.
using ConfigCategoryMaker = std::function<ConfigCategoryForm*(QWidget* parent)>;
void setConfigCategoryMaker(ConfigCategory category, ConfigCategoryMaker maker);
ConfigCategoryForm* createConfigCategoryForm(ConfigCategory category, QWidget* parent);

}  // namespace orv::editors
