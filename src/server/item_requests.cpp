#include "server/item_requests.h"

#include "core/configuration.h"
#include "core/file_utils.h"
#include "core/language.h"
#include "server/connection_slots.h"
#include "server/file_responses.h"
#include "server/ip_counters.h"
#include "server/page_senders.h"
#include "server/server_engine.h"

#include <optional>

namespace orv::server {
namespace {

using core::gConfiguration;

const QString kProcedure = QStringLiteral("usrSocket_DataArrival");

content::SingleItemType singleItemTypeOf(const RequestContext& context) {
  if (context.fileState == PathState::Usable) {
    return content::SingleItemType::File;
  }
  return context.folderState == PathState::Usable ? content::SingleItemType::DiskFolder
                                                  : content::SingleItemType::VirtualFolder;
}

// The thumbnail maker of the slot and the client's count of thumbnails in creation, for one
// request. The count is raised with the maker and lowered with it, whichever way the request
// ends; when the connection is gone, its clean-up has done both already.
class MiniatureInCreation {
 public:
  MiniatureInCreation(ServerEngine& server, const RequestContext& context)
      : slots_(server.slots()),
        connection_(slots_.ref(context.connectionIndex)),
        clientIp_(context.clientIp),
        maker_(slots_.loadMiniature(context.connectionIndex, kProcedure)) {
    subUpdateCounter(gConfiguration.AppState.colIpMiniaturesInCreation, clientIp_, 1);
  }
  ~MiniatureInCreation() {
    const ConnectionSlot* slot = slots_.find(connection_);
    if (slot == nullptr || slot->miniature == nullptr) {
      return;
    }
    subUpdateCounter(gConfiguration.AppState.colIpMiniaturesInCreation, clientIp_, -1);
    slots_.unloadMiniature(connection_.index, kProcedure);
  }
  MiniatureInCreation(const MiniatureInCreation&) = delete;
  MiniatureInCreation& operator=(const MiniatureInCreation&) = delete;

  content::usrMinature& maker() { return maker_; }
  // The connection still holds its slot: nothing closed it while the maker yielded.
  bool isConnectionThere() const { return slots_.find(connection_) != nullptr; }

 private:
  ConnectionSlots& slots_;
  const ConnectionRef connection_;
  const QString clientIp_;
  content::usrMinature& maker_;
};

// The file that stands for the thumbnail of the local path: one of the cache folder, or the
// file-type icon the maker chose instead. Nothing when the connection closed meanwhile.
std::optional<QString> fnctMakeMiniature(ServerEngine& server, const RequestContext& context) {
  MiniatureInCreation inCreation(server, context);
  content::usrMinature& maker = inCreation.maker();
  maker.setHtmlIconVisibility(core::hasFileAttribute(context.localPath, core::kFileAttributeHidden) ? 1 : 0);
  maker.setImagePathFullSize(context.localPath);
  maker.setImageFolder(context.share.localFolder);
  maker.setMaxSize(QString::number(gConfiguration.HtmlDisplay.MINATURE_DIMENSION));
  maker.CreateMiniature();
  if (!inCreation.isConnectionThere()) {
    return std::nullopt;
  }
  return maker.getImagePathMini();
}

void sendMiniatureLimitPage(ServerEngine& server, RequestContext& context, const QString& message) {
  subSendMessageToClient(server, context.connectionIndex, 503, context.deflate,
                         core::gLanguage.text(u"HTLM/OTHER/ERROR"), message, context.request, false);
}

}  // namespace

void subServeSingleItem(ServerEngine& server, RequestContext& context) {
  subSendSingleItemToClient(server, context.connectionIndex, context.deflate, context.localPath,
                            singleItemTypeOf(context), context.request);
}

void subServeThumbnail(ServerEngine& server, RequestContext& context) {
  const core::tAdvancedParameters& tuning = gConfiguration.AdvancedParameters;
  const core::KeyedList<int>& inCreation = gConfiguration.AppState.colIpMiniaturesInCreation;
  // A count is at most kMaxCounterValue: one more never wraps round to a small number.
  if (static_cast<double>(getCounterValue(inCreation, QString()) + 1) > tuning.APP_MAX_TOTAL_MINIATURE_IN_CREATION) {
    sendMiniatureLimitPage(server, context, QStringLiteral("Too many miniature requests"));
    return;
  }
  if (static_cast<double>(getCounterValue(inCreation, context.clientIp) + 1) >
      tuning.APP_MAX_CLIENT_MINIATURE_IN_CREATION) {
    sendMiniatureLimitPage(server, context, QStringLiteral("Too many miniature requests from this IP"));
    return;
  }
  context.responseExtension = QStringLiteral("bmp");
  const std::optional<QString> miniature = fnctMakeMiniature(server, context);
  if (!miniature) {
    return;
  }
  // Served as a bitmap whatever the file is: a file-type icon too.
  context.localPath = *miniature;
  context.openedFile.reset();
  subServeFile(server, context);
}

}  // namespace orv::server
