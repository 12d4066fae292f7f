// The IP filters category driven as a user drives it: addresses typed, refused, edited and
// removed, the method, the question before a filter that refuses everyone, and Save with
// config.xml read back.

#include "editors/frm_config_cat_ipfilters.h"

#include "config_form_fixture.h"

#include <QGroupBox>
#include <QRadioButton>

namespace {

using namespace orv::editors;
using orv::core::gConfiguration;

class IpFiltersForm : public ConfigListFormTest<frmConfig_CatIpFilters> {
 protected:
  void SetUp() override {
    ConfigListFormTest::SetUp();
    gConfiguration.IpFilters.colAddresses.add(QStringLiteral("192.168.0.7"));
    gConfiguration.IpFilters.colAddresses.add(QStringLiteral("10.0.0.1"));
    gConfiguration.IpFilters.bytMethod = 2;
    answer_ = orv::desktop::MessageAnswer::No;
    showListForm(560, 420, "lvwIpAddressList", "txtIpAddress", "cmdAddIpAddress", "cmdRemoveIpAddress");
    allow_ = child<QRadioButton>("optAllowExcept");
    deny_ = child<QRadioButton>("optDenyExcept");
  }

  static QStringList stored(const orv::core::tConfiguration& record) {
    return storedValues(record.IpFilters.colAddresses);
  }

