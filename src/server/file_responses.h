#pragma once

#include "server/request_context.h"

namespace orv::server {

class ServerEngine;

void subServeFile(ServerEngine& server, RequestContext& context);

}  // namespace orv::server
