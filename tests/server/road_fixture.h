#pragma once

#include "core/configuration.h"
#include "core/debug_log.h"
#include "core/history_store.h"
#include "core/language.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "server/request_context.h"
#include "server/share_boundary.h"

#include "support/temp_folder.h"

#include <QFile>

#include <gtest/gtest.h>

#include <stdexcept>

// A folder tree, the configuration and the language texts that the steps of the request
// road read, all made fresh for each test and put back afterwards.
class RoadFixture : public testing::Test {
 protected:
  void SetUp() override {
    orv::core::gConfiguration = {};
    orv::core::gHistoryLists = {};
    savedAppFolder_ = orv::core::gAppFolder;
    savedLanguage_ = orv::core::gLanguage;
    orv::core::gAppFolder = tmp.makeFolder(QStringLiteral("app"));
    orv::core::gConfiguration.Shared.RootShare.localPath = tmp.makeFolder(QStringLiteral("pub"));
    orv::core::gLanguage.setText(u"HTLM/OTHER/ERROR", QStringLiteral("Error"));
    orv::core::gLanguage.setText(u"HTLM/IDENTIFICATION/INFO", QStringLiteral("Members"));
    orv::core::gLanguage.setText(u"HTLM/IDENTIFICATION/TITLE", QStringLiteral("Login"));
    orv::platform::setFixedDateTime(kStart);
  }

  void TearDown() override {
    orv::core::gConfiguration = {};
    orv::core::gHistoryLists = {};
    orv::core::gAppFolder = savedAppFolder_;
    orv::core::gLanguage = savedLanguage_;
    orv::core::debugEventLog().clear();
    orv::platform::clearFixedDateTime();
    orv::platform::setBeneathOpenUnsupportedForTest(false);
    orv::server::forgetResolvedFolders();
  }

  // A symbolic link at name (under the temporary folder) that points to target.
  void link(const QString& target, const QString& name) const {
    if (!QFile::link(target, tmp.file(name))) {
      throw std::runtime_error("cannot make a symbolic link");
    }
  }

  // Adds a share of a folder at a server path under its own key, restricted to the users
  // named when any are; false when the store refuses it.
  [[nodiscard]] static bool addShare(const QString& id, const QString& serverPath, const QString& localPath,
                                     const QString& users = {}) {
    orv::core::ShareEntry share;
    share.id = id;
    share.serverPath = serverPath;
    share.localPath = localPath;
    share.restricted = !users.isEmpty();
    share.users = users;
    return orv::core::gConfiguration.Shared.add(share);
  }

  // Shows the debug window, so that the HTTP lines are written to the log.
  static void showDebugLog() {
    orv::core::gConfiguration.AppState.blnDebugFormLoaded = true;
    orv::core::gConfiguration.AdvancedParameters.HTTP_DEBUG = true;
    orv::core::debugEventLog().clear();
  }

  static bool debugLogHolds(const QString& text) {
    const orv::core::DebugEventLog& log = orv::core::debugEventLog();
    for (qsizetype row = 0; row < log.count(); ++row) {
      if (log.line(row).text.contains(text)) {
        return true;
      }
    }
    return false;
  }

  // A context as the intake leaves it, for a request of the given header lines and body
  // (each header line ended by CR LF); a POST when there is a body.
  static orv::server::RequestContext contextFor(const QString& url, const QByteArray& headerLines = {},
                                                const QByteArray& body = {}) {
    orv::server::RequestContext context;
    const QByteArray method = body.isEmpty() ? QByteArrayLiteral("GET") : QByteArrayLiteral("POST");
    const QByteArray text = method + " / HTTP/1.1\r\nHost: example\r\n" + headerLines +
                            "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    context.request.initClientRequestValues(text);
    context.url = url;
    context.clientIp = QStringLiteral("10.0.0.5");
    return context;
  }

  static const orv::core::tHistoryEvent& lastEvent() { return orv::core::gHistoryLists.events.back(); }

  inline static const QDateTime kStart{QDate(2024, 3, 1), QTime(12, 0, 0)};

  TempFolder tmp;

 private:
  QString savedAppFolder_;
  orv::core::tLanguage savedLanguage_;
};
