#pragma once

#include "server/http_request.h"

#include <QByteArray>

// What every response of the engine says the same way: who answers, and whether the
// connection stays open after the answer.
namespace orv::server {

// The Server header: the application title, a blank and the version ("Orvendale 1.02").
QByteArray fnctServerHeaderValue();

// True when the client asked to keep its connection (its Connection value equals
// "Keep-Alive", case ignored) and HTTP_KEEP_ALIVE_MAX is greater than servedRequestCount, the
// number of requests the connection served before this one. Whether the kind of answer
// allows it is the caller's part.
bool isKeepAliveGranted(const clsHttpRequest& request, int servedRequestCount);

// The Keep-Alive header of a kept answer: "timeout=" HTTP_KEEP_ALIVE_TIMEOUT ", max="
// HTTP_KEEP_ALIVE_MAX less servedRequestCount, in plain decimal text ("timeout=15, max=300").
QByteArray fnctKeepAliveValue(int servedRequestCount);

}  // namespace orv::server
