#pragma once

#include <QString>

// What a step of the request road decides: let the request go on, or end it with an answer.
// The steps only decide; the page senders send, so the steps run and are tested without a
// connection.
namespace orv::server {

enum class RoadAnswer {
  GoOn,         // nothing to send: the request goes on to the next step
  MessagePage,  // subSendMessageToClient (index, status, deflate flag, title, message, request object or none)
  LoginPage,    // subSendIdentificationRQToClient (index, status, deflate flag, title, no request object)
};

struct RoadDecision {
  RoadAnswer answer = RoadAnswer::GoOn;
  int status = 0;
  QString title;
  QString message;  // the message text of a message page
  // The request object goes with the page, because its response side carries a header the
  // answer needs (the WWW-Authenticate challenge of a 401).
  bool passRequestObject = false;

  bool goesOn() const { return answer == RoadAnswer::GoOn; }
};

// The error page of a status: the title is the language text ERROR, the message that text,
// a blank, the status, " : " and the status text ("Error 404 : Not Found").
RoadDecision fnctErrorPage(int status);

// A page of the status with the title ERROR and a message of its own.
RoadDecision fnctErrorPage(int status, const QString& message);

}  // namespace orv::server
