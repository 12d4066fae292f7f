#pragma once

#include "road_engine_fixture.h"

#include "content/mp3_reader.h"
#include "content/xsl_stylesheets.h"
#include "core/language.h"
#include "server/ip_counters.h"
#include "server/request_dispatch.h"

#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <utility>

namespace enginetest {

// The request road with everything a folder page needs: the sort and group stylesheets,
// every language text (each one its own name, so a page shows which text it used) and the
// file-type lists. The root share is the folder "pub".
class FolderRoadTest : public RoadEngineTest {
 protected:
  void SetUp() override {
    RoadEngineTest::SetUp();
    for (const std::u16string_view name : orv::core::kLanguageTextNames) {
      orv::core::gLanguage.setText(name, QString::fromUtf16(name.data(), static_cast<qsizetype>(name.size())));
    }
    orv::core::gLanguage.setText(u"HTLM/OTHER/ERROR", QStringLiteral("Error"));
    orv::content::subInitBitrateTables();
    gConfiguration.AppState.objXslSortDocument =
        std::make_shared<const orv::xml::Document>(orv::content::getXslSortStylesheet());
    gConfiguration.AppState.objXslGroupDocument =
        std::make_shared<const orv::xml::Document>(orv::content::getXslGroupStylesheet());
    gConfiguration.ShellExtension.SOUND = QStringLiteral(".mp3;.wav;");
    gConfiguration.ShellExtension.IMAGE = QStringLiteral(".png;.jpg;");
    gConfiguration.ShellExtension.VIDEO = QStringLiteral(".avi;");
    gConfiguration.HtmlDisplay.ALLOW_MINIATURES = true;
    gConfiguration.HtmlDisplay.ALLOW_MP3_TAGS = true;
    gConfiguration.AppsNameManagement.AUDIO_PLAYERS_KEYWORDS = QStringList{QStringLiteral("winamp")};
    gConfiguration.Protocol.ENABLE_COMPRESSION = false;
    orv::core::gHistoryLists = {};
  }

  void TearDown() override {
    EXPECT_EQ(pagesInCreation(), 0) << "the page counter did not come back to zero";
    RoadEngineTest::TearDown();
  }

  // One request from the address and its one answer; the connection is closed by then.
  HttpAnswer answerTo(const QByteArray& request, const char* source = "127.0.0.2", int headOnly = 0) {
    EXPECT_TRUE(admitted(source));
    TcpPeer& peer = *peers.back();
    EXPECT_EQ(peer.send(request), request.size());
    EXPECT_TRUE(processEventsUntil([&] { return peer.endOfStream; }));
    const QList<HttpAnswer> answers = parseAnswers(peer.received, headOnly);
    EXPECT_EQ(answers.size(), 1) << peer.received.constData();
    EXPECT_TRUE(waitForSlots(0));
    return answers.isEmpty() ? HttpAnswer{} : answers.first();
  }

  // The next request to reach dispatch runs the action from the event loop once its answer
  // is being made: inside the first yield of a page build or of a playlist. Other requests
  // reach dispatch as usual.
  void duringTheNextAnswer(std::function<void(int index)> action) {
    server->setDataArrivalHandler(orv::server::fnctRequestRoad(
        [this, action = std::move(action)](ServerEngine& engine, orv::server::RequestContext& context) mutable {
          if (action) {
            QTimer::singleShot(
                0, [action = std::exchange(action, {}), index = context.connectionIndex] { action(index); });
          }
          orv::server::fnctDispatchRequest(engine, context);
        }));
  }

  static int pagesInCreation() {
    return orv::server::getCounterValue(gConfiguration.AppState.colIpFoldersInCreation, QString());
  }

  // A folder of the root share with the given number of small text files.
  QString largeFolder(const QString& name, int files) {
    const QString folder = tmp.makeFolder(QStringLiteral("pub/") + name);
    for (int i = 0; i < files; ++i) {
      tmp.write(QStringLiteral("pub/") + name + QStringLiteral("/file-") + QString::number(i) + QStringLiteral(".txt"),
                "x");
    }
    return folder;
  }
};

}  // namespace enginetest
