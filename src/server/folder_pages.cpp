#include "server/folder_pages.h"

#include "content/build_xml_page.h"
#include "core/configuration.h"
#include "core/debug_log.h"
#include "core/file_utils.h"
#include "core/formats.h"
#include "core/history_store.h"
#include "core/text_encoding.h"
#include "platform/clock.h"
#include "server/deflate.h"
#include "server/file_reader.h"
#include "server/http_dates.h"
#include "server/ip_counters.h"
#include "server/page_senders.h"
#include "server/playlists.h"
#include "server/query_values.h"
#include "server/response_values.h"
#include "server/server_engine.h"

#include <optional>
#include <utility>

namespace orv::server {
namespace {

using core::gConfiguration;

constexpr std::array<const char*, 5> kTypes = {"folder", "other", "sound", "image", "video"};
constexpr std::size_t kFolder = 0;
constexpr std::size_t kSound = 2;
constexpr std::size_t kImage = 3;

const QString kProcedure = QStringLiteral("usrSocket_DataArrival");

void logApplication(const QString& message) {
  core::subAddDebugEvent(message, core::DebugEventCategory::Application);
}

QString optionValue(const QString& query, const char* prefix, std::size_t type) {
  return getParamValue(query, QLatin1String(prefix) + QLatin1String(kTypes[type]), QStringLiteral("&"));
}

bool isShared(const ShareValues& share, const QString& section) {
  const auto is = [&](const char* type) { return section.compare(QLatin1String(type), Qt::CaseInsensitive) == 0; };
  if (is("folder")) {
    return share.sharePhysicalFolder || share.shareVirtualFolder;
  }
  if (is("other")) {
    return share.shareOther;
  }
  if (is("sound")) {
    return share.shareSound;
  }
  if (is("image")) {
    return share.shareImage;
  }
  if (is("video")) {
    return share.shareVideo;
  }
  return false;
}

void setBuilderProperties(content::usrBuildXmlPage& builder, const RequestContext& context,
                          const FolderDisplayOptions& options) {
  const ShareValues& share = context.share;
  builder.SetLocalFolderPath(context.localPath);
  builder.SetServerFolderPath(context.url);
  builder.SetUrlTag(fnctAddPlaylistParam(context.decodedQuery, QStringLiteral(".pls")));
  builder.SetIsVirtualFolder(context.folderState == PathState::VirtualFolder);
  builder.SetShareLocalFolderPath(share.localFolder);
  builder.SetUserDefaultPageIcon(context.pageIcon);
  builder.SetUserDefaultUrlIcon(context.urlIcon);
  builder.SetSharePhysicalFolder(share.sharePhysicalFolder);
  builder.SetShareVirtualFolder(share.shareVirtualFolder);
  builder.SetShareOther(share.shareOther);
  builder.SetShareSound(share.shareSound);
  builder.SetShareImage(share.shareImage);
  builder.SetShareVideo(share.shareVideo);

  using Setter = void (content::usrBuildXmlPage::*)(const QString&);
  using Setters = std::array<Setter, 5>;
  using Builder = content::usrBuildXmlPage;
  const auto setAll = [&](const Setters& setters, const std::array<QString, 5>& values) {
    for (std::size_t type = 0; type < kTypes.size(); ++type) {
      (builder.*setters[type])(values[type]);
    }
  };
  setAll({&Builder::SetDisplayModeFolder, &Builder::SetDisplayModeOther, &Builder::SetDisplayModeSound,
          &Builder::SetDisplayModeImage, &Builder::SetDisplayModeVideo},
         options.showby);
  setAll({&Builder::SetSortValueFolder, &Builder::SetSortValueOther, &Builder::SetSortValueSound,
          &Builder::SetSortValueImage, &Builder::SetSortValueVideo},
         options.sortby);
  setAll({&Builder::SetSortOrderFolder, &Builder::SetSortOrderOther, &Builder::SetSortOrderSound,
          &Builder::SetSortOrderImage, &Builder::SetSortOrderVideo},
         options.sortorder);
  setAll({&Builder::SetShowGroupFolder, &Builder::SetShowGroupOther, &Builder::SetShowGroupSound,
          &Builder::SetShowGroupImage, &Builder::SetShowGroupVideo},
         options.showgroup);
  setAll({&Builder::SetFilterFolder, &Builder::SetFilterOther, &Builder::SetFilterSound, &Builder::SetFilterImage,
          &Builder::SetFilterVideo},
         options.filter);
  builder.SetShowPlayers(options.showplayers);
}

// The error page of a build that failed, after the fact: the folder may have gone or lost
// its permissions since the request was routed.
int failedBuildStatus(const RequestContext& context) {
  if (context.folderState != PathState::Usable) {
    return 503;
  }
  switch (core::fnctFolderExists(context.localPath, false)) {
    case core::ExistenceCode::Absent:
      return 404;
    case core::ExistenceCode::NotUsable:
      return 403;
    default:
      return 503;
  }
}

// The page text, or nothing when the build failed. Nothing of the builder is used once the
// build reports it destroyed.
struct BuiltPage {
  content::BuildStatus status = content::BuildStatus::Failed;
  QByteArray body;
};

BuiltPage buildPage(content::usrBuildXmlPage& builder, const RequestContext& context, const QString& section) {
  BuiltPage page;
  if (section.isEmpty()) {
    page.status = builder.BuildDocumentFolder();
    if (page.status == content::BuildStatus::Completed) {
      page.body = builder.GetOutputBytes();
      if (page.body.isEmpty()) {
        // The server transform gave nothing: an empty page would pass for a folder
        // without anything in it.
        page.status = content::BuildStatus::Failed;
      }
    }
    return page;
  }
  if (section.compare(QLatin1String("folder"), Qt::CaseInsensitive) == 0) {
    builder.SetUrlTag(fnctFolderSectionUrlTag(context.decodedQuery));
  }
  page.status = builder.BuildSingleSection(section);
  if (page.status == content::BuildStatus::Completed) {
    page.body = builder.GetOutputDocument().toBytes();
  }
  return page;
}

void sendPage(ServerEngine& server, RequestContext& context, QByteArray body, bool isSection) {
  ConnectionSlots& slots = server.slots();
  const int Index = context.connectionIndex;
  net::usrSocket* socket = slots.usrSocket(Index);
  usrFileReader* reader = slots.usrFileReader(Index);
  if (socket == nullptr) {
    return;
  }
  clsHttpRequest& response = context.request;
  if (context.deflate && gConfiguration.Protocol.ENABLE_COMPRESSION) {
    // Should zlib fail, the page goes as it is rather than cut or broken.
    if (std::optional<QByteArray> compressed = fnctCompressBytes(body)) {
      response.setServerContentEncoding(QByteArrayLiteral("deflate"));
      body = std::move(*compressed);
    }
  }
  response.setServerHttpVersion(QByteArrayLiteral("1.1"));
  response.setServerStatusNb(QByteArrayLiteral("200"));
  response.setServerContentLength(QByteArray::number(body.size()));
  response.setServerDate(getGmtDate(platform::currentDateTime()));
  response.setServerAcceptRange(QByteArrayLiteral("bytes"));
  response.setServerServer(fnctServerHeaderValue());

  QString tag;
  const bool kept = isKeepAliveGranted(response, context.servedRequestCount);
  if (kept) {
    response.setServerConnection(QByteArrayLiteral("Keep-Alive"));
    response.setServerKeepAlive(fnctKeepAliveValue(context.servedRequestCount));
  } else {
    if (response.getClientHttpVersion().compare("1.1", Qt::CaseInsensitive) == 0) {
      response.setServerConnection(QByteArrayLiteral("Close"));
    }
    tag = QStringLiteral("terminate");
  }
  if (reader != nullptr) {
    reader->setIsKeepConnection(kept);
  }
  response.setServerContentType(!isSection && gConfiguration.HtmlDisplay.PAGE_BUILD_METHOD == 2
                                    ? QByteArrayLiteral("text/html; charset=UTF-8")
                                    : QByteArrayLiteral("application/xml; charset=UTF-8"));
  response.buildServerRequest();

  // One send, with the tag set before it: its completion, which may come inside the call,
  // closes the connection or restarts its idle timer.
  socket->setTag(tag);
  const bool headOnly = context.methodCode == HttpMethodCode::HEAD;
  socket->SendDataB(headOnly ? response.getServerFullRequest() : response.getServerFullRequest() + body);
}

}  // namespace

FolderDisplayOptions fnctReadDisplayOptions(const QString& decodedQuery) {
  const core::tConfHtmlDisplay& html = gConfiguration.HtmlDisplay;
  FolderDisplayOptions options;
  for (std::size_t type = 0; type < kTypes.size(); ++type) {
    const QString value = optionValue(decodedQuery, "showby_", type);
    const QString fallback = type == kImage && html.ALLOW_MINIATURES ? QStringLiteral("mini") : QStringLiteral("list");
    options.showby[type] = isValidDisplayMode(value) ? value : fallback;
  }
  for (std::size_t type = 0; type < kTypes.size(); ++type) {
    const QString value = optionValue(decodedQuery, "sortby_", type);
    const bool valid = isValidSortValue(value, type == kFolder, type == kSound && html.ALLOW_MP3_TAGS);
    options.sortby[type] = valid ? value : QStringLiteral("name");
  }
  for (std::size_t type = 0; type < kTypes.size(); ++type) {
    const QString value = optionValue(decodedQuery, "sortorder_", type);
    options.sortorder[type] = isValidSortOrder(value) ? value : QStringLiteral("ascending");
  }
  for (std::size_t type = 0; type < kTypes.size(); ++type) {
    const QString value = optionValue(decodedQuery, "showgroup_", type);
    options.showgroup[type] = isValidShowGroup(value, options.sortby[type]) ? value : QStringLiteral("false");
  }
  for (std::size_t type = 0; type < kTypes.size(); ++type) {
    options.filter[type] = optionValue(decodedQuery, "filter_", type);
  }
  const QString players = getParamValue(decodedQuery, QStringLiteral("showplayers"), QStringLiteral("&"));
  options.showplayers = core::isValidBoolString(players) ? players : QStringLiteral("false");
  return options;
}

QString fnctServedSectionName(const RequestContext& context) {
  if (context.kind != RequestKind::Section || !isShared(context.share, context.sectionName)) {
    return {};
  }
  return context.sectionName;
}

QString fnctFolderSectionUrlTag(const QString& decodedQuery) {
  return fnctAddPlaylistParam(decodedQuery, QStringLiteral(".pls"))
      .remove(QLatin1String("section.xml=folder&"), Qt::CaseInsensitive);
}

void subServeFolderPage(ServerEngine& server, RequestContext& context) {
  ConnectionSlots& slots = server.slots();
  const int Index = context.connectionIndex;
  if (slots.usrSocket(Index) == nullptr) {
    return;
  }
  subUpdateCounter(gConfiguration.AppState.colIpFoldersInCreation, context.clientIp, 1);
  context.folderCounterRaised = true;

  slots.unloadPageBuilder(Index, kProcedure);
  content::usrBuildXmlPage& builder = slots.loadPageBuilder(Index, kProcedure);
  const bool getOrPost = context.methodCode == HttpMethodCode::GET || context.methodCode == HttpMethodCode::POST;
  if (context.kind == RequestKind::Path && getOrPost) {
    const usrFileReader* reader = slots.usrFileReader(Index);
    const QString client = reader != nullptr ? reader->getClientInfos() : context.clientInfos;
    if (context.folderState == PathState::Usable) {
      core::subAddEntryInHistory(core::HistoryEventType::PHYSICAL_FOLDER_NAVIGATION, client, context.localPath);
    } else if (context.folderState == PathState::VirtualFolder) {
      // A virtual folder has no local path: the URL path says which one was visited.
      core::subAddEntryInHistory(core::HistoryEventType::VIRTUAL_FOLDER_NAVIGATION, client, context.path);
    }
  }
  setBuilderProperties(builder, context, fnctReadDisplayOptions(context.decodedQuery));
  logApplication(QStringLiteral("Start XML creation"));

  const QString section = fnctServedSectionName(context);
  const ConnectionRef connection = slots.ref(Index);
  const BuiltPage page = buildPage(builder, context, section);
  server.heapReuse().workEnded();
  if (page.status == content::BuildStatus::Destroyed || slots.find(connection) == nullptr) {
    return;  // the connection closed during the build: its clean-up took the builder
  }
  logApplication(QStringLiteral("XML creation finished"));
  // The builder goes before anything is sent: the send may close the slot.
  slots.unloadPageBuilder(Index, kProcedure);
  if (page.status != content::BuildStatus::Completed) {
    logApplication(QStringLiteral("XML creation failed : ") + context.localPath);
    subSendRoadDecision(server, context, fnctErrorPage(failedBuildStatus(context)));
    return;
  }
  sendPage(server, context, page.body, !section.isEmpty());
}

}  // namespace orv::server
