// The local path exclusions category driven as a user drives it: patterns typed in both
// forms, folders and files dropped on the list and on the text box, edits in place,
// removals, and Save with config.xml read back.

#include "editors/frm_config_cat_localpaths.h"

#include "config_form_fixture.h"

#include <QGroupBox>
#include <QRadioButton>

namespace {

using namespace orv::editors;
using orv::core::gConfiguration;

class LocalPathsForm : public ConfigListFormTest<frmConfig_CatLocalPaths> {
 protected:
  void SetUp() override {
    ConfigListFormTest::SetUp();
    gConfiguration.LocalPaths.colExclusions.add(QStringLiteral("private"));
    gConfiguration.LocalPaths.colExclusions.add(QStringLiteral("\"{folder:app}/cache/\""));
    shared_.write(QStringLiteral("secret/a.txt"), "a");
    shared_.write(QStringLiteral("notes.txt"), "n");
    open();
  }

  void open() {
    showListForm(600, 440, "lvwExclusions", "txtExclusion", "cmdAddExclusion", "cmdRemoveExclusion");
    contains_ = child<QRadioButton>("optLocalPathContains");
    exact_ = child<QRadioButton>("optLocalPathIs");
  }

  static QStringList stored(const orv::core::tConfiguration& record) {
    return storedValues(record.LocalPaths.colExclusions);
  }

  QString quotedShared(const char* name) const {
    return QLatin1Char('"') + shared_.file(QLatin1String(name)) + QLatin1Char('"');
  }

