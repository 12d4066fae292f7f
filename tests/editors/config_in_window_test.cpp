// The configuration panel inside the real main window: opened from the tool bar, its
// category form beside the strip at the width the window leaves, and a Save from there.

#include "config_form_fixture.h"
#include "config_window_fixture.h"
#include "desktop/frm_menu.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <memory>

namespace {

using namespace orv::editors;
using orv::core::gConfiguration;
using orv::desktop::frmMenu;
using orv::desktop::gCurrentChildForm;
using orv::desktop::gMenuForm;

class ConfigInWindow : public EditorsTest {
 protected:
  void SetUp() override {
    EditorsTest::SetUp();
    app_.write(QStringLiteral("lang/english.xml"), englishFile());
    ASSERT_NO_FATAL_FAILURE(startMainWindow(app_, window_));
    processPendingEvents();
  }

  void TearDown() override {
    stopMainWindow(window_);
    EditorsTest::TearDown();
  }

  frmConfig_MainList* panel() const { return qobject_cast<frmConfig_MainList*>(gCurrentChildForm.data()); }

  // The category form stands right of the strip, as high as the panel, to the window's edge.
  void expectFormBesideTheStrip() const {
    const QWidget* form = panel()->frmConfigCatForm();
    ASSERT_NE(form, nullptr);
    const QWidget* area = panel()->parentWidget();
    EXPECT_EQ(form->parentWidget(), area);
    EXPECT_EQ(panel()->width(), frmConfig_MainList::kStripWidth);
    EXPECT_EQ(form->geometry(), QRect(panel()->geometry().right() + 1, panel()->y(),
                                      area->width() - frmConfig_MainList::kStripWidth, panel()->height()));
    EXPECT_EQ(panel()->y(), gMenuForm->height());
    EXPECT_EQ(panel()->height(), area->height() - gMenuForm->height());
  }

  std::unique_ptr<orv::desktop::frmMain> window_;
};

TEST_F(ConfigInWindow, TheToolBarOpensThePanelWithItsFormBesideTheStripAndAResizeKeepsItThere) {
  QTest::mouseClick(gMenuForm->button(frmMenu::kConfig), Qt::LeftButton);
  processPendingEvents();
  ASSERT_NE(panel(), nullptr);
  EXPECT_EQ(panel()->frmConfigCatForm()->objectName(), QStringLiteral("frmConfig_CatGeneral"));
  expectFormBesideTheStrip();

  QListWidget* list = panel()->categoryList();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->visualItemRect(list->item(5)).center());
  EXPECT_EQ(panel()->frmConfigCatForm()->objectName(), QStringLiteral("frmConfig_CatUsers"));
  expectFormBesideTheStrip();
  window_->resize(1000, 640);
  processPendingEvents();
  expectFormBesideTheStrip();

  QWidget* users = panel()->frmConfigCatForm();
  auto* login = users->findChild<QLineEdit*>(QStringLiteral("txtLogin"));
  auto* password = users->findChild<QLineEdit*>(QStringLiteral("txtPassword"));
  login->setText(QStringLiteral("dan"));
  password->setText(QStringLiteral("secret"));
  QTest::mouseClick(users->findChild<QPushButton*>(QStringLiteral("cmdAddUser")), Qt::LeftButton);
  QTest::mouseClick(users->findChild<QPushButton*>(QStringLiteral("cmdSaveConfig")), Qt::LeftButton);
  EXPECT_TRUE(messages_.isEmpty());
  EXPECT_EQ(reload().Users.login.value(QStringLiteral("id1")), QStringLiteral("dan"));
  saveArtifact(*window_, QStringLiteral("config-window-users"));

  // The shares panel replaces the configuration panel and its category form with it.
  QPointer<QWidget> form = users;
  QTest::mouseClick(gMenuForm->button(frmMenu::kShares), Qt::LeftButton);
  processPendingEvents();
  EXPECT_TRUE(form.isNull());
}

TEST_F(ConfigInWindow, OpenedOnACategoryThePanelShowsItChosenInTheList) {
  orv::desktop::subShowChildForm(QStringLiteral("Config"), false, true, QStringLiteral("identification"));
  processPendingEvents();
  ASSERT_NE(panel(), nullptr);
  EXPECT_EQ(gConfiguration.AppDisplay.gShownConfigCategory, 7);
  EXPECT_EQ(panel()->categoryList()->currentRow(), 6);
  expectFormBesideTheStrip();
  saveArtifact(*window_, QStringLiteral("config-window-identification"));
}

}  // namespace
