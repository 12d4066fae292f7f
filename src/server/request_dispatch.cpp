#include "server/request_dispatch.h"

#include "core/language.h"
#include "server/file_responses.h"
#include "server/folder_requests.h"
#include "server/item_requests.h"
#include "server/page_senders.h"
#include "server/server_engine.h"

namespace orv::server {
namespace {

// What the request was taken for, as the interim answer names it.
QString targetName(DispatchTarget target, const RequestContext& context) {
  switch (target) {
    case DispatchTarget::SingleItem:
      return QStringLiteral("single item");
    case DispatchTarget::Thumbnail:
      return QStringLiteral("thumbnail");
    case DispatchTarget::File:
      return context.kind == RequestKind::Resource ? QStringLiteral("resource") : QStringLiteral("file");
    case DispatchTarget::Folder:
      if (context.kind == RequestKind::Section) {
        return QStringLiteral("section");
      }
      return context.folderState == PathState::VirtualFolder ? QStringLiteral("virtual folder")
                                                             : QStringLiteral("folder");
  }
  return {};
}

}  // namespace

void answerNotYetServed(ServerEngine& server, RequestContext& context, DispatchTarget target) {
  subSendMessageToClient(server, context.connectionIndex, 503, context.deflate,
                         core::gLanguage.text(u"HTLM/OTHER/ERROR"),
                         QStringLiteral("Not yet served : ") + targetName(target, context), context.request, true);
}

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
