#include "desktop/history_actions.h"

#include "core/config_file.h"
#include "core/configuration.h"
#include "core/history_store.h"
#include "desktop/history_settings.h"

#include "support/qt_printers.h"
#include "support/temp_folder.h"

#include <QFile>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

using namespace Qt::StringLiterals;
using orv::core::gConfiguration;
using orv::core::gHistoryLists;
using orv::core::HistoryEventType;
using orv::desktop::fnctHistoryFolderToOpen;
using orv::desktop::fnctHistoryMenuLayout;
using orv::desktop::fnctHistoryPathToOpen;
using orv::desktop::fnctParseMaxHistoryEntry;
using orv::desktop::HistoryMenuDefault;

TEST(HistoryActions, MenuByEventType) {
  struct Case {
    int type;
    bool openFile;
    bool openFolder;
    HistoryMenuDefault defaultItem;
  };
  const std::vector<Case> cases = {
      {1, true, true, HistoryMenuDefault::OpenFile}, {2, true, true, HistoryMenuDefault::OpenFile},
      {3, true, true, HistoryMenuDefault::OpenFile}, {4, false, true, HistoryMenuDefault::OpenFolder},
      {5, false, false, HistoryMenuDefault::Clear},  {6, false, true, HistoryMenuDefault::OpenFolder},
      {7, false, false, HistoryMenuDefault::Clear},  {8, true, true, HistoryMenuDefault::OpenFile},
      {9, false, false, HistoryMenuDefault::Clear},  {10, false, false, HistoryMenuDefault::Clear},
      {11, false, false, HistoryMenuDefault::Clear}, {42, false, false, HistoryMenuDefault::Clear},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    const auto layout = fnctHistoryMenuLayout(static_cast<HistoryEventType>(c.type));
    EXPECT_EQ(layout.openFile, c.openFile);
    EXPECT_EQ(layout.openFolder, c.openFolder);
    EXPECT_EQ(layout.defaultItem, c.defaultItem);
  }
}

TEST(HistoryActions, WhatOpeningAnEventOpens) {
  const TempFolder folder;
  const QString file = folder.write(u"pub/a.txt"_s, "a");
  const QString sub = folder.makeFolder(u"pub/sub"_s);
  const QString pub = folder.file(u"pub"_s);
  const QString missing = folder.file(u"pub/gone.txt"_s);
  struct Case {
    int type;
    QString text;
    QString opened;  // by Open file and a double click
    QString folder;  // by Open folder
  };
  const std::vector<Case> cases = {
      {1, file, file, pub},
      {3, file, file, pub},
      {2, missing, QString(), pub},  // the file is gone; its folder is still there
      {4, sub, sub, sub},            // a folder event opens that folder, not its parent
      {6, sub + u"/"_s, sub + u"/"_s, sub + u"/"_s},
      {4, folder.file(u"pub/gone"_s), QString(), QString()},
      {8, sub, sub, sub},  // a refused folder
      {8, file, file, pub},
      {5, u"/pub/"_s, QString(), QString()},  // a virtual folder names a URL path: nothing to open
      {7, file, QString(), QString()},
      {9, QString(), QString(), QString()},
      {10, u"240"_s, QString(), QString()},
      {11, QString(), QString(), QString()},
      {1, QString(), QString(), QString()},
      {1, u"a.txt"_s, QString(), QString()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE((QString::number(c.type) + u' ' + c.text).toStdString());
    const auto type = static_cast<HistoryEventType>(c.type);
    EXPECT_EQ(fnctHistoryPathToOpen(type, c.text), c.opened);
    EXPECT_EQ(fnctHistoryFolderToOpen(type, c.text), c.folder);
  }
}

TEST(HistorySettings, TypedLimits) {
  struct Case {
    QString text;
    std::optional<int> value;
  };
  const std::vector<Case> cases = {
      {u"0"_s, std::nullopt},
      {u"-1"_s, -1},
      {u"-2"_s, std::nullopt},
      {u"65537"_s, std::nullopt},
      {u"abc"_s, std::nullopt},
      {u" 5"_s, 5},
      {u"5 "_s, 5},
      {u"1"_s, 1},
      {u"65536"_s, 65536},
      {u""_s, std::nullopt},
      {u"1.5"_s, std::nullopt},
      {u"5x"_s, std::nullopt},
      {u"99999999999"_s, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(fnctParseMaxHistoryEntry(c.text), c.value) << c.text.toStdString();
  }
}

class HistorySettingsSave : public ::testing::Test {
 protected:
  void SetUp() override {
    gConfiguration = {};
    gHistoryLists = {};
    gConfiguration.History.MAX_ENTRY = -1;
    for (int i = 1; i <= 50; ++i) {
      orv::core::subAddEntryInHistory(HistoryEventType::NOT_FOUND, u"10.0.0.1"_s, u"e%1"_s.arg(i));
    }
    gConfiguration.History.MAX_ENTRY = 150;
    gConfiguration.AppState.blnHistoryModified = false;
  }
  void TearDown() override {
    gConfiguration = {};
    gHistoryLists = {};
  }
  TempFolder folder_;
};

TEST_F(HistorySettingsSave, LoweringTheLimitKeepsTheNewestAndWritesTheSettings) {
  const QString config = folder_.file(u"config.xml"_s);
  ASSERT_TRUE(orv::desktop::subSaveHistoryParam(false, 10, config).ok);
  EXPECT_EQ(gConfiguration.History.MAX_ENTRY, 10);
  EXPECT_FALSE(gConfiguration.History.KEEP_HISTORY);
  ASSERT_EQ(gHistoryLists.count(), 10);
  EXPECT_EQ(gHistoryLists.events.front().text, u"e41"_s);
  EXPECT_EQ(gHistoryLists.events.back().text, u"e50"_s);
  EXPECT_TRUE(gConfiguration.AppState.blnHistoryModified);
  EXPECT_FALSE(gConfiguration.AppState.blnConfigModified);
  const orv::core::tConfiguration saved = orv::core::fnctLoadConfiguration(config);
  EXPECT_EQ(saved.History.MAX_ENTRY, 10);
  EXPECT_FALSE(saved.History.KEEP_HISTORY);
}

TEST_F(HistorySettingsSave, RaisingOrKeepingTheLimitChangesNoEvent) {
  for (const int limit : {150, 65536, -1}) {
    SCOPED_TRACE(limit);
    ASSERT_TRUE(orv::desktop::subSaveHistoryParam(true, limit, folder_.file(u"config.xml"_s)).ok);
    EXPECT_EQ(gHistoryLists.count(), 50);
    EXPECT_FALSE(gConfiguration.AppState.blnHistoryModified);
  }
}

TEST_F(HistorySettingsSave, AFailedWriteKeepsTheSettingsAndTheConfigurationModified) {
  const QString config = folder_.makeFolder(u"config.xml"_s);  // nothing can be renamed over a folder
  const orv::platform::WriteResult result = orv::desktop::subSaveHistoryParam(true, 20, config);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(gConfiguration.History.MAX_ENTRY, 20);
  EXPECT_TRUE(gConfiguration.AppState.blnConfigModified);
  EXPECT_TRUE(orv::desktop::fnctHistorySettingsFailureText(result).contains(result.error));
}

}  // namespace
