#include "server/file_responses.h"

#include "server/request_dispatch.h"

namespace orv::server {

void subServeFile(ServerEngine& server, RequestContext& context) {
  answerNotYetServed(server, context, DispatchTarget::File);
}

}  // namespace orv::server
