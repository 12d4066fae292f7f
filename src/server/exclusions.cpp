#include "server/exclusions.h"

#include "core/configuration.h"
#include "core/history_store.h"
#include "server/matching.h"

namespace orv::server {

void subApplyExclusions(RequestContext& context) {
  if (context.kind == RequestKind::Resource) {
    return;
  }
  for (const auto& exclusion : core::gConfiguration.LocalPaths.colExclusions) {
    const QString& pattern = exclusion.value;
    if (isPathMatchingPattern(context.localPath, pattern) ||
        (!context.resolvedPath.isEmpty() && isPathMatchingPattern(context.resolvedPath, pattern))) {
      context.fileState = PathState::NotUsable;
      context.folderState = PathState::NotUsable;
    }
  }
}

RoadDecision fnctAdmitToDispatch(const RequestContext& context) {
  if (context.fileState == PathState::Usable || context.folderState == PathState::Usable ||
      context.folderState == PathState::VirtualFolder) {
    return {};
  }
  core::subAddEntryInHistory(
      context.fileState == PathState::NotUsable ? core::HistoryEventType::FORBIDDEN : core::HistoryEventType::NOT_FOUND,
      context.clientInfos, context.localPath);
  const bool refused = context.fileState == PathState::NotUsable || context.folderState == PathState::NotUsable;
  return fnctErrorPage(refused ? 403 : 404);
}

RoadDecision fnctCheckLocalPath(RequestContext& context) {
  subApplyExclusions(context);
  return fnctAdmitToDispatch(context);
}

}  // namespace orv::server
