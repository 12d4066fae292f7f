#include "server/request_dispatch.h"

#include "core/language.h"
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

void answerNotYetServed(ServerEngine& server, RequestContext& context, DispatchTarget target) {
  subSendMessageToClient(server, context.connectionIndex, 503, context.deflate,
                         core::gLanguage.text(u"HTLM/OTHER/ERROR"),
                         QStringLiteral("Not yet served : ") + targetName(target, context), context.request, true);
}

}  // namespace

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
      answerNotYetServed(server, context, target);
      return;
    case DispatchTarget::Thumbnail:
      answerNotYetServed(server, context, target);
      return;
    case DispatchTarget::File:
      answerNotYetServed(server, context, target);
      return;
    case DispatchTarget::Folder:
      answerNotYetServed(server, context, target);
      return;
  }
}

}  // namespace orv::server
