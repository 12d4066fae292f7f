#include "server/road_decision.h"

#include "core/language.h"
#include "server/status_texts.h"

namespace orv::server {
namespace {

QString errorTitle() {
  return core::gLanguage.text(u"HTLM/OTHER/ERROR");
}

}  // namespace

RoadDecision fnctErrorPage(int status) {
  const QByteArray number = QByteArray::number(status);
  return fnctErrorPage(status, errorTitle() + QLatin1Char(' ') + QString::fromLatin1(number) + QStringLiteral(" : ") +
                                   QString(getRequestStatusMsg(number)));
}

RoadDecision fnctErrorPage(int status, const QString& message) {
  RoadDecision decision;
  decision.answer = RoadAnswer::MessagePage;
  decision.status = status;
  decision.title = errorTitle();
  decision.message = message;
  return decision;
}

}  // namespace orv::server
