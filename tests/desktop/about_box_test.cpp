#include "desktop/frm_about.h"

#include "core/configuration.h"
#include "core/language.h"
#include "desktop/about_box.h"
#include "desktop/desktop_utils.h"
#include "desktop/frm_main.h"
#include "desktop/message_box.h"

#include "support/event_loop.h"
#include "support/qt_printers.h"
#include "support/temp_folder.h"
#include "ui_artifact.h"

#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace Qt::StringLiterals;
using orv::core::gConfiguration;
using orv::core::gLanguage;
using orv::desktop::frmAbout;

QByteArray readFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// An application folder with the English file and a second, incomplete one, its help file,
// and every shell-open and message box recorded.
class AboutBox : public ::testing::Test {
 protected:
  void SetUp() override {
    gConfiguration = {};
    const QByteArray english = readFile(QStringLiteral(ORV_SOURCE_DIR "/lang/english.xml"));
    ASSERT_FALSE(english.isEmpty());
    folder.write(u"lang/english.xml"_s, english);
    folder.write(u"lang/testish.xml"_s,
                 QByteArray(english)
                     .replace("<LANGUAGE>English</LANGUAGE>", "<LANGUAGE>Testish</LANGUAGE>")
                     .replace("<ABBREVIATION>en</ABBREVIATION>", "<ABBREVIATION>tt</ABBREVIATION>")
                     .replace("<FILE_VERSION>1.0</FILE_VERSION>", "<FILE_VERSION>2.5</FILE_VERSION>")
                     .replace("<AUTHOR>Orvendale developers</AUTHOR>", "<AUTHOR>Tess Translator</AUTHOR>")
                     .replace("<EMAIL>translations@orvendale.example</EMAIL>", "<EMAIL>tess@testish.example</EMAIL>")
                     .replace("<COMPLETE>true</COMPLETE>", "<COMPLETE>false</COMPLETE>")
                     .replace("<VERSION>Version:</VERSION>", "<VERSION>Fersion:</VERSION>")
                     .replace("<TRANSLATION>Translation</TRANSLATION>", "<TRANSLATION>Tronslation</TRANSLATION>"));
    folder.write(u"help/english.html"_s, "<html></html>");
    folder.write(u"resources/favicon.ico"_s, readFile(QStringLiteral(ORV_SOURCE_DIR "/resources/favicon.ico")));
    orv::core::gAppFolder = folder.path();
    orv::core::gLanguagesList = orv::core::fnctGetLanguagesList(folder.file(u"lang/"_s));
    useLanguage(u"english.xml"_s);
    orv::desktop::setShellOpener([this](const QUrl& url) { opened.push_back(url); });
    orv::desktop::setMessageBoxAnswerer([this](const orv::desktop::MessageBoxRequest& request) {
      boxes.push_back(request.text);
      return orv::desktop::MessageAnswer::Ok;
    });
  }

  void TearDown() override {
    orv::desktop::closeAboutForm();
    processPendingEvents();
    orv::desktop::setShellOpener({});
    orv::desktop::setMessageBoxAnswerer({});
    gConfiguration = {};
    gLanguage = {};
    orv::core::gLanguagesList = {};
    orv::core::gAppFolder.clear();
  }

  void useLanguage(const QString& fileName) const {
    gConfiguration.Language.FILENAME = fileName;
    gLanguage = orv::core::fnctLoadLanguage(folder.file(u"lang/"_s + fileName));
    ASSERT_TRUE(gLanguage.blnLoaded);
  }

  frmAbout* show() {
    frmAbout* box = orv::desktop::showAboutForm(&owner);
    EXPECT_TRUE(QTest::qWaitForWindowActive(box));
    return box;
  }

  static QString text(const frmAbout* box, const char* name) {
    const auto* label = box->findChild<QLabel*>(QLatin1String(name));
    return label == nullptr ? u"<missing %1>"_s.arg(QLatin1String(name)) : label->text();
  }

  static QString about(const char16_t* key) { return gLanguage.text(u"ABOUT/LABELS/"_s + QString::fromUtf16(key)); }

  // Closed boxes are destroyed when the loop runs.
  static bool boxGone(const QPointer<frmAbout>& box) {
    processPendingEvents();
    return box.isNull() && orv::desktop::aboutForm() == nullptr && !gConfiguration.AppState.blnAboutFromTray;
  }

  TempFolder folder;
  QWidget owner;
  std::vector<QUrl> opened;
  QStringList boxes;
};

