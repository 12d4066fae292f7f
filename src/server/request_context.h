#pragma once

#include "core/configuration.h"
#include "core/file_utils.h"
#include "platform/file_system.h"
#include "server/http_method_code.h"
#include "server/http_request.h"

#include <QString>

#include <memory>

// The values of one request while it travels the request road, from the intake of its text
// to the common exit of the handler. One context lives for one invocation of the data-arrival
// handler: another connection's request, handled while this one yields to the event loop,
// has a context of its own, so no value of a request is ever kept in a global.
namespace orv::server {

// What the query keys make of a request.
enum class RequestKind : int {
  Path = 0,        // a file or folder of a share
  Resource = 1,    // "?res=": a file of the resources folder
  Thumbnail = 2,   // "?miniature=": the thumbnail of an image
  SingleItem = 3,  // "?item.xml=": one item of a folder page
  Section = 4,     // "?section.xml=": one section of a folder page
};

// The file state and the folder state of the local path a request addresses.
enum class PathState : int {
  Absent = 0,         // nothing there (also a path holding "//", or one that leaves its share)
  Usable = 1,         // present and usable
  NotUsable = 2,      // present but it cannot be opened or entered, or an exclusion refuses it
  VirtualFolder = 3,  // folder state only: the URL is a parent of share server paths
};

inline PathState toPathState(core::ExistenceCode code) {
  return static_cast<PathState>(static_cast<int>(code));
}

// What the share that serves a request allows.
struct ShareValues {
  bool restricted = false;
  QString users;  // logins joined by ":"; empty = everybody
  bool sharePhysicalFolder = false;
  bool shareVirtualFolder = false;
  bool shareOther = false;
  bool shareSound = false;
  bool shareImage = false;
  bool shareVideo = false;
  // The share's local folder: pages and playlists list nothing that lies outside it.
  QString localFolder;
};

inline ShareValues shareValuesOf(const core::ShareEntry& share) {
  return {share.restricted, share.users,      share.sharePhysicalFolder, share.shareVirtualFolder, share.shareOther,
          share.shareSound, share.shareImage, share.shareVideo,          share.localPath};
}

struct RequestContext {
  // Filled at intake.
  int connectionIndex = 0;
  // Parses the request; later carries the response headers and cookies of the answer.
  clsHttpRequest request;
  int servedRequestCount = 0;  // requests the connection served before this one
  // The Host header up to its first ":" ("" without a Host header). The allowed-domains
  // check must refuse the empty host itself: DOMAINS_LIST ends with an empty element, so
  // looking "" up in it would let every request without a Host through.
  QString host;
  HttpMethodCode methodCode = HttpMethodCode::OTHER;
  // The request line's URL, one character per byte (platform::fromAnsi). Routing cuts the
  // query off; for thumbnails and single items it then holds the URL followed by the query's
  // value. Never decoded: pages and redirects use it as received.
  QString url;
  bool deflate = false;  // Accept-Encoding holds "deflate"
  QString clientIp;

  // Filled by routing.
  QString path;          // the URL percent-decoded once; "/" stays the separator
  QString rawQuery;      // from the first "?" on, "?" included; "" without a query
  QString decodedQuery;  // the raw query percent-decoded once
  RequestKind kind = RequestKind::Path;
  QString localPath;  // the file or folder on disk the request addresses
  // The local path with every symbolic link resolved, when the file or folder exists inside
  // the folder that serves it; empty otherwise. Exclusions are tested on it as well, since
  // a link can carry a path past a pattern that its own name does not match.
  QString resolvedPath;
  // The file at localPath as routing opened it, proved inside its folder, when it took the
  // plain road: the answer is sent from this handle instead of opening the path again.
  std::shared_ptr<platform::OpenedFile> openedFile;
  PathState fileState = PathState::Absent;
  PathState folderState = PathState::Absent;
  QString sectionName;       // kind Section: "folder", "other", "sound", "image" or "video"
  bool audioPlayer = false;  // the User-Agent holds an audio-player keyword
  ShareValues share;         // of the share that serves the request

  // Filled by identification.
  QString login;       // as given by the client; empty when none was needed or given
  QString accountKey;  // the matching account's id; empty when none was needed
  QString pageIcon;    // the account's pagesicon and urlsicon, for the generated pages
  QString urlIcon;
  // The client as the transfer lists and the history name it: the IP, and " (" login ")"
  // after it when the client identified itself. The road copies it into the connection's
  // file reader (setClientInfos).
  QString clientInfos;

  // Filled by dispatch.
  QString responseExtension;         // of a file response; "bmp" for a thumbnail
  bool folderCounterRaised = false;  // colIpFoldersInCreation was raised for this request
};

}  // namespace orv::server
