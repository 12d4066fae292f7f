#pragma once

#include "server/request_context.h"

namespace orv::server {

class ServerEngine;

void subServeSingleItem(ServerEngine& server, RequestContext& context);
void subServeThumbnail(ServerEngine& server, RequestContext& context);

}  // namespace orv::server
