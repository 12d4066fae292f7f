#pragma once

#include "server/request_context.h"

// The steps of dispatch for "?item.xml=" and "?miniature=".
namespace orv::server {

class ServerEngine;

// "?item.xml=": the single item of the local path, as a file (file state Usable), a disk
// folder (folder state Usable) or a virtual folder, through subSendSingleItemToClient.
void subServeSingleItem(ServerEngine& server, RequestContext& context);

// "?miniature=" on a file: within the thumbnail limits, the slot's thumbnail maker makes or
// finds the thumbnail (or picks the file-type icon that stands for it), and that file is
// served as a "bmp" file (subServeFile). Over a limit the client gets the message page 503
// "Too many miniature requests" (all clients together) or "Too many miniature requests from
// this IP", sent with a head of its own.
//
// The client's count in colIpMiniaturesInCreation is raised while the maker exists and comes
// down on every path, a failure included. The maker yields to the event loop once: when the
// connection closed meanwhile, its clean-up has lowered the count and destroyed the maker,
// and the request ends without an answer.
void subServeThumbnail(ServerEngine& server, RequestContext& context);

}  // namespace orv::server
