// The small services every window shares, each answered through its seam.

#include "desktop/desktop_utils.h"
#include "core/configuration.h"
#include "core/language.h"
#include "desktop/message_box.h"
#include "support/qt_printers.h"
#include "support/temp_folder.h"

#include <QFile>
#include <QListWidget>
#include <QTableWidget>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace Qt::StringLiterals;
using orv::core::gAppFolder;
using orv::core::gConfiguration;
using orv::core::gLanguage;
using orv::desktop::FilePickerRequest;
using orv::desktop::FolderPickerRequest;
using orv::desktop::MessageBoxRequest;

class DesktopUtils : public ::testing::Test {
 protected:
  void SetUp() override {
    orv::desktop::setShellOpener([this](const QUrl& url) { opened_.push_back(url); });
    orv::desktop::setMessageBoxAnswerer([this](const MessageBoxRequest& request) {
      boxes_.push_back(request);
      return orv::desktop::MessageAnswer::Ok;
    });
    savedAppFolder_ = gAppFolder;
    gAppFolder = folder_.path();
  }
  void TearDown() override {
    orv::desktop::setShellOpener({});
    orv::desktop::setMessageBoxAnswerer({});
    orv::desktop::setFolderPicker({});
    orv::desktop::setFilePicker({});
    gAppFolder = savedAppFolder_;
  }

  // The application folder with the English language as the configured one.
  void installEnglish() {
    folder_.makeFolder(u"lang"_s);
    QFile::copy(QStringLiteral(ORV_SOURCE_DIR "/lang/english.xml"), folder_.file(u"lang/english.xml"_s));
    orv::core::gLanguagesList = orv::core::fnctGetLanguagesList(folder_.file(u"lang/"_s));
    gConfiguration.Language.FILENAME = u"english.xml"_s;
    gLanguage = orv::core::fnctLoadLanguage(folder_.file(u"lang/english.xml"_s));
    ASSERT_TRUE(gLanguage.blnLoaded);
  }

  TempFolder folder_;
  QString savedAppFolder_;
  std::vector<QUrl> opened_;
  std::vector<MessageBoxRequest> boxes_;
};

TEST_F(DesktopUtils, ShellOpenHandsFilesFoldersAndAddressesToTheDesktop) {
  struct Case {
    QString text;
    QUrl url;
  };
  const std::vector<Case> cases = {
      {u"/srv/music/a b#1.mp3"_s, QUrl::fromLocalFile(u"/srv/music/a b#1.mp3"_s)},
      {u"/srv/music/"_s, QUrl::fromLocalFile(u"/srv/music/"_s)},
      {u"http://127.0.0.1:8080/"_s, QUrl(u"http://127.0.0.1:8080/"_s)},
      {u"https://example.org/update.php?lang=en&version=1.02"_s,
       QUrl(u"https://example.org/update.php?lang=en&version=1.02"_s)},
      {u"mailto:someone@example.org"_s, QUrl(u"mailto:someone@example.org"_s)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.toStdString());
    opened_.clear();
    orv::desktop::subShellOpen(c.text);
    ASSERT_EQ(opened_.size(), 1U);
    EXPECT_EQ(opened_[0], c.url);
    EXPECT_EQ(orv::desktop::shellOpenUrl(c.text), c.url);
  }
  EXPECT_TRUE(orv::desktop::shellOpenUrl(u"/a b#1.mp3"_s).isLocalFile());
  EXPECT_EQ(orv::desktop::shellOpenUrl(u"/a b#1.mp3"_s).toLocalFile(), u"/a b#1.mp3"_s);
}

TEST_F(DesktopUtils, TheFolderPickerIsAskedWithItsTitleAndACancelGivesNothing) {
  std::vector<QString> titles;
  QString answer = u"/home/someone/Music"_s;
  orv::desktop::setFolderPicker([&](const FolderPickerRequest& request) {
    titles.push_back(request.title);
    return answer;
  });
  EXPECT_EQ(orv::desktop::fnctBrowseForFolder(u"Select a folder"_s), u"/home/someone/Music"_s);
  answer.clear();
  EXPECT_EQ(orv::desktop::fnctBrowseForFolder(u"Again"_s), QString());
  EXPECT_EQ(titles, (std::vector<QString>{u"Select a folder"_s, u"Again"_s}));
}

TEST_F(DesktopUtils, TheFilePickerStartsInTheApplicationFolderAndTrimsTheChoice) {
  std::vector<FilePickerRequest> requests;
  QString answer = u"  /srv/icons/me.png  "_s;
  orv::desktop::setFilePicker([&](const FilePickerRequest& request) {
    requests.push_back(request);
    return answer;
  });
  QString initial;
  EXPECT_EQ(orv::desktop::fnctOpenFileDialog(nullptr, u"Icon"_s, u"Image 48x48"_s, u"*.bmp;*.png;"_s, initial),
            u"/srv/icons/me.png"_s);
  EXPECT_EQ(initial, folder_.path()) << "the folder used is written back";
  ASSERT_EQ(requests.size(), 1U);
  EXPECT_EQ(requests[0].title, u"Icon"_s);
  EXPECT_EQ(requests[0].filterName, u"Image 48x48"_s);
  EXPECT_EQ(requests[0].filterPattern, u"*.bmp;*.png;"_s);
  EXPECT_EQ(requests[0].initialFolder, folder_.path());

  QString resources = folder_.file(u"resources"_s);
  answer.clear();
  EXPECT_EQ(orv::desktop::fnctOpenFileDialog(nullptr, u"Icon"_s, QString(), u"*.ico;"_s, resources), QString());
  EXPECT_EQ(requests.back().initialFolder, folder_.file(u"resources"_s));
  EXPECT_EQ(resources, folder_.file(u"resources"_s)) << "a folder given is kept";
}

