#pragma once

#include "content/message_documents.h"
#include "server/http_request.h"
#include "server/request_context.h"
#include "server/road_decision.h"

#include <QString>

// The small generated pages that answer a request instead of a file or a folder listing: a
// message page (every error status, the folder redirect, the limits), the login page of form
// identification and the single item of "?item.xml=". Each is built by a page builder of the
// connection's slot (created for the page and removed before it is sent), then its head and
// body go out on the slot's socket in one send.
//
// A message or login page closes its connection: the socket is marked "terminate" before
// the send, so that the completion of that send closes it, HEAD answers and pages sent at
// once included. A single item keeps its connection when the client asks for it and the
// connection has served fewer than HTTP_KEEP_ALIVE_MAX requests (the road counts the request
// in the file reader first); the reader's keep flag then restarts the idle timer when the
// send completes.
//
// The request object is the exchange's. Its request side tells a HEAD request, answered
// with the head alone (with the Content-Length and Content-Encoding of the body it leaves
// out), and, for a single item, the Connection the client asked for. With passRequestObject
// the page's head is built on its response side, so that what the road set there goes out
// with the page: the Allow of a 405, the WWW-Authenticate of a 401, the Location of a
// redirect, the cookies of a form login. Without it the page has a head of its own, which
// still carries the cookies that a form login added to the request object: they leave with
// whatever answer the request finally gets.
//
// The body is the page's UTF-8 text, deflated when the deflate flag is set and
// ENABLE_COMPRESSION is on (sent as it is, without Content-Encoding, should zlib fail). The
// connection's send may complete, and the slot close, inside the call: the caller must not
// use the slot's components afterwards without finding the connection again.
namespace orv::server {

class ServerEngine;

// The message page with the status, title and label (the message text).
void subSendMessageToClient(ServerEngine& server, int Index, int status, bool deflate, const QString& title,
                            const QString& label, clsHttpRequest& request, bool passRequestObject);

// The login page of form identification with the status (401 on the road) and title.
void subSendIdentificationRQToClient(ServerEngine& server, int Index, int status, bool deflate, const QString& title,
                                     clsHttpRequest& request, bool passRequestObject);

// The XML fragment of one item at the local path, status 200, built on the request object.
void subSendSingleItemToClient(ServerEngine& server, int Index, bool deflate, const QString& localPath,
                               content::SingleItemType itemType, clsHttpRequest& request);

// The answer a step of the road decided, for the request of the context, with its deflate
// flag; nothing for GoOn.
void subSendRoadDecision(ServerEngine& server, RequestContext& context, const RoadDecision& decision);

}  // namespace orv::server
