// The HTML display category's form offscreen: loaded from the record, its stylesheet list
// and marking, Save read back from config.xml, and the page stylesheet loaded again only
// when it or the method changes; a stylesheet that does not load is refused.

#include "editors/frm_config_cat_html.h"
#include "config_form_fixture.h"
#include "content/server_transform.h"
#include "editors/html_settings.h"
#include "support/event_loop.h"
#include "widget_input.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace {

using namespace orv::editors;
using namespace Qt::StringLiterals;
using orv::core::gConfiguration;

QByteArray stylesheetSaying(const char* word) {
  return QByteArray(
             "<?xml version=\"1.0\"?><xsl:stylesheet version=\"1.0\" "
             "xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\"><xsl:output method=\"html\"/>"
             "<xsl:template match=\"/\"><html><body><p>") +
         word + "</p></body></html></xsl:template></xsl:stylesheet>";
}

class HtmlForm : public EditorsTest {
 protected:
  void SetUp() override {
    EditorsTest::SetUp();
    app_.write(u"resources/classic-full.xsl"_s, stylesheetSaying("classic"));
    app_.write(u"resources/Bright.XSL"_s, stylesheetSaying("bright"));
    app_.write(u"resources/broken.xsl"_s, "not a stylesheet <<");
    app_.write(u"resources/plain.xsl"_s, "<?xml version=\"1.0\"?><html/>");
    app_.write(u"resources/classic.css"_s, "body{}");
    orv::content::subReloadXslStylesheetDocument();
  }

  QListWidgetItem* itemOf(QListWidget* list, const QString& text) {
    const QList<QListWidgetItem*> found = list->findItems(text, Qt::MatchExactly);
    return found.isEmpty() ? nullptr : found.first();
  }

  void click(QListWidget* list, const QString& text) {
    QListWidgetItem* item = itemOf(list, text);
    ASSERT_NE(item, nullptr) << text.toStdString();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->visualItemRect(item).center());
    processPendingEvents();
  }

  static QByteArray transformed() {
    return orv::content::fnctTransformPageText("<?xml version=\"1.0\"?><page/>").toUtf8();
  }
};

TEST_F(HtmlForm, ShowsTheRecordAndSavesTheMarkedStylesheet) {
  frmConfig_CatHtml form;
  form.resize(560, 520);
  showActive(form);
  processPendingEvents();
  EXPECT_EQ(gConfiguration.AppDisplay.gShownConfigCategory, 2);
  auto* list = childNamed<QListWidget>(form, "lvwXslFiles");
  auto* save = childNamed<QPushButton>(form, "cmdSaveConfig");
  ASSERT_EQ(list->count(), 4);
  EXPECT_EQ(list->item(0)->text(), u"Bright"_s);  // sorted, capitals listed
  EXPECT_EQ(form.lngMarkedXslIndex(), 3);
  EXPECT_EQ(childNamed<QLineEdit>(form, "txtMiniatureDimension")->text(), u"96"_s);
  EXPECT_TRUE(childNamed<QRadioButton>(form, "optByServer")->isChecked());
  EXPECT_FALSE(save->isEnabled());
  saveArtifact(form, u"config-html"_s);
  EXPECT_TRUE(transformed().contains("classic"));

  click(list, u"classic-full"_s);  // the stored one while Save is disabled: nothing
  EXPECT_FALSE(save->isEnabled());
  EXPECT_EQ(form.lngMarkedXslIndex(), 3);

  click(list, u"Bright"_s);
  EXPECT_EQ(form.lngMarkedXslIndex(), 1);
  EXPECT_TRUE(save->isEnabled());
  EXPECT_TRUE(save->hasFocus());
  childNamed<QCheckBox>(form, "chkHideExtensions")->setChecked(true);
  childNamed<QLineEdit>(form, "txtMiniatureDimension")->setText(u"200"_s);
  QTest::mouseClick(save, Qt::LeftButton);
  EXPECT_TRUE(messages_.isEmpty()) << messages_.join(u'\n').toStdString();
  EXPECT_FALSE(save->isEnabled());
  const orv::core::tConfiguration stored = reload();
  EXPECT_EQ(stored.HtmlDisplay.XSL_FILE, u"Bright.XSL"_s);
  EXPECT_TRUE(stored.HtmlDisplay.HIDE_EXTENSIONS);
  EXPECT_EQ(stored.HtmlDisplay.MINATURE_DIMENSION, 200);
  // The next page served is transformed by the new stylesheet.
  EXPECT_TRUE(transformed().contains("bright"));

  // The browser's method: the server transforms nothing.
  childNamed<QRadioButton>(form, "optByClient")->setChecked(true);
  QTest::mouseClick(save, Qt::LeftButton);
  EXPECT_EQ(reload().HtmlDisplay.PAGE_BUILD_METHOD, 1);
  EXPECT_TRUE(transformed().isEmpty());
}

