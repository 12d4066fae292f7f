// The config.xml that scripts/run writes on a first run reads back as intended.

#include "core/config_file.h"
#include "core/configuration.h"

#include "support/qt_printers.h"
#include "support/temp_folder.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

using namespace Qt::StringLiterals;
using orv::core::tConfiguration;

TEST(DefaultConfig, SharesTheFolderOnItsPortAndStartsTheServer) {
  TempFolder app;
  app.makeFolder(u"lang"_s);
  ASSERT_TRUE(QFile::copy(QStringLiteral(ORV_SOURCE_DIR "/lang/english.xml"), app.file(u"lang/english.xml"_s)));
  const QString shared = app.makeFolder(u"a & <b> \"c\""_s);  // what XML reserves, in the path
  const QString config = app.file(u"config.xml"_s);

  QProcess script;
  script.start(QStringLiteral(ORV_SOURCE_DIR "/scripts/default-config"), {config, shared, u"8080"_s});
  ASSERT_TRUE(script.waitForFinished(30000));
  ASSERT_EQ(script.exitCode(), 0) << script.readAllStandardError().constData();
  EXPECT_EQ(QFile::permissions(config) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());

  orv::core::gAppFolder = app.path();
  const tConfiguration loaded = orv::core::fnctLoadConfiguration(config);
  orv::core::gAppFolder.clear();
  EXPECT_EQ(loaded.Protocol.LOCAL_PORT, u"8080"_s);
  EXPECT_TRUE(loaded.Other.START_SERVER_ON_LOAD);
  EXPECT_FALSE(loaded.Other.START_IN_TRAY);
  EXPECT_EQ(loaded.Shared.RootShare.localPath, shared);
  EXPECT_FALSE(loaded.Shared.RootShare.restricted);
  EXPECT_TRUE(loaded.Shared.RootShare.sharePhysicalFolder);
  EXPECT_TRUE(loaded.Shared.RootShare.shareImage);
  EXPECT_EQ(loaded.Shared.count(), 0);
  EXPECT_EQ(loaded.Language.FILENAME, u"english.xml"_s);
  EXPECT_TRUE(loaded.History.KEEP_HISTORY);
  EXPECT_EQ(loaded.History.MAX_ENTRY, 150);

  // The built-in lists, as the program itself would write them.
  const tConfiguration defaults;
  EXPECT_EQ(loaded.ShellExtension.SOUND, defaults.ShellExtension.SOUND);
  EXPECT_EQ(loaded.ShellExtension.IMAGE, defaults.ShellExtension.IMAGE);
  EXPECT_EQ(loaded.ShellExtension.VIDEO, defaults.ShellExtension.VIDEO);
  EXPECT_EQ(loaded.AppsNameManagement.AUDIO_PLAYERS_KEYWORDS, defaults.AppsNameManagement.AUDIO_PLAYERS_KEYWORDS);
}

}  // namespace
