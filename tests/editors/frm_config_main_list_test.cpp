// The configuration panel host: the list of the seven categories and one category form
// at a time, placed where the main window puts it.

#include "editors/frm_config_main_list.h"
#include "desktop/child_panel.h"
#include "editors/frm_config_cat_users.h"
#include "editors_fixture.h"
#include "support/event_loop.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace {

using namespace orv::editors;
using orv::core::gConfiguration;

constexpr int kAreaWidth = 780;
constexpr int kAreaHeight = 480;

// Stands for the main window's panel area: the panel is placed as the main window places
// the configuration panel, its width kept and its height following.
class ConfigPanel : public EditorsTest {
 protected:
  void SetUp() override {
    EditorsTest::SetUp();
    area_ = std::make_unique<QWidget>();
    area_->resize(kAreaWidth, kAreaHeight);
    panel_ = new frmConfig_MainList(area_.get());
    panel_->blnRedimActivate = false;
    panel_->move(0, 0);
    panel_->resize(panel_->width(), kAreaHeight);
    panel_->LoadConfigCatForm(QStringLiteral("general"));
    panel_->blnRedimActivate = true;
    panel_->blnEnableFormRedimY = true;
    area_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(area_.get()));
  }

  QListWidget* list() const { return panel_->categoryList(); }

  void clickCategory(int code) {
    QListWidgetItem* item = list()->item(code - 1);
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier, list()->visualItemRect(item).center());
  }

  std::unique_ptr<QWidget> area_;
  frmConfig_MainList* panel_ = nullptr;
};

TEST_F(ConfigPanel, ListsTheSevenCategoriesInTheirOrderWithTheirTexts) {
  const char16_t* names[] = {
      u"CONFIG_FORM/LISTVIEW/CONFIG_CATS_GENERAL",       u"CONFIG_FORM/LISTVIEW/CONFIG_CATS_HTML",
      u"CONFIG_FORM/LISTVIEW/CONFIG_CATS_BOOT",          u"CONFIG_FORM/LISTVIEW/CONFIG_CATS_LOCAL_PATHS",
      u"CONFIG_FORM/LISTVIEW/CONFIG_CATS_IP_FILTERS",    u"CONFIG_FORM/LISTVIEW/CONFIG_CATS_USERS",
      u"CONFIG_FORM/LISTVIEW/CONFIG_CATS_IDENTIFICATION"};
  const char* keys[] = {"general", "html", "boot", "localpaths", "ipfilters", "users", "identification"};
  ASSERT_EQ(list()->count(), 7);
  for (int row = 0; row < 7; ++row) {
    EXPECT_EQ(list()->item(row)->text(), text(names[row]));
    EXPECT_EQ(list()->item(row)->data(Qt::UserRole).toString(), QLatin1String(keys[row]));
    EXPECT_FALSE(list()->item(row)->icon().isNull());
  }
  EXPECT_EQ(gConfiguration.AppDisplay.gShownMainPanel, 4);
  EXPECT_EQ(panel_->objectName(), QStringLiteral("frmConfig_MainList"));
}

