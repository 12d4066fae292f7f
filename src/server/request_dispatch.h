#pragma once

#include "server/request_context.h"

// Dispatch, the last step of the request road: it serves a request that routing,
// identification and the exclusions found something for (the file state is Usable, or the
// folder state Usable or VirtualFolder).
namespace orv::server {

class ServerEngine;

// What a request is served as, in the order dispatch decides it.
enum class DispatchTarget {
  SingleItem,  // "?item.xml=": the single-item sender
  Thumbnail,   // "?miniature=" on a file: the thumbnail maker, then the file response
  File,        // any other file (resources included): the 304 check or the file reader
  Folder,      // a disk or virtual folder: the redirect and page limits, then a playlist,
               // a section or the folder page
};

DispatchTarget getDispatchTarget(const RequestContext& context);

// Serves the request of the context on its connection (context.connectionIndex) with one
// case per target. A case ends by returning (or throwing): the road's common exit then
// lowers the client's folder page counter when the case raised it and set
// context.folderCounterRaised. The answer may close the connection inside the call.
void fnctDispatchRequest(ServerEngine& server, RequestContext& context);

}  // namespace orv::server