TEST_F(AboutBox, ShowsTheLanguageTextsTheVersionsAndTheFileDetails) {
  const frmAbout* box = show();
  EXPECT_TRUE(gConfiguration.AppState.blnAboutFromTray);
  EXPECT_EQ(text(box, "labAppTitle"), u"Orvendale (personal web server)"_s);
  EXPECT_EQ(text(box, "labAppVersion_Label"), about(u"VERSION"));
  EXPECT_EQ(text(box, "labAppVersion_Value"), u"1.02 Public (beta), build Nov 02 2006 03:00 AM"_s);
  EXPECT_EQ(text(box, "labAppCreator_Label"), about(u"CREATOR"));
  EXPECT_EQ(text(box, "labAppCreator_Value"), u"The Orvendale developers <developers@orvendale.example>"_s);
  EXPECT_EQ(text(box, "labLangFileTitle"), about(u"TRANSLATION") + u" (English)"_s);
  EXPECT_EQ(text(box, "labLangFileVersion_Label"), about(u"VERSION"));
  EXPECT_EQ(text(box, "labLangFileVersion_Value"), u"1.0"_s);
  EXPECT_EQ(text(box, "labLangFileCreator_Label"), about(u"CREATOR"));
  EXPECT_EQ(text(box, "labLangFileCreator_Value"), u"Orvendale developers <translations@orvendale.example>"_s);
  EXPECT_EQ(text(box, "labWebSiteTitle"), about(u"WEB_SITE"));
  EXPECT_EQ(text(box, "labNewVersionChecker"), about(u"NEW_VERSION"));
  EXPECT_EQ(text(box, "labReportBugs"), about(u"REPORT_BUGS"));
  EXPECT_EQ(text(box, "labConsultWebSite"), about(u"CONSULT_WEB_SITE"));
  EXPECT_EQ(text(box, "labHelp"), about(u"APP_HELP"));
  EXPECT_EQ(text(box, "labInfosTitle"), about(u"INFORMATIONS"));
  EXPECT_EQ(text(box, "labXHTML10ValidTxt"), about(u"W3C_VALID"));
  EXPECT_FALSE(about(u"W3C_VALID").isEmpty());
  EXPECT_TRUE(box->windowFlags().testFlag(Qt::FramelessWindowHint));
  EXPECT_TRUE(saveUiArtifact(*orv::desktop::aboutForm(), u"about"_s));
}

TEST_F(AboutBox, AnIncompleteFileSaysSoInItsTitle) {
  useLanguage(u"testish.xml"_s);
  const frmAbout* box = show();
  EXPECT_EQ(text(box, "labLangFileTitle"), u"Tronslation (Testish, incomplete)"_s);
}

// After a language change the box shows the new file's details, not only its new texts.
TEST_F(AboutBox, ALanguageChangeRewritesTheTextsAndTheFileDetails) {
  orv::desktop::RefreshAboutFormLang();  // no box open: nothing to do
  const frmAbout* box = show();
  useLanguage(u"testish.xml"_s);
  orv::desktop::RefreshAboutFormLang();
  EXPECT_EQ(text(box, "labLangFileTitle"), u"Tronslation (Testish, incomplete)"_s);
  EXPECT_EQ(text(box, "labAppVersion_Label"), u"Fersion:"_s);
  EXPECT_EQ(text(box, "labLangFileVersion_Label"), u"Fersion:"_s);
  EXPECT_EQ(text(box, "labLangFileVersion_Value"), u"2.5"_s);
  EXPECT_EQ(text(box, "labLangFileCreator_Value"), u"Tess Translator <tess@testish.example>"_s);
  EXPECT_EQ(text(box, "labAppVersion_Value"), u"1.02 Public (beta), build Nov 02 2006 03:00 AM"_s);

  QTest::mouseClick(box->findChild<QLabel*>(u"labNewVersionChecker"_s), Qt::LeftButton);
  ASSERT_EQ(opened.size(), 1U);
  EXPECT_EQ(opened[0].toString(), u"https://www.orvendale.example/update.php?lang=tt&version=102"_s);
}

