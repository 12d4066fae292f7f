#pragma once

#include "server/request_context.h"
#include "server/road_decision.h"

// Routing and share mapping: what a request asks for and where that lies on disk.
namespace orv::server {

// Splits the query off context.url and recognises the request kind from its keys ("?res="
// only for the URL "/", "?miniature=", "?item.xml=", "?section.xml="). Maps the URL to a
// local path: under the root share's folder when a file or folder is there; otherwise under
// the share with the longest server path that prefixes the URL and holds the file or
// folder; otherwise a URL that is only a parent of share server paths is a virtual folder.
// Fills path, the queries, kind, local and resolved path, the two states, the section name,
// the audio-player flag and the serving share's values; reads the User-Agent of
// context.request, the share store and the configuration as they are now.
//
// The URL and the query are percent-decoded once each, and the decoded text is what is
// mapped, so "%2e%2e" and "..%2f" are ".." and "../" and nothing is decoded again. No
// request maps outside the folder that serves it: a decoded path with a "." or ".."
// segment, a path whose resolved form (symbolic links followed) leaves the share's folder
// (the resources folder for "?res="), and the application's own files count as absent, with
// a debug line, and are answered 404 further on the road like any path where nothing is.
//
// Answers GoOn, or the 400 error page when the decoded path or query holds a NUL character.
RoadDecision fnctRouteRequest(RequestContext& context);

}  // namespace orv::server