TEST_F(ConfigPanel, EachKeyShowsItsFormAndTheLaterCategoriesAnEmptyOne) {
  struct Case {
    const char* key;
    const char* form;
    int code;
  };
  const std::vector<Case> cases = {
      {"general", "frmConfig_CatGeneral", 1},
      {"HTML", "frmConfig_CatHtml", 2},
      {"boot", "frmConfig_CatBoot", 3},
      {"LocalPaths", "frmConfig_CatLocalPaths", 4},
      {"ipfilters", "frmConfig_CatIpFilters", 5},
      {"Users", "frmConfig_CatUsers", 6},
      {"identification", "frmConfig_CatIdentification", 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    QPointer<QWidget> previous = panel_->frmConfigCatForm();
    panel_->LoadConfigCatForm(QLatin1String(c.key));
    ASSERT_NE(panel_->frmConfigCatForm(), nullptr);
    EXPECT_TRUE(previous.isNull());
    EXPECT_EQ(panel_->frmConfigCatForm()->objectName(), QLatin1String(c.form));
    EXPECT_EQ(gConfiguration.AppDisplay.gShownConfigCategory, c.code);
    EXPECT_EQ(list()->currentRow(), c.code - 1);
    EXPECT_TRUE(panel_->frmConfigCatForm()->isVisible());
  }
  QWidget* shown = panel_->frmConfigCatForm();
  panel_->LoadConfigCatForm(QStringLiteral("nothing"));
  EXPECT_EQ(panel_->frmConfigCatForm(), shown);
}

TEST_F(ConfigPanel, TheCategoryFormStandsRightOfTheStripAndFillsTheRest) {
  QWidget* form = panel_->frmConfigCatForm();
  EXPECT_EQ(panel_->width(), frmConfig_MainList::kStripWidth);
  EXPECT_EQ(form->geometry(),
            QRect(frmConfig_MainList::kStripWidth, 0, kAreaWidth - frmConfig_MainList::kStripWidth, kAreaHeight));
  // The main window's resize: the panel's height follows, its width stays, and the form is
  // sized to what the strip leaves.
  area_->resize(1000, 600);
  panel_->resize(panel_->width(), 600);
  form->resize(1000 - panel_->width(), 600);
  EXPECT_EQ(panel_->width(), frmConfig_MainList::kStripWidth);
  EXPECT_EQ(form->geometry(), QRect(frmConfig_MainList::kStripWidth, 0, 1000 - frmConfig_MainList::kStripWidth, 600));
}

TEST_F(ConfigPanel, ClickingTheShownCategoryKeepsItsEditsAndAnotherDropsThem) {
  clickCategory(6);
  auto* users = qobject_cast<frmConfig_CatUsers*>(panel_->frmConfigCatForm());
  ASSERT_NE(users, nullptr);
  auto* login = users->findChild<QLineEdit*>(QStringLiteral("txtLogin"));
  auto* password = users->findChild<QLineEdit*>(QStringLiteral("txtPassword"));
  login->setFocus();
  QTest::keyClicks(login, QStringLiteral("dan"));
  password->setFocus();
  QTest::keyClicks(password, QStringLiteral("pw"));
  QTest::mouseClick(users->findChild<QPushButton*>(QStringLiteral("cmdAddUser")), Qt::LeftButton);
  ASSERT_EQ(users->workLists().accounts().size(), 1u);

  clickCategory(6);
  EXPECT_EQ(panel_->frmConfigCatForm(), users);
  EXPECT_EQ(users->workLists().accounts().size(), 1u);

  clickCategory(7);
  clickCategory(6);
  users = qobject_cast<frmConfig_CatUsers*>(panel_->frmConfigCatForm());
  ASSERT_NE(users, nullptr);
  EXPECT_TRUE(users->workLists().accounts().empty());
  EXPECT_FALSE(users->findChild<QPushButton*>(QStringLiteral("cmdSaveConfig"))->isEnabled());
}

TEST_F(ConfigPanel, TheKeyboardChoosesACategory) {
  list()->setFocus();
  list()->setCurrentRow(0);
  QTest::keyClick(list(), Qt::Key_Down);
  EXPECT_EQ(gConfiguration.AppDisplay.gShownConfigCategory, 2);
  EXPECT_EQ(panel_->frmConfigCatForm()->objectName(), QStringLiteral("frmConfig_CatHtml"));
}

TEST_F(ConfigPanel, ASelectionMadeByAnAssistiveToolChoosesACategory) {
  list()->selectionModel()->select(list()->model()->index(6, 0), QItemSelectionModel::ClearAndSelect);
  EXPECT_EQ(panel_->frmConfigCatForm()->objectName(), QStringLiteral("frmConfig_CatIdentification"));
}

TEST_F(ConfigPanel, ThePanelTakesItsCategoryFormWithIt) {
  panel_->LoadConfigCatForm(QStringLiteral("users"));
  QPointer<QWidget> form = panel_->frmConfigCatForm();
  delete panel_;
  EXPECT_TRUE(form.isNull());
}

TEST_F(ConfigPanel, TheProgramsMakerBuildsThisPanel) {
  orv::desktop::setChildPanelMaker(orv::desktop::MainPanel::Config,
                                   [](QWidget* parent) { return new frmConfig_MainList(parent); });
  std::unique_ptr<orv::desktop::ChildPanel> made(
      orv::desktop::createChildPanel(orv::desktop::MainPanel::Config, nullptr));
  orv::desktop::setChildPanelMaker(orv::desktop::MainPanel::Config, {});
  made->LoadConfigCatForm(QStringLiteral("identification"));
  ASSERT_NE(made->frmConfigCatForm(), nullptr);
  EXPECT_EQ(made->frmConfigCatForm()->parentWidget(), made.get());
}

TEST_F(ConfigPanel, PicturesOfThePanel) {
  gConfiguration.Users.add({QStringLiteral("id1"), QStringLiteral("amy"), QStringLiteral("a"), {}, {}});
  gConfiguration.Users.add({QStringLiteral("id2"), QStringLiteral("bob"), QStringLiteral("b"), {}, {}});
  for (const char* key : {"users", "identification", "general"}) {
    panel_->LoadConfigCatForm(QLatin1String(key));
    processPendingEvents();
    saveArtifact(*area_, QStringLiteral("config-panel-") + QLatin1String(key));
  }
}

}  // namespace
