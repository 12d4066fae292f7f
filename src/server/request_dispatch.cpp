#include "server/request_dispatch.h"

#include "server/file_responses.h"
#include "server/folder_requests.h"
#include "server/item_requests.h"
#include "server/server_engine.h"

namespace orv::server {

DispatchTarget getDispatchTarget(const RequestContext& context) {
  if (context.kind == RequestKind::SingleItem) {
    return DispatchTarget::SingleItem;
  }
  if (context.fileState == PathState::Usable && context.folderState != PathState::Usable) {
    return context.kind == RequestKind::Thumbnail ? DispatchTarget::Thumbnail : DispatchTarget::File;
  }
  return DispatchTarget::Folder;
}

void fnctDispatchRequest(ServerEngine& server, RequestContext& context) {
  const DispatchTarget target = getDispatchTarget(context);
  switch (target) {
    case DispatchTarget::SingleItem:
      subServeSingleItem(server, context);
      return;
    case DispatchTarget::Thumbnail:
      subServeThumbnail(server, context);
      return;
    case DispatchTarget::File:
      subServeFile(server, context);
      return;
    case DispatchTarget::Folder:
      subServeFolder(server, context);
      return;
  }
}

}  // namespace orv::server