  QRadioButton* allow_ = nullptr;
  QRadioButton* deny_ = nullptr;
};

TEST_F(IpFiltersForm, ShowsTheStoredFilterWithTheButtonsDisabled) {
  EXPECT_EQ(shown(), (QStringList{QStringLiteral("192.168.0.7"), QStringLiteral("10.0.0.1")}));
  EXPECT_TRUE(allow_->isChecked());
  EXPECT_FALSE(add_->isEnabled());
  EXPECT_FALSE(remove_->isEnabled());
  EXPECT_FALSE(save_->isEnabled());
  EXPECT_EQ(gConfiguration.AppDisplay.gShownConfigCategory, 5);
  EXPECT_EQ(child<QGroupBox>("fraIpAddress")->title(), text(u"CONFIG_FORM/FRAMES/IP_FILTERS_LIST"));
  EXPECT_EQ(deny_->text(), text(u"CONFIG_FORM/RADIO/IP_FILTERS_DENY_EXCEPT"));
  EXPECT_EQ(list_->accessibleName(), text(u"CONFIG_FORM/FRAMES/IP_FILTERS_LIST"));
}

TEST_F(IpFiltersForm, AddStoresTheCanonicalFormAndRefusesAnythingElseWithTheMessage) {
  type(QStringLiteral("010.000.0.001"));
  EXPECT_TRUE(add_->isEnabled());
  QTest::keyClick(box_, Qt::Key_Return);
  EXPECT_EQ(shown().last(), QStringLiteral("10.0.0.1"));
  EXPECT_TRUE(box_->text().isEmpty());
  EXPECT_FALSE(add_->isEnabled());
  EXPECT_TRUE(save_->isEnabled());
  EXPECT_TRUE(save_->hasFocus());

  for (const char* bad : {"256.1.1.1", "1.2.3", "1..2.3", " 1.2.3.4", "1e2.0.0.1", "::1", "host.example"}) {
    SCOPED_TRACE(bad);
    messages_.clear();
    type(QString::fromLatin1(bad));
    QTest::mouseClick(add_, Qt::LeftButton);
    ASSERT_EQ(messages_.size(), 1);
    EXPECT_EQ(messages_[0], text(u"MSGBOX/ERRORS/INVALID_IP"));
    EXPECT_EQ(icons_.last(), orv::desktop::MessageIcon::Critical);
    EXPECT_EQ(box_->text(), QString::fromLatin1(bad));  // kept for correction
    EXPECT_TRUE(box_->hasFocus());
    EXPECT_EQ(list_->count(), 3);
  }
}

TEST_F(IpFiltersForm, EditingInPlaceAcceptsOnlyAnAddress) {
  editRow(0, QStringLiteral("1.2.3"));
  ASSERT_EQ(messages_.size(), 1);
  EXPECT_EQ(messages_[0], text(u"MSGBOX/ERRORS/INVALID_IP"));
  EXPECT_EQ(list_->item(0)->text(), QStringLiteral("192.168.0.7"));
  EXPECT_FALSE(save_->isEnabled());
  editRow(0, QString());
  EXPECT_EQ(messages_.size(), 2);
  EXPECT_EQ(list_->item(0)->text(), QStringLiteral("192.168.0.7"));
  editRow(0, QStringLiteral("127.000.0.09"));
  EXPECT_EQ(messages_.size(), 2);
  EXPECT_EQ(list_->item(0)->text(), QStringLiteral("127.0.0.9"));
  EXPECT_TRUE(save_->isEnabled());
}

TEST_F(IpFiltersForm, RemoveAndDeleteTakeEverySelectedAddress) {
  type(QStringLiteral("3.3.3.3"));
  QTest::mouseClick(add_, Qt::LeftButton);
  clickRow(0);
  EXPECT_TRUE(remove_->isEnabled());
  clickRow(2, Qt::ControlModifier);
  QTest::mouseClick(remove_, Qt::LeftButton);
  EXPECT_EQ(shown(), QStringList{QStringLiteral("10.0.0.1")});
  EXPECT_FALSE(remove_->isEnabled());
  clickRow(0);
  QTest::keyClick(list_, Qt::Key_Delete);
  EXPECT_TRUE(shown().isEmpty());
  QTest::mouseClick(save_, Qt::LeftButton);
  EXPECT_TRUE(stored(reload()).isEmpty());
  EXPECT_TRUE(configBytes().contains("<IP_FILTERS method=\"Allow\"/>") ||
              configBytes().contains("<IP_FILTERS method=\"Allow\"></IP_FILTERS>"))
      << configBytes().toStdString();
}

TEST_F(IpFiltersForm, SaveWritesTheListAndTheMethodInOrder) {
  type(QStringLiteral("127.0.0.2"));
  QTest::keyClick(box_, Qt::Key_Return);
  type(QStringLiteral("10.0.0.1"));  // twice is allowed
  QTest::keyClick(box_, Qt::Key_Return);
  QTest::mouseClick(deny_, Qt::LeftButton);
  QTest::mouseClick(save_, Qt::LeftButton);
  EXPECT_TRUE(messages_.isEmpty());
  EXPECT_FALSE(save_->isEnabled());
  const orv::core::tConfiguration reloaded = reload();
  EXPECT_EQ(stored(reloaded), (QStringList{QStringLiteral("192.168.0.7"), QStringLiteral("10.0.0.1"),
                                           QStringLiteral("127.0.0.2"), QStringLiteral("10.0.0.1")}));
  EXPECT_EQ(reloaded.IpFilters.bytMethod, 1);
  saveArtifact(*form_, QStringLiteral("config-ipfilters"));

  // A click on the option already chosen is an edit too, and so is a toggle by an
  // assistive tool.
  QTest::mouseClick(deny_, Qt::LeftButton);
  EXPECT_TRUE(deny_->isChecked());
  EXPECT_TRUE(save_->isEnabled());
  QTest::mouseClick(save_, Qt::LeftButton);
  allow_->toggle();
  EXPECT_TRUE(save_->isEnabled());
}

TEST_F(IpFiltersForm, DenyWithAnEmptyListAsksBeforeSaving) {
  clickRow(0);
  clickRow(1, Qt::ControlModifier);
  QTest::keyClick(list_, Qt::Key_Delete);
  QTest::mouseClick(deny_, Qt::LeftButton);
  QTest::mouseClick(save_, Qt::LeftButton);
  ASSERT_EQ(messages_.size(), 1);
  EXPECT_TRUE(messages_[0].contains(QStringLiteral("this computer included")));
  EXPECT_EQ(icons_[0], orv::desktop::MessageIcon::Question);
  EXPECT_TRUE(save_->isEnabled());  // No: nothing saved
  EXPECT_EQ(gConfiguration.IpFilters.bytMethod, 2);
  EXPECT_EQ(reload().IpFilters.bytMethod, 2);
  EXPECT_EQ(configBytes(), QByteArray("<CONFIGURATION/>"));

  answer_ = orv::desktop::MessageAnswer::Yes;
  QTest::mouseClick(save_, Qt::LeftButton);
  EXPECT_EQ(messages_.size(), 2);
  EXPECT_FALSE(save_->isEnabled());
  const orv::core::tConfiguration reloaded = reload();
  EXPECT_EQ(reloaded.IpFilters.bytMethod, 1);
  EXPECT_TRUE(stored(reloaded).isEmpty());
}

}  // namespace
