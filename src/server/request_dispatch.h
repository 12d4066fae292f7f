#pragma once

#include "server/request_context.h"

#include <QString>

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
//
// Until the responses are built, every target is answered with the message page 503, title
// ERROR, message "Not yet served : " and what the request was taken for ("single item",
// "thumbnail", "resource", "file", "section", "virtual folder" or "folder"), sent with the
// request object, so that the cookies of a form login go out with it.
void fnctDispatchRequest(ServerEngine& server, RequestContext& context);

// The interim answer of a target whose responses are not built yet.
void answerNotYetServed(ServerEngine& server, RequestContext& context, DispatchTarget target);

}  // namespace orv::server
