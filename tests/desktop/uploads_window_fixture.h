#pragma once

#include "core/configuration.h"
#include "core/language.h"
#include "core/uploaded_store.h"
#include "desktop/desktop_utils.h"
#include "desktop/frm_uploads.h"
#include "desktop/message_box.h"
#include "desktop/uploads_models.h"
#include "server/server_engine.h"

#include "support/event_loop.h"
#include "support/qt_printers.h"
#include "support/temp_folder.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QTreeView>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace uploadstest {

using orv::core::gConfiguration;
using orv::core::gUploadedLists;
using orv::desktop::frmUploads;

// The uploads window over a server engine of its own, with the English texts; every box
// and every shell-open is recorded, and the store of sent files starts empty.
class UploadsWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gConfiguration = {};
    gConfiguration.Protocol.LOCAL_PORT = QStringLiteral("0");
    gUploadedLists = {};
    orv::core::gLanguage = orv::core::fnctLoadLanguage(QStringLiteral(ORV_SOURCE_DIR "/lang/english.xml"));
    ASSERT_TRUE(orv::core::gLanguage.blnLoaded);
    orv::desktop::setShellOpener([this](const QUrl& url) { opened.push_back(url.toLocalFile()); });
    orv::desktop::setMessageBoxAnswerer([this](const orv::desktop::MessageBoxRequest& request) {
      boxes.push_back(request);
      return answer ? answer(request) : orv::desktop::MessageAnswer::No;
    });
    server = std::make_unique<orv::server::ServerEngine>();
  }

  void TearDown() override {
    window.reset();
    server.reset();
    orv::desktop::setShellOpener({});
    orv::desktop::setMessageBoxAnswerer({});
    gUploadedLists = {};
    gConfiguration = {};
    orv::core::gLanguage = {};
  }

  // A transfer row as if it had been read from uploaded.xml (grey) or added in this run.
  static void storeRow(const QString& path, bool finished, bool complete, bool session, double bytes = 100,
                       const QString& date = QStringLiteral("2026/03/07 04:05:09")) {
    gUploadedLists.transfers.push_back({path, session, date, QStringLiteral("10.0.0.2"), bytes, complete, finished});
    orv::core::tUploadedFile& file = gUploadedLists.filePaths.entry(path);
    if (finished) {
      ++file.nbFinishedTotal;
    }
    file.sizeSentTotal += bytes;
  }

  // Opens the window as the main window does: placed, then laid out, then shown.
  frmUploads& open(QSize size = QSize(640, 420)) {
    window = std::make_unique<frmUploads>(*server);
    window->resize(size);
    window->blnRedimActivate = true;
    window->blnEnableFormRedimX = true;
    window->blnEnableFormRedimY = true;
    window->show();
    processPendingEvents();
    return *window;
  }

  // The texts of one column of a list, top to bottom.
  static QStringList column(const QTreeView& list, int column, int role = Qt::DisplayRole) {
    QStringList texts;
    for (int row = 0; row < list.model()->rowCount(); ++row) {
      texts << list.model()->index(row, column).data(role).toString();
    }
    return texts;
  }

  static qint64 iconKey(const QTreeView& list, int row) {
    return list.model()->index(row, 0).data(Qt::DecorationRole).value<QIcon>().cacheKey();
  }

  std::unique_ptr<orv::server::ServerEngine> server;
  std::unique_ptr<frmUploads> window;
  std::vector<QString> opened;
  std::vector<orv::desktop::MessageBoxRequest> boxes;
  std::function<orv::desktop::MessageAnswer(const orv::desktop::MessageBoxRequest&)> answer;
  TempFolder folder;
};

}  // namespace uploadstest