TEST_F(HtmlForm, AStylesheetThatDoesNotLoadIsRefusedAndPagesKeepThePreviousOne) {
  frmConfig_CatHtml form;
  showActive(form);
  processPendingEvents();
  auto* list = childNamed<QListWidget>(form, "lvwXslFiles");
  auto* save = childNamed<QPushButton>(form, "cmdSaveConfig");
  const QByteArray before = configBytes();
  for (const QString& bad : {u"broken"_s, u"plain"_s}) {
    messages_.clear();
    click(list, bad);
    QTest::mouseClick(save, Qt::LeftButton);
    ASSERT_EQ(messages_.size(), 1) << bad.toStdString();
    EXPECT_TRUE(messages_[0].contains(bad + u".xsl"_s));
    EXPECT_EQ(icons_[0], orv::desktop::MessageIcon::Critical);
    EXPECT_EQ(configBytes(), before);
    EXPECT_EQ(gConfiguration.HtmlDisplay.XSL_FILE, u"classic-full.xsl"_s);
    EXPECT_TRUE(save->isEnabled());
    EXPECT_TRUE(transformed().contains("classic"));
  }
}

TEST_F(HtmlForm, AMissingStylesheetCanBeReplacedByAClick) {
  gConfiguration.HtmlDisplay.XSL_FILE = u"gone.xsl"_s;
  frmConfig_CatHtml form;
  showActive(form);
  processPendingEvents();
  EXPECT_EQ(form.lngMarkedXslIndex(), 0);
  click(childNamed<QListWidget>(form, "lvwXslFiles"), u"classic-full"_s);
  EXPECT_EQ(form.lngMarkedXslIndex(), 3);
  QTest::mouseClick(childNamed<QPushButton>(form, "cmdSaveConfig"), Qt::LeftButton);
  EXPECT_EQ(reload().HtmlDisplay.XSL_FILE, u"classic-full.xsl"_s);
}

TEST_F(HtmlForm, TheThumbnailSizeIsBoundedAndEscapePutsItBack) {
  frmConfig_CatHtml form;
  showActive(form);
  auto* size = childNamed<QLineEdit>(form, "txtMiniatureDimension");
  auto* save = childNamed<QPushButton>(form, "cmdSaveConfig");
  for (const char* refused : {"9", "1025", "32767", "40000", "abc"}) {
    size->setFocus();
    size->setText(QString::fromLatin1(refused));
    widget_input::keyClick(size, Qt::Key_Return);
    EXPECT_EQ(size->text(), u"96"_s) << refused;
    EXPECT_TRUE(save->hasFocus()) << refused;
  }
  size->setFocus();
  size->setText(u"1024"_s);
  widget_input::keyClick(size, Qt::Key_Return);
  EXPECT_EQ(size->text(), u"1024"_s);
  size->setFocus();
  widget_input::keyClick(size, Qt::Key_Escape);
  EXPECT_EQ(size->text(), u"96"_s);
  EXPECT_TRUE(childNamed<QCheckBox>(form, "chkViewHiddenDiskItems")->hasFocus());
  size->setText(u"1024"_s);
  QTest::mouseClick(save, Qt::LeftButton);
  EXPECT_EQ(reload().HtmlDisplay.MINATURE_DIMENSION, 1024);
}

}  // namespace
