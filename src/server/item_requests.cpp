#include "server/item_requests.h"

#include "server/request_dispatch.h"

namespace orv::server {

void subServeSingleItem(ServerEngine& server, RequestContext& context) {
  answerNotYetServed(server, context, DispatchTarget::SingleItem);
}

void subServeThumbnail(ServerEngine& server, RequestContext& context) {
  answerNotYetServed(server, context, DispatchTarget::Thumbnail);
}

}  // namespace orv::server