TEST_F(AboutBox, LinksOpenThroughTheShell) {
  const frmAbout* box = show();
  struct Case {
    const char* control;
    QUrl url;
  };
  const std::vector<Case> cases = {
      {"labNewVersionChecker", QUrl(u"https://www.orvendale.example/update.php?lang=en&version=102"_s)},
      {"labReportBugs", QUrl(u"https://www.orvendale.example/contact.php?lang=en&version=102"_s)},
      {"labConsultWebSite", QUrl(u"https://www.orvendale.example/?lang=en"_s)},
      {"labHelp", QUrl::fromLocalFile(folder.file(u"help/english.html"_s))},
      {"labAppCreator_Value", QUrl(u"mailto:developers@orvendale.example"_s)},
      {"labLangFileCreator_Value", QUrl(u"mailto:translations@orvendale.example"_s)},
      {"picXHTML10Valid", QUrl(u"https://www.w3.org/"_s)},
      {"picCSSValid", QUrl(u"https://www.w3.org/"_s)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.control);
    opened.clear();
    auto* link = box->findChild<QLabel*>(QLatin1String(c.control));
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 0xFF));
    QTest::mouseClick(link, Qt::LeftButton);
    ASSERT_EQ(opened.size(), 1U);
    EXPECT_EQ(opened[0], c.url);
    // The keyboard reaches every link.
    opened.clear();
    link->setFocus();
    QTest::keyClick(link, Qt::Key_Return);
    ASSERT_EQ(opened.size(), 1U);
    EXPECT_EQ(opened[0], c.url);
  }
  EXPECT_TRUE(boxes.isEmpty());

  // The credits: five links, each opened as it is written.
  auto* thanks = box->findChild<QLabel*>(u"labThanks"_s);
  ASSERT_NE(thanks, nullptr);
  QStringList addresses;
  const QRegularExpression href(u"href=\"([^\"]+)\""_s);
  for (auto match = href.globalMatch(thanks->text()); match.hasNext();) {
    addresses << match.next().captured(1);
  }
  ASSERT_EQ(addresses.size(), 5);
  opened.clear();
  for (const QString& address : addresses) {
    Q_EMIT thanks->linkActivated(address);
  }
  ASSERT_EQ(opened.size(), 5U);
  EXPECT_EQ(opened[0], QUrl(addresses[0]));
  EXPECT_TRUE(box->isVisible()) << "no link closes the box";
}

TEST_F(AboutBox, AMissingHelpFileIsSaid) {
  QFile::remove(folder.file(u"help/english.html"_s));
  const frmAbout* box = show();
  QTest::mouseClick(box->findChild<QLabel*>(u"labHelp"_s), Qt::LeftButton);
  EXPECT_TRUE(opened.empty());
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_TRUE(boxes[0].endsWith(u" ("_s + folder.file(u"help/english.html"_s) + u')'));
}

TEST_F(AboutBox, EscapeClosesItOnlyWhenItHasTheFocus) {
  QPointer<frmAbout> box = show();
  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  QTest::keyClick(&other, Qt::Key_Escape);
  processPendingEvents();
  ASSERT_FALSE(box.isNull());
  EXPECT_TRUE(box->isVisible());

  EXPECT_EQ(orv::desktop::showAboutForm(&owner), box.data()) << "a second command only brings it forward";
  ASSERT_TRUE(QTest::qWaitForWindowActive(box));
  QTest::keyClick(box->findChild<QLabel*>(u"labHelp"_s), Qt::Key_Escape);  // a link of the box has the focus
  EXPECT_TRUE(boxGone(box));
}

TEST_F(AboutBox, ClicksOnTheBackgroundOrTheLogoCloseIt) {
  QPointer<frmAbout> box = show();
  QTest::mouseClick(box->findChild<QLabel*>(u"labAppVersion_Value"_s), Qt::LeftButton);
  QTest::mouseClick(box.data(), Qt::RightButton, Qt::NoModifier, QPoint(4, 4));
  processPendingEvents();
  ASSERT_FALSE(box.isNull()) << "a text or another button closes nothing";
  QTest::mouseClick(box.data(), Qt::LeftButton, Qt::NoModifier, QPoint(4, 4));
  EXPECT_TRUE(boxGone(box));

  box = show();
  QTest::mouseClick(box->findChild<QLabel*>(u"picAppLogo"_s), Qt::LeftButton);
  EXPECT_TRUE(boxGone(box));

  box = show();
  orv::desktop::closeAboutForm();  // the tray's double click
  EXPECT_TRUE(boxGone(box));
}

TEST_F(AboutBox, TheMainWindowShowsIt) {
  gLanguage = {};
  useLanguage(u"english.xml"_s);
  orv::desktop::frmMain window(folder.path(), QString());
  window.showAboutForm();
  QPointer<frmAbout> box = orv::desktop::aboutForm();
  ASSERT_FALSE(box.isNull());
  EXPECT_EQ(box->parentWidget(), &window);
  EXPECT_TRUE(box->isVisible());
  box->close();
  EXPECT_TRUE(boxGone(box));
}

}  // namespace
