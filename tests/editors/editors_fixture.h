#pragma once

// What every test of the editors starts from: an application folder of its own with a
// resources folder, the English texts, a fresh configuration record, and message boxes and
// pickers answered by the test (a question with answer_, any other box with OK).

#include "core/config_file.h"
#include "core/configuration.h"
#include "core/language.h"
#include "desktop/desktop_utils.h"
#include "desktop/message_box.h"
#include "support/qt_printers.h"
#include "support/temp_folder.h"
#include "support/ui_artifacts.h"

#include <QDir>
#include <QFile>
#include <QWidget>

#include <gtest/gtest.h>

class EditorsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    orv::core::gConfiguration = orv::core::tConfiguration();
    orv::core::gAppFolder = app_.path();
    app_.write(QStringLiteral("resources/face.png"), "png");
    app_.write(QStringLiteral("resources/tab.ico"), "ico");
    app_.write(QStringLiteral("resources/sub/deep.png"), "png");
    app_.write(QStringLiteral("config.xml"), "<CONFIGURATION/>");
    orv::core::gLanguage = orv::core::fnctLoadLanguage(QStringLiteral(ORV_SOURCE_DIR "/lang/english.xml"));
    ASSERT_TRUE(orv::core::gLanguage.blnLoaded);
    orv::desktop::setMessageBoxAnswerer([this](const orv::desktop::MessageBoxRequest& request) {
      messages_.append(request.text);
      icons_.append(request.icon);
      return request.buttons == orv::desktop::MessageButtons::YesNo ? answer_ : orv::desktop::MessageAnswer::Ok;
    });
    orv::desktop::setFilePicker([this](const orv::desktop::FilePickerRequest& request) {
      pickerRequests_.append(request);
      return pickedFile_;
    });
  }

  void TearDown() override {
    orv::desktop::setMessageBoxAnswerer({});
    orv::desktop::setFilePicker({});
    orv::core::gLanguage = {};
    orv::core::gConfiguration = orv::core::tConfiguration();
    orv::core::gAppFolder.clear();
  }

  QString configPath() const { return app_.file(QStringLiteral("config.xml")); }
  QString resources() const { return app_.file(QStringLiteral("resources")); }
  orv::core::tConfiguration reload() const { return orv::core::fnctLoadConfiguration(configPath()); }
  QByteArray configBytes() const {
    QFile file(configPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  static QString text(const char16_t* name) { return orv::core::gLanguage.text(name); }

  // The English language file of the sources, and a copy of it that names another version
  // and language.
  static QByteArray englishFile() {
    QFile file(QStringLiteral(ORV_SOURCE_DIR "/lang/english.xml"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
  }
  static QByteArray languageFile(const QByteArray& version, const QByteArray& language) {
    QByteArray text = englishFile();
    text.replace("<MAX_APP_VERSION_COMPATIBLILITY>1.02</MAX_APP_VERSION_COMPATIBLILITY>",
                 "<MAX_APP_VERSION_COMPATIBLILITY>" + version + "</MAX_APP_VERSION_COMPATIBLILITY>");
    text.replace("<LANGUAGE>English</LANGUAGE>", "<LANGUAGE>" + language + "</LANGUAGE>");
    return text;
  }

  static void saveArtifact(QWidget& widget, const QString& name) { EXPECT_TRUE(saveUiArtifact(widget, name)); }

  TempFolder app_;
  QStringList messages_;
  QList<orv::desktop::MessageIcon> icons_;
  orv::desktop::MessageAnswer answer_ = orv::desktop::MessageAnswer::Ok;
  QList<orv::desktop::FilePickerRequest> pickerRequests_;
  QString pickedFile_;
};