TEST_F(DesktopUtils, TheDialogFilterIsShownOnlyWithANameAndAPattern) {
  struct Case {
    QString name;
    QString pattern;
    QString filter;
  };
  const std::vector<Case> cases = {
      {u"Image 48x48"_s, u"*.bmp;*.jpg;*.jpeg;*.png;"_s, u"Image 48x48 (*.bmp *.jpg *.jpeg *.png)"_s},
      {u"Icon 16x16"_s, u"*.ico;"_s, u"Icon 16x16 (*.ico)"_s},
      {QString(), u"*.ico;"_s, QString()},
      {u"Icon 16x16"_s, QString(), QString()},
      {u"Icon 16x16"_s, u";;"_s, QString()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name.toStdString() + " / " + c.pattern.toStdString());
    EXPECT_EQ(orv::desktop::fileDialogFilter(c.name, c.pattern), c.filter);
  }
}

TEST_F(DesktopUtils, TheHelpFileOfTheLanguageIsOpenedOrSaidToBeMissing) {
  installEnglish();
  const QString path = folder_.file(u"help/english.html"_s);
  orv::desktop::subOpenHelpFile();
  EXPECT_TRUE(opened_.empty());
  ASSERT_EQ(boxes_.size(), 1U);
  EXPECT_EQ(boxes_[0].text, u"The help file cannot be found ("_s + path + u')');
  EXPECT_EQ(boxes_[0].icon, orv::desktop::MessageIcon::Critical);
  EXPECT_EQ(boxes_[0].buttons, orv::desktop::MessageButtons::Ok);

  folder_.write(u"help/english.html"_s, "<html></html>");
  orv::desktop::subOpenHelpFile();
  EXPECT_EQ(boxes_.size(), 1U);
  ASSERT_EQ(opened_.size(), 1U);
  EXPECT_EQ(opened_[0], QUrl::fromLocalFile(path));

  // A folder of that name is no help file.
  opened_.clear();
  QFile::remove(path);
  folder_.makeFolder(u"help/english.html"_s);
  orv::desktop::subOpenHelpFile();
  EXPECT_TRUE(opened_.empty());
  EXPECT_EQ(boxes_.size(), 2U);
}

TEST_F(DesktopUtils, SelectedItemsAreCountedOncePerItemWhateverTheSelectionKind) {
  QListWidget list;
  list.setSelectionMode(QAbstractItemView::ExtendedSelection);
  for (int i = 0; i < 5; ++i) {
    list.addItem(QString::number(i));
  }
  EXPECT_EQ(orv::desktop::isListViewItemSelected(list), 0);
  list.item(0)->setSelected(true);
  list.item(2)->setSelected(true);
  list.item(4)->setSelected(true);
  EXPECT_EQ(orv::desktop::isListViewItemSelected(list), 3);

  // A report view: a row counts once, however many of its cells are selected.
  QTreeWidget tree;
  tree.setColumnCount(3);
  tree.setSelectionMode(QAbstractItemView::ExtendedSelection);
  for (int i = 0; i < 4; ++i) {
    tree.addTopLevelItem(new QTreeWidgetItem(QStringList{u"a"_s, u"b"_s, u"c"_s}));
  }
  tree.topLevelItem(1)->setSelected(true);
  tree.topLevelItem(3)->setSelected(true);
  EXPECT_EQ(orv::desktop::isListViewItemSelected(tree), 2);

  // A grid whose cells are selected one by one: a single cell selects its row's item.
  QTableWidget table(4, 3);
  table.setSelectionBehavior(QAbstractItemView::SelectItems);
  table.setSelectionMode(QAbstractItemView::MultiSelection);
  table.selectionModel()->select(table.model()->index(0, 1), QItemSelectionModel::Select);
  table.selectionModel()->select(table.model()->index(2, 0), QItemSelectionModel::Select);
  table.selectionModel()->select(table.model()->index(2, 2), QItemSelectionModel::Select);
  EXPECT_EQ(orv::desktop::isListViewItemSelected(table), 2);

  const QListView empty;
  EXPECT_EQ(orv::desktop::isListViewItemSelected(empty), 0);
}

TEST_F(DesktopUtils, ForegroundAndCharsetCallsAreSafeWithAnyWindow) {
  orv::desktop::subSetForegroundWindow(nullptr);
  QWidget window;
  window.show();
  orv::desktop::subSetForegroundWindow(&window);
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(orv::desktop::getSystemCharset(), 0);
  const QFont before = window.font();
  orv::desktop::subApplyFontCharset(&window);
  EXPECT_EQ(window.font(), before);
}

}  // namespace
