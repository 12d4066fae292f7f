#pragma once

#include "server/request_context.h"

#include <QString>

#include <array>

// Folder pages and their sections: the page a browser gets for a folder URL (request kind
// Path) and the one section of it that "?section.xml=" asks for. The page is built by a page
// builder of the connection's slot, made for the request, from the display options of the
// query; it goes out as UTF-8, deflated when the client and ENABLE_COMPRESSION allow it.
//
// A whole page is the XML document for the browser's transform ("application/xml;
// charset=UTF-8") with PAGE_BUILD_METHOD 1, or the page stylesheet's HTML ("text/html;
// charset=UTF-8") with 2; a section is always the XML fragment. Both keep their connection
// when the client asks for it and the connection has served fewer than HTTP_KEEP_ALIVE_MAX
// requests.
namespace orv::server {

class ServerEngine;

// The display options of a page, per section in the order folder, other, sound, image,
// video, as the page builder gets them.
struct FolderDisplayOptions {
  std::array<QString, 5> showby;
  std::array<QString, 5> sortby;
  std::array<QString, 5> sortorder;
  std::array<QString, 5> showgroup;
  std::array<QString, 5> filter;
  QString showplayers;
};

// The options of the decoded query, each the value of its key ("showby_folder" ...
// "showplayers") up to the next "&". A valid value passes unchanged, in whatever letter
// case; anything else is replaced:
// - showby_: "list" and "icon", "mini" only with ALLOW_MINIATURES; else "list", except for
//   images, which show as "mini" when miniatures are allowed;
// - sortby_: "name" and "date"; "size" and "type" except for folders; "artist" and "album"
//   for sounds with ALLOW_MP3_TAGS; else "name";
// - sortorder_: "ascending" or "descending", else "ascending";
// - showgroup_: "true"; "false" unless the section sorts by artist or album; else "false";
// - filter_: any text, unchecked (empty without the key);
// - showplayers: "true" or "false", else "false".
FolderDisplayOptions fnctReadDisplayOptions(const QString& decodedQuery);

// The section a request is served as: its section name when the share shares that type
// ("folder" needs disk or virtual folders shared), else empty: the whole page. Empty for a
// request that asks for no section.
QString fnctServedSectionName(const RequestContext& context);

// The url tag of a "folder" section's folder links: the page's tag (the query with ".pls"
// appended) without the section request, so that a link in the fragment opens the
// sub-folder's page, not its section.
QString fnctFolderSectionUrlTag(const QString& decodedQuery);

// Builds and sends the page or section of a folder request that is no playlist. It counts
// as a page in creation from before the build until the common exit; a GET or POST of a
// whole disk-folder page records PHYSICAL_FOLDER_NAVIGATION with the folder's local path, a
// virtual folder's page VIRTUAL_FOLDER_NAVIGATION with its URL path.
// HEAD gets the head alone, with the Content-Length of the body a GET gets.
//
// The build yields to the event loop: when the connection closes meanwhile, its clean-up
// destroys the builder, and the request ends at once with nothing more touched or sent.
// A build that fails (the folder can no longer be listed, a transform fails) is answered
// with an error page instead of a partial page: 404 when the folder is gone, 403 when it
// can no longer be opened, 503 otherwise.
void subServeFolderPage(ServerEngine& server, RequestContext& context);

}  // namespace orv::server
