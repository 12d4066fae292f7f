#pragma once

#include "core/config_file.h"
#include "core/configuration.h"
#include "core/history_store.h"
#include "core/language.h"
#include "core/uploaded_store.h"
#include "desktop/message_box.h"

#include "support/qt_printers.h"
#include "support/temp_folder.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <vector>

// A run of the share editor of its own: an application folder with the English texts, a
// folder for the shared folders, fresh global stores, and every message box answered and
// recorded.
class SharesFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    resetGlobals();
    orv::core::gAppFolder = app_.path();
    app_.write(QStringLiteral("lang/english.xml"), readFile(QStringLiteral(ORV_SOURCE_DIR "/lang/english.xml")));
    orv::core::gLanguage = orv::core::fnctLoadLanguage(app_.file(QStringLiteral("lang/english.xml")));
    ASSERT_TRUE(orv::core::gLanguage.blnLoaded);
    orv::core::gConfiguration.Shared.RootShare.localPath = app_.makeFolder(QStringLiteral("root"));
    orv::desktop::setMessageBoxAnswerer([this](const orv::desktop::MessageBoxRequest& request) {
      boxes_.push_back(request);
      return answer_;
    });
  }

  void TearDown() override {
    orv::desktop::setMessageBoxAnswerer({});
    resetGlobals();
  }

  static void resetGlobals() {
    orv::core::gConfiguration = {};
    orv::core::gAppFolder.clear();
    orv::core::gLanguage = {};
    orv::core::gLanguagesList = {};
    orv::core::gHistoryLists = {};
    orv::core::gUploadedLists = {};
  }

  static QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  static QString text(QStringView name) { return orv::core::gLanguage.text(name); }

  // A folder to share, made under the folder of shared folders.
  QString folder(const QString& name) const { return shared_.makeFolder(name); }

  // The store as config.xml would hold it: two equal texts mean an unchanged store.
  static QByteArray storeBytes() { return orv::core::fnctBuildConfigurationBytes(orv::core::gConfiguration); }

  // The share store of config.xml written now and read back as the next start reads it.
  orv::core::tShares savedAndReloadedShares() const {
    const QString path = app_.file(QStringLiteral("config.xml"));
    EXPECT_TRUE(orv::core::subSaveConfiguration(path).ok);
    return orv::core::fnctLoadConfiguration(path).Shared;
  }

  // Adds a share as the loader would: key, server path as stored, local path.
  static void addStoredShare(const QString& key, const QString& serverPath, const QString& localPath) {
    orv::core::ShareEntry entry;
    entry.id = key;
    entry.serverPath = serverPath;
    entry.localPath = localPath;
    entry.sharePhysicalFolder = entry.shareVirtualFolder = entry.shareOther = entry.shareSound = entry.shareImage =
        entry.shareVideo = true;
    orv::core::gConfiguration.Shared.add(entry);
  }

  QStringList boxTexts() const {
    QStringList texts;
    for (const orv::desktop::MessageBoxRequest& box : boxes_) {
      texts << box.text;
    }
    return texts;
  }

  TempFolder app_;
  TempFolder shared_;
  std::vector<orv::desktop::MessageBoxRequest> boxes_;
  orv::desktop::MessageAnswer answer_ = orv::desktop::MessageAnswer::Yes;
};
