#pragma once

#include "server/request_context.h"
#include "server/road_decision.h"

#include <QByteArray>
#include <QString>

// The gate in front of every folder answer (a playlist, a folder page or one section of
// it): a folder URL must end with "/", and only so many pages may be in creation at once,
// in total and per client address, since each one lists a whole folder while other
// connections wait their turns in its yields.
namespace orv::server {

class ServerEngine;

// Where a folder URL without its final "/" is sent: "http://", the Host header as the client
// sent it (port included), the URL as received and "/". The query is not carried along.
// Without a Host header (an HTTP/1.0 client) the address the connection came in on,
// fallbackHost, stands in for it.
QByteArray fnctFolderRedirectLocation(const RequestContext& context, const QByteArray& fallbackHost);

// The checks of a folder request, in order:
// - a path that does not end with "/": 301 "Redirection", message "Resource location : " and
//   the location, which also goes into context.request as its Location header (the page is
//   to be sent with the request object);
// - APP_MAX_TOTAL_FOLDER_IN_CREATION pages in creation over all clients: 503 "Too many
//   folder requests";
// - APP_MAX_CLIENT_FOLDER_IN_CREATION pages in creation for the client's address: 503 "Too
//   many folder requests from this IP".
// GoOn otherwise. Nothing is counted here.
RoadDecision fnctCheckFolderRequest(RequestContext& context, const QByteArray& fallbackHost);

// Serves a disk folder or a virtual folder: the checks above, then the playlist of a
// playlist request, else the folder page or the section the request asks for.
void subServeFolder(ServerEngine& server, RequestContext& context);

}  // namespace orv::server