  TempFolder shared_;
  QRadioButton* contains_ = nullptr;
  QRadioButton* exact_ = nullptr;
};

TEST_F(LocalPathsForm, ShowsTheStoredPatternsWithTheButtonsDisabled) {
  EXPECT_EQ(shown(), (QStringList{QStringLiteral("private"), QStringLiteral("\"{folder:app}/cache/\"")}));
  EXPECT_TRUE(contains_->isChecked());
  EXPECT_FALSE(add_->isEnabled());
  EXPECT_FALSE(remove_->isEnabled());
  EXPECT_FALSE(save_->isEnabled());
  EXPECT_EQ(gConfiguration.AppDisplay.gShownConfigCategory, 4);
  EXPECT_EQ(child<QGroupBox>("fraConfigExclusionsList")->title(), text(u"CONFIG_FORM/FRAMES/EXCLUSIONS_LIST"));
  EXPECT_EQ(exact_->text(), text(u"CONFIG_FORM/RADIO/LOCAL_PATH_IS"));
  EXPECT_EQ(add_->text(), text(u"CONFIG_FORM/BUTTONS/ADD"));
}

TEST_F(LocalPathsForm, AddMakesTheChosenFormTrimmedWithThePlaceholder) {
  exact_->click();
  EXPECT_TRUE(save_->isEnabled() == false);  // the option alone is no edit of the list
  type(QStringLiteral("  ") + app_.path() + QStringLiteral("/private  "));
  EXPECT_TRUE(add_->isEnabled());
  QTest::keyClick(box_, Qt::Key_Return);
  EXPECT_EQ(shown().last(), QStringLiteral("\"{folder:app}/private\""));
  EXPECT_TRUE(box_->text().isEmpty());
  EXPECT_FALSE(add_->isEnabled());
  EXPECT_TRUE(save_->isEnabled());
  EXPECT_TRUE(save_->hasFocus());

  type(QStringLiteral("\"/srv/already quoted\""));  // not quoted twice
  QTest::mouseClick(add_, Qt::LeftButton);
  EXPECT_EQ(shown().last(), QStringLiteral("\"/srv/already quoted\""));

  contains_->click();
  type(QStringLiteral(" tmp "));
  QTest::mouseClick(add_, Qt::LeftButton);
  EXPECT_EQ(shown().last(), QStringLiteral("tmp"));

  type(QStringLiteral("   "));  // blanks only: nothing, and no message
  QTest::mouseClick(add_, Qt::LeftButton);
  EXPECT_EQ(list_->count(), 5);
  EXPECT_EQ(box_->text(), QStringLiteral("   "));
  EXPECT_TRUE(messages_.isEmpty());
}

TEST_F(LocalPathsForm, DroppedFoldersAndFilesBecomeExactPatternsInTheirOrder) {
  dropUrls(list_->viewport(), {QUrl::fromLocalFile(shared_.file(QStringLiteral("secret"))),
                               QUrl(QStringLiteral("https://example.com/page")),
                               QUrl::fromLocalFile(shared_.file(QStringLiteral("notes.txt"))),
                               QUrl::fromLocalFile(app_.file(QStringLiteral("resources")))});
  EXPECT_EQ(shown().mid(2), (QStringList{quotedShared("secret/"), quotedShared("notes.txt"),
                                         QStringLiteral("\"{folder:app}/resources/\"")}));
  EXPECT_TRUE(save_->isEnabled());

  // On the text box only the first path, plain, and nothing is added until Add.
  dropUrls(box_, {QUrl::fromLocalFile(app_.file(QStringLiteral("resources"))),
                  QUrl::fromLocalFile(shared_.file(QStringLiteral("notes.txt")))});
  EXPECT_EQ(box_->text(), QStringLiteral("{folder:app}/resources"));
  EXPECT_EQ(list_->count(), 5);
}

TEST_F(LocalPathsForm, AnEditInPlaceIsTrimmedAndAnEmptyOneKeepsTheOldText) {
  editRow(0, QString());
  EXPECT_EQ(list_->item(0)->text(), QStringLiteral("private"));
  EXPECT_FALSE(save_->isEnabled());
  editRow(0, QStringLiteral("  ") + app_.path() + QStringLiteral("/secret  "));
  EXPECT_EQ(list_->item(0)->text(), app_.path() + QStringLiteral("/secret"));  // as typed, no placeholder
  EXPECT_TRUE(save_->isEnabled());
  EXPECT_TRUE(messages_.isEmpty());
}

TEST_F(LocalPathsForm, RemoveAndDeleteTakeEverySelectedPatternAndSaveWritesTheList) {
  type(QStringLiteral("private"));  // the same pattern twice is allowed
  QTest::keyClick(box_, Qt::Key_Return);
  clickRow(0);
  EXPECT_TRUE(remove_->isEnabled());
  clickRow(1, Qt::ControlModifier);
  QTest::mouseClick(remove_, Qt::LeftButton);
  EXPECT_EQ(shown(), QStringList{QStringLiteral("private")});
  type(QStringLiteral("private"));
  QTest::keyClick(box_, Qt::Key_Return);
  QTest::mouseClick(save_, Qt::LeftButton);
  EXPECT_FALSE(save_->isEnabled());
  EXPECT_EQ(stored(reload()), (QStringList{QStringLiteral("private"), QStringLiteral("private")}));
  EXPECT_EQ(stored(gConfiguration), stored(reload()));

  dropUrls(list_->viewport(), {QUrl::fromLocalFile(shared_.file(QStringLiteral("secret")))});
  QTest::mouseClick(save_, Qt::LeftButton);
  saveArtifact(*form_, QStringLiteral("config-localpaths"));
  EXPECT_EQ(stored(reload()).last(), quotedShared("secret/"));

  list_->selectAll();
  QTest::keyClick(list_, Qt::Key_Delete);
  EXPECT_EQ(list_->count(), 0);
  QTest::mouseClick(save_, Qt::LeftButton);
  EXPECT_TRUE(stored(reload()).isEmpty());
  EXPECT_FALSE(configBytes().contains("EXCLUSION ")) << configBytes().toStdString();
  EXPECT_TRUE(configBytes().contains("LOCAL_PATHS")) << configBytes().toStdString();
}

TEST_F(LocalPathsForm, APatternOf4000CharactersComesBackWhole) {
  const QString path = QStringLiteral("/srv/") + QString(3995, QChar(0x00E9));
  exact_->click();
  box_->setText(QStringLiteral(" ") + path + QStringLiteral(" "));
  QTest::keyClick(box_, Qt::Key_Return);
  QTest::mouseClick(save_, Qt::LeftButton);
  EXPECT_EQ(stored(reload()).last(), QLatin1Char('"') + path + QLatin1Char('"'));
}

TEST_F(LocalPathsForm, LeavingWithoutSaveDropsTheEdits) {
  type(QStringLiteral("gone"));
  QTest::keyClick(box_, Qt::Key_Return);
  open();
  EXPECT_EQ(list_->count(), 2);
  EXPECT_EQ(gConfiguration.LocalPaths.colExclusions.count(), 2);
}

}  // namespace
