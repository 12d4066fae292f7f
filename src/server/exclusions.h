#pragma once

#include "server/request_context.h"
#include "server/road_decision.h"

// The local-path exclusions and the last gate before dispatch: a request goes on only when
// it addresses something the server may serve.
namespace orv::server {

// Marks both states NotUsable when an exclusion pattern (LocalPaths.colExclusions) matches
// the local path or its resolved form; every pattern is tried. Resources are never excluded.
void subApplyExclusions(RequestContext& context);

// GoOn when the file state is Usable or the folder state Usable or VirtualFolder. Otherwise
// the history gets FORBIDDEN (file state NotUsable) or NOT_FOUND with the client text and
// the local path, and the answer is the error page 403 when a state is NotUsable, else 404.
RoadDecision fnctAdmitToDispatch(const RequestContext& context);

// The two above, in order: what the road runs once the client is identified.
RoadDecision fnctCheckLocalPath(RequestContext& context);

}  // namespace orv::server
