#pragma once

#include "engine_test_support.h"

#include "core/language.h"
#include "server/request_intake.h"
#include "support/temp_folder.h"

#include <QByteArray>
#include <QList>

#include <utility>

namespace enginetest {

// One answer as a client reads it off the wire.
struct HttpAnswer {
  QByteArray statusLine;  // "HTTP/1.1 404 Not Found"
  QList<std::pair<QByteArray, QByteArray>> headers;
  QByteArray body;

  // The value of the first header of that name (case ignored); empty when absent.
  QByteArray header(const QByteArray& name) const {
    for (const auto& [headerName, value] : headers) {
      if (headerName.compare(name, Qt::CaseInsensitive) == 0) {
        return value;
      }
    }
    return {};
  }
  bool hasHeader(const QByteArray& name) const {
    for (const auto& entry : headers) {
      if (entry.first.compare(name, Qt::CaseInsensitive) == 0) {
        return true;
      }
    }
    return false;
  }
  QByteArray status() const { return statusLine.mid(9, 3); }
};

// The answers one after the other, each body as long as its Content-Length says (none for
// the answers to HEAD requests, whose count of heads is given).
inline QList<HttpAnswer> parseAnswers(QByteArray bytes, int headOnlyAnswers = 0) {
  QList<HttpAnswer> answers;
  while (!bytes.isEmpty()) {
    const qsizetype headEnd = bytes.indexOf("\r\n\r\n");
    if (headEnd < 0) {
      break;
    }
    HttpAnswer answer;
    const QList<QByteArray> lines = bytes.left(headEnd).split('\n');
    answer.statusLine = lines.first().trimmed();
    for (qsizetype i = 1; i < lines.size(); ++i) {
      const QByteArray line = lines[i].trimmed();
      const qsizetype colon = line.indexOf(':');
      answer.headers.append({line.left(colon), line.mid(colon + 1).trimmed()});
    }
    bytes.remove(0, headEnd + 4);
    const qsizetype length = headOnlyAnswers > 0 ? 0 : answer.header("Content-Length").toLongLong();
    headOnlyAnswers = std::max(0, headOnlyAnswers - 1);
    answer.body = bytes.left(length);
    bytes.remove(0, length);
    answers.append(answer);
  }
  return answers;
}

// How many answers of the bytes have come whole, heads and bodies.
inline int completeAnswers(const QByteArray& bytes) {
  int complete = 0;
  qsizetype from = 0;
  for (;;) {
    const qsizetype headEnd = bytes.indexOf("\r\n\r\n", from);
    if (headEnd < 0) {
      return complete;
    }
    const QList<HttpAnswer> answer = parseAnswers(bytes.mid(from, headEnd + 4 - from));
    const qsizetype end = headEnd + 4 + answer.first().header("Content-Length").toLongLong();
    if (end > bytes.size()) {
      return complete;
    }
    ++complete;
    from = end;
  }
}

// A running server whose requests travel the request road, with a root share folder of its
// own, an application folder and the language texts of the error pages.
class RoadEngineTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    savedAppFolder_ = orv::core::gAppFolder;
    savedLanguage_ = orv::core::gLanguage;
    orv::core::gAppFolder = tmp.makeFolder(QStringLiteral("app"));
    gConfiguration.Shared = orv::core::tShares{};
    gConfiguration.Shared.RootShare.localPath = tmp.makeFolder(QStringLiteral("pub"));
    gConfiguration.HtmlDisplay.PAGE_BUILD_METHOD = 1;
    gConfiguration.Protocol = orv::core::tConfProtocol{};
    gConfiguration.LocalPaths = orv::core::tConfLocalPaths{};
    gConfiguration.AppState.colIpFoldersInCreation.clear();
    orv::core::gLanguage.setText(u"HTLM/OTHER/ERROR", QStringLiteral("Error"));
    orv::core::gLanguage.setText(u"HTLM/IDENTIFICATION/INFO", QStringLiteral("Members"));
    orv::core::gLanguage.setText(u"HTLM/IDENTIFICATION/TITLE", QStringLiteral("Login"));
  }

  void TearDown() override {
    EngineTest::TearDown();
    orv::core::gAppFolder = savedAppFolder_;
    orv::core::gLanguage = savedLanguage_;
  }

  // Connects from 127.0.0.2, sends the pieces one event-loop turn apart and waits until the
  // server has closed the connection.
  TcpPeer& exchange(const std::vector<QByteArray>& pieces) {
    EXPECT_TRUE(admitted("127.0.0.2"));
    TcpPeer& peer = *peers.back();
    for (const QByteArray& piece : pieces) {
      EXPECT_EQ(peer.send(piece), piece.size());
      processPendingEvents();
    }
    EXPECT_TRUE(processEventsUntil([&] { return peer.endOfStream; }));
    return peer;
  }

  TempFolder tmp;

 private:
  QString savedAppFolder_;
  orv::core::tLanguage savedLanguage_;
};

}  // namespace enginetest
