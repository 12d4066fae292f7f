#include "server/folder_requests.h"

#include "server/request_dispatch.h"

namespace orv::server {

void subServeFolder(ServerEngine& server, RequestContext& context) {
  answerNotYetServed(server, context, DispatchTarget::Folder);
}

}  // namespace orv::server
